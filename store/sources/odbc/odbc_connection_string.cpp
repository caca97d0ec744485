// Masking and checking of ODBC connection strings.
#include "store/sources/odbc/odbc_connection_string.h"

#include <cctype>

#include "util/ascii_fold.h"

namespace {

// A connection string's name in a message: long enough for a driver, a server, a database and
// a user, short enough to leave the reason on the same line of a terminal.
constexpr std::size_t kShownCharacters = 160;

std::string trimmed(const std::string& text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && static_cast<unsigned char>(text[start]) <= ' ') {
    ++start;
  }
  while (end > start && static_cast<unsigned char>(text[end - 1]) <= ' ') {
    --end;
  }
  return text.substr(start, end - start);
}

std::string lowerTrimmed(const std::string& key) {
  return asciiLower(trimmed(key));
}

bool isSecretKey(const std::string& key) {
  std::string name = lowerTrimmed(key);
  if (name == "pqopt") {
    return true;
  }
  for (const char* part : {"pass", "pwd", "secret", "token", "key"}) {
    if (name.find(part) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool isControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// The next ';' from at, or control character: a string refused for one is still shown with the
// values after a line break masked, as a reader of the line would take them.
std::size_t separatorAt(const std::string& text, std::size_t at) {
  for (; at < text.size(); ++at) {
    if (text[at] == ';' || isControl(static_cast<unsigned char>(text[at]))) {
      return at;
    }
  }
  return std::string::npos;
}

// Where a value that starts at begin ends: a {braced} value at its closing brace ("}}" stands for
// a brace inside it), any other at the next ';' or the end of the text.
std::size_t valueEnd(const std::string& text, std::size_t begin) {
  std::size_t at = text.find_first_not_of(" \t", begin);
  std::size_t end = separatorAt(text, begin);
  if (at != std::string::npos && text[at] == '{') {
    end = text.size();  // an unclosed brace: the rest is the value
    for (std::size_t i = at + 1; i < text.size(); ++i) {
      if (text[i] == '}' && i + 1 < text.size() && text[i + 1] == '}') {
        ++i;
      } else if (text[i] == '}') {
        end = separatorAt(text, i + 1);
        break;
      }
    }
  }
  return end == std::string::npos ? text.size() : end;
}

struct Span {
  std::size_t begin;
  std::size_t end;
};

// The values of the keys that wanted takes, in order.
template <class Wanted>
std::vector<Span> valueSpans(const std::string& connection, Wanted wanted) {
  std::vector<Span> spans;
  std::size_t at = 0;
  while (at < connection.size()) {
    std::size_t equals = connection.find('=', at);
    std::size_t semicolon = separatorAt(connection, at);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      at = semicolon == std::string::npos ? connection.size() : semicolon + 1;
      continue;
    }
    std::size_t end = valueEnd(connection, equals + 1);
    if (wanted(connection.substr(at, equals - at))) {
      spans.push_back({equals + 1, end});
    }
    at = end + 1;
  }
  return spans;
}

std::vector<Span> secretSpans(const std::string& connection) {
  return valueSpans(connection, isSecretKey);
}

// A {braced} value without its braces, "}}" as the one brace it stands for; "" when unbraced.
std::string unbraced(const std::string& value) {
  std::size_t open = value.find('{');
  std::size_t close = value.rfind('}');
  if (open == std::string::npos || close == std::string::npos || open >= close) {
    return "";
  }
  std::string inner = value.substr(open + 1, close - open - 1);
  for (std::size_t at = inner.find("}}"); at != std::string::npos; at = inner.find("}}", at + 1)) {
    inner.erase(at, 1);
  }
  return inner;
}

bool isWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace

std::string maskConnection(const std::string& connection) {
  std::string masked;
  std::size_t at = 0;
  for (const Span& span : secretSpans(connection)) {
    masked += connection.substr(at, span.begin - at) + "***";
    at = span.end;
  }
  return masked + connection.substr(at);
}

std::string connectionSourceName(const std::string& connection) {
  // Past a line break a reader and a driver may part on where a value ends: nothing of it shows.
  std::size_t control = 0;
  while (control < connection.size() &&
         !isControl(static_cast<unsigned char>(connection[control]))) {
    ++control;
  }
  std::string name = maskConnection(connection.substr(0, control));
  if (control < connection.size()) {
    name += "...";
  }
  if (name.size() <= kShownCharacters) {
    return name;
  }
  std::size_t cut = kShownCharacters;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
    --cut;  // not inside a UTF-8 character
  }
  return name.substr(0, cut) + "...";
}

std::string connectionStringProblem(const std::string& connection) {
  for (char c : connection) {
    if (isControl(static_cast<unsigned char>(c))) {
      return "the connection string holds a control character (a line break, a tab, ...), which "
             "no driver takes";
    }
  }
  if (connection.size() > kMaxConnectionLength) {
    return "the connection string is longer than " + std::to_string(kMaxConnectionLength) +
           " characters, which the driver manager does not take whole";
  }
  return "";
}

std::vector<std::string> connectionSecrets(const std::string& connection) {
  std::vector<std::string> values;
  for (const Span& span : secretSpans(connection)) {
    std::string value = connection.substr(span.begin, span.end - span.begin);
    std::string inner = unbraced(value);
    if (!inner.empty()) {
      values.push_back(inner);
    }
    values.push_back(value);
  }
  return values;
}

std::vector<std::string> connectionValues(const std::string& connection, const std::string& key) {
  const std::string wantedKey = lowerTrimmed(key);
  std::vector<std::string> values;
  for (const Span& span : valueSpans(connection, [&wantedKey](const std::string& name) {
         return lowerTrimmed(name) == wantedKey;
       })) {
    const std::string value = connection.substr(span.begin, span.end - span.begin);
    const std::string inner = unbraced(value);
    values.push_back(inner.empty() ? trimmed(value) : inner);
  }
  return values;
}

std::string maskSecrets(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    for (std::size_t at = text.find(secret); !secret.empty() && at != std::string::npos;
         at = text.find(secret, at + 1)) {
      std::size_t end = at + secret.size();
      bool word = (at == 0 || !isWordCharacter(text[at - 1])) &&
                  (end == text.size() || !isWordCharacter(text[end]));
      if (secret.size() >= 4 || word) {
        text.replace(at, secret.size(), "***");
      }
    }
  }
  return text;
}

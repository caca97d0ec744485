// One filter between outside text and the terminal: control characters and bad UTF-8 replaced.
#include "console/safe_text.h"

#include "console/console_interface.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

bool namesUtf8(const char* locale) {
  const std::string name = locale;
  for (const char* spelling : {"UTF-8", "utf-8", "UTF8", "utf8"}) {
    if (name.find(spelling) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::size_t lengthOfLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// The second byte's range narrows after some leads: no overlong forms, no surrogates, nothing
// above U+10FFFF.
bool fitsAfter(const std::string& begun, unsigned char byte) {
  if ((byte & 0xC0) != 0x80) {
    return false;
  }
  if (begun.size() != 1) {
    return true;
  }
  switch (static_cast<unsigned char>(begun[0])) {
    case 0xE0:
      return byte >= 0xA0;
    case 0xED:
      return byte <= 0x9F;
    case 0xF0:
      return byte >= 0x90;
    case 0xF4:
      return byte <= 0x8F;
    default:
      return true;
  }
}

// U+0080 to U+009F: the C1 controls, which some terminals obey as escape sequences (U+009B is
// the one-byte CSI).
bool isC1Control(const std::string& character) {
  return character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
         static_cast<unsigned char>(character[1]) <= 0x9F;
}

}  // namespace

const char* replacementForTerminal() {
  // The first of the three that is set decides, as it does for the C library.
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') {
      return namesUtf8(value) ? kReplacementCharacter : "?";
    }
  }
  return "?";
}

void SafeTextBuffer::filterByte(unsigned char byte, std::string& pending, const char* replacement,
                                bool keepLayout, std::string& out) {
  if (!pending.empty()) {
    if (fitsAfter(pending, byte)) {
      pending += static_cast<char>(byte);
      if (pending.size() == lengthOfLead(static_cast<unsigned char>(pending[0]))) {
        out += isC1Control(pending) ? std::string(replacement) : pending;
        pending.clear();
      }
      return;
    }
    // One replacement for the whole ill-formed start; the byte is looked at afresh.
    out += replacement;
    pending.clear();
  }
  if (byte < 0x80) {
    const bool layout = keepLayout && (byte == '\n' || byte == '\t');
    if ((byte < 0x20 || byte == 0x7F) && !layout) {
      out += replacement;
    } else {
      out += static_cast<char>(byte);
    }
    return;
  }
  if (lengthOfLead(byte) == 0) {
    out += replacement;
    return;
  }
  pending.assign(1, static_cast<char>(byte));
}

std::string safeText(std::string_view text, const char* replacement, bool keepLayout) {
  std::string out;
  std::string pending;
  for (char byte : text) {
    SafeTextBuffer::filterByte(static_cast<unsigned char>(byte), pending, replacement, keepLayout,
                               out);
  }
  if (!pending.empty()) {
    out += replacement;  // the text ended inside a character
  }
  return out;
}

std::string caretControls(std::string_view text) {
  std::string shown;
  for (char byte : text) {
    const int code = static_cast<unsigned char>(byte);
    shown += isControlCode(code) ? caretForm(code) : std::string(1, byte);
  }
  return shown;
}

SafeTextBuffer::~SafeTextBuffer() {
  sync();
}

SafeTextBuffer::int_type SafeTextBuffer::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) {
    return traits_type::not_eof(ch);
  }
  const char byte = traits_type::to_char_type(ch);
  return xsputn(&byte, 1) == 1 ? ch : traits_type::eof();
}

std::streamsize SafeTextBuffer::xsputn(const char* data, std::streamsize count) {
  ready_.clear();
  for (std::streamsize i = 0; i < count; ++i) {
    filterByte(static_cast<unsigned char>(data[i]), pending_, replacement_, true, ready_);
  }
  const auto size = static_cast<std::streamsize>(ready_.size());
  return target_->sputn(ready_.data(), size) == size ? count : 0;
}

// A flush comes before the console writes on its own (a clear) or waits for a key: a character
// begun and not finished by then is no character.
int SafeTextBuffer::sync() {
  if (!pending_.empty()) {
    pending_.clear();
    target_->sputn(replacement_, static_cast<std::streamsize>(std::strlen(replacement_)));
  }
  return target_->pubsync();
}

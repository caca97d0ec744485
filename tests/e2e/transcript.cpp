// Transcripts with named markers, and their comparison with golden files.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e/pty_session.h"

namespace e2e {
namespace {

struct Marker {
  const char* sequence;
  const char* name;
};

// The sequences the console writes on the sessions' terminal type (xterm-256color), longest first
// where one begins another.
constexpr Marker kMarkers[] = {
    {"\x1b[H\x1b[2J", "<CLS>"},  {"\x1b[92m\x1b[40m", "<COLOR>"},
    {"\x1b(B\x1b[m", "<RESET>"}, {"\x1b[K", "<EL>"},
    {"\x1b[A", "<UP>"},
};

// The loading line's progress: up a line, the text, erase to its end, newline.
constexpr char kProgressStart[] = "\x1b[A\r";
constexpr char kProgressEnd[] = "\x1b[K";

std::string hexByte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "<0x%02X>", byte);
  return text;
}

// Length of a valid UTF-8 character at text[i], or 0.
std::size_t utf8Length(const std::string& text, std::size_t i) {
  auto byte = static_cast<unsigned char>(text[i]);
  std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                       : byte >= 0xE0 && byte <= 0xEF ? 3
                       : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || i + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

// An escape sequence no marker names: CSI up to its final byte, or ESC and one byte.
std::size_t otherSequence(const std::string& raw, std::size_t i, std::string& shown) {
  // An echoed ESC key right before a sequence of its own: the ESC alone, the sequence after it.
  if (i + 1 < raw.size() && raw[i + 1] == '\x1b') {
    shown = "<ESC>";
    return 1;
  }
  std::size_t end = i + 1;
  if (end < raw.size() && raw[end] == '[') {
    ++end;
    while (end < raw.size() && raw[end] >= 0x20 && raw[end] <= 0x3f) {
      ++end;
    }
  }
  end = std::min(end + 1, raw.size());
  shown = "<ESC" + raw.substr(i + 1, end - i - 1) + ">";
  return end - i;
}

bool startsWith(const std::string& raw, std::size_t i, const char* prefix) {
  return raw.compare(i, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::string normaliseTranscript(const std::string& raw) {
  std::string text;
  std::size_t i = 0;
  while (i < raw.size()) {
    if (startsWith(raw, i, kProgressStart)) {
      std::size_t end = raw.find(kProgressEnd, i);
      if (end != std::string::npos) {
        i = end + std::strlen(kProgressEnd);
        i += startsWith(raw, i, "\r\n") ? 2 : startsWith(raw, i, "\n") ? 1 : 0;
        continue;
      }
    }
    bool named = false;
    for (const Marker& marker : kMarkers) {
      if (startsWith(raw, i, marker.sequence)) {
        text += marker.name;
        i += std::strlen(marker.sequence);
        named = true;
        break;
      }
    }
    if (named) {
      continue;
    }
    auto byte = static_cast<unsigned char>(raw[i]);
    if (byte == 0x1b) {
      std::string shown;
      i += otherSequence(raw, i, shown);
      text += shown;
    } else if (startsWith(raw, i, "\r\n")) {
      text += '\n';
      i += 2;
    } else if (byte == '\n' || byte == '\t' || (byte >= 0x20 && byte < 0x7f)) {
      text += raw[i++];
    } else if (byte >= 0x80 && utf8Length(raw, i) > 0) {
      std::size_t length = utf8Length(raw, i);
      text += raw.substr(i, length);
      i += length;
    } else {
      text += byte == '\r' ? std::string("<CR>") : hexByte(byte);
      ++i;
    }
  }
  return text;
}

namespace {

std::string readWhole(const std::string& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string lineAt(const std::string& text, std::size_t line) {
  std::istringstream lines(text);
  std::string current;
  for (std::size_t n = 0; n <= line && std::getline(lines, current); ++n) {
    if (n == line) {
      return current;
    }
  }
  return "(none)";
}

}  // namespace

::testing::AssertionResult matchesGolden(const std::string& name, const std::string& actual) {
  if (const char* actualDir = std::getenv("TAVRINEL_GOLDEN_ACTUAL_DIR")) {
    std::ofstream(std::string(actualDir) + "/" + name + ".txt", std::ios::binary) << actual;
  }
  std::string path = std::string(TAVRINEL_GOLDEN_DIR) + "/e2e/" + name + ".txt";
  bool found = false;
  std::string expected = readWhole(path, found);
  if (!found) {
    return ::testing::AssertionFailure()
           << "no golden file " << path << " (scripts/update-goldens.sh writes it); actual:\n"
           << actual;
  }
  if (expected == actual) {
    return ::testing::AssertionSuccess();
  }
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
    ++at;
  }
  std::size_t line =
      static_cast<std::size_t>(std::count(expected.begin(), expected.begin() + at, '\n'));
  return ::testing::AssertionFailure()
         << "transcript differs from " << path << " at line " << line + 1
         << "\n  golden: " << lineAt(expected, line) << "\n  actual: " << lineAt(actual, line)
         << "\nwhole actual transcript:\n"
         << actual;
}

}  // namespace e2e

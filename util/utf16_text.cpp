// Text between UTF-8, as the record tree holds it, and UTF-16, as ODBC drivers hand it over.
#include "util/utf16_text.h"

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16(std::string& out, const char16_t* units, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
}

std::u16string toUtf16(const std::string& text) {
  std::u16string units;
  for (std::size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    int length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
    char32_t c = length == 1   ? byte
                 : length == 2 ? byte & 0x1F
                 : length == 3 ? byte & 0x0F
                               : byte & 0x07;
    bool whole = length > 0 && i + length <= text.size();
    for (int k = 1; whole && k < length; ++k) {
      auto more = static_cast<unsigned char>(text[i + k]);
      whole = (more & 0xC0) == 0x80;
      c = (c << 6) | (more & 0x3F);
    }
    if (!whole) {
      c = 0xFFFD;
      length = 1;
    }
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
    i += length;
  }
  return units;
}

std::size_t charactersIn(const std::string& text) {
  std::size_t chars = 0;
  for (unsigned char byte : text) {
    chars += (byte & 0xC0) == 0x80 ? 0 : 1;
  }
  return chars;
}

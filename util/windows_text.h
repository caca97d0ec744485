// Windows' wide strings are UTF-16: the conversions of utf16_text.h for the wide (W) functions.
// For the Windows files only.
#pragma once

#include <cwchar>
#include <string>

#include "util/utf16_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");

inline std::wstring wideOf(const std::string& text) {
  const std::u16string units = toUtf16(text);
  return std::wstring(units.begin(), units.end());
}

// Windows text (the command line, what the Windows calls give back) as UTF-8.
inline std::string utf8Of(const wchar_t* wide, std::size_t length) {
  std::string text;
  appendUtf16(text, reinterpret_cast<const char16_t*>(wide), length);
  return text;
}

inline std::string utf8Of(const wchar_t* wide) {
  return utf8Of(wide, std::wcslen(wide));
}

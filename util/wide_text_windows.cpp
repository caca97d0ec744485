// Windows' wide texts and paths.
#include <windows.h>

#include "util/utf16_text.h"
#include "util/wide_text.h"

namespace {

// A full path this long or longer takes the \\?\ form: a folder's own limit is 248 characters,
// and the program adds a suffix of a few (a temporary file's, SQLite's -wal) to the names it uses.
constexpr std::size_t kLongestPlainPath = 240;

std::wstring fullWidePath(const std::string& path) {
  const std::wstring given = wideText(path);
  if (given.empty()) {
    return given;
  }
  const DWORD length = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (length == 0) {
    return given;  // the call that uses it says why
  }
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(given.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return given;
  }
  full.resize(written);
  return full;
}

}  // namespace

std::wstring wideText(const std::string& text) {
  const std::u16string units = toUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string utf8Text(const wchar_t* wide) {
  std::string text;
  appendUtf16(text, reinterpret_cast<const char16_t*>(wide), wcslen(wide));
  return text;
}

std::string utf8Text(const std::wstring& wide) {
  std::string text;
  appendUtf16(text, reinterpret_cast<const char16_t*>(wide.data()), wide.size());
  return text;
}

std::wstring widePath(const std::string& path) {
  std::wstring full = fullWidePath(path);
  if (full.size() < kLongestPlainPath || full.rfind(L"\\\\?\\", 0) == 0 ||
      full.rfind(L"\\\\.\\", 0) == 0) {
    return full;
  }
  if (full.rfind(L"\\\\", 0) == 0) {
    return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\x
  }
  return L"\\\\?\\" + full;
}

// Windows' wide texts and paths, from and to the UTF-8 that the program keeps everywhere else.
// Only Windows files include it; the conversions themselves are utf16_text's.
#pragma once

#include <string>

// UTF-8 as the wide (W) calls take it.
std::wstring wideText(const std::string& text);
// What a wide call gave back, as UTF-8.
std::string utf8Text(const wchar_t* wide);
std::string utf8Text(const std::wstring& wide);

// The path as the wide file calls take it, whatever form a clerk typed: in full, a drive-relative
// D:x against the folder that drive is in, C:/x with backslashes, \\server\share as it is; and one
// that comes near the system's old limit of 260 characters in the \\?\ form that lifts it.
std::wstring widePath(const std::string& path);

// Text between UTF-8, as the record tree holds it, and UTF-16, as ODBC drivers hand it over.
#pragma once

#include <cstddef>
#include <string>

// The characters of UTF-8 text, as the record tree's capacities count them (bytes that continue a
// character are not counted).
std::size_t charactersIn(const std::string& text);

// Appends one code point as UTF-8: a key typed on a Windows console, a character a driver sent.
void appendUtf8(std::string& out, char32_t c);

// Text comes from a driver as UTF-16, which every driver can give whatever the server's or the
// locale's character set. A surrogate without its partner becomes U+FFFD.
void appendUtf16(std::string& out, const char16_t* units, std::size_t count);

// Bytes that are not UTF-8 become U+FFFD, one for each byte.
std::u16string toUtf16(const std::string& text);

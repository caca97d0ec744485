// ASCII's case folds, the one way the program folds case: only A-Z and a-z change, whatever the
// locale, so that a UTF-8 byte, a digit or a control code is kept as it is. IDs typed at the
// prompts, SQLite's NOCASE, the names of tables, columns and connection keys all fold this way.
#pragma once

#include <string>

constexpr int asciiLower(int code) {
  return code >= 'A' && code <= 'Z' ? code - 'A' + 'a' : code;
}

constexpr int asciiUpper(int code) {
  return code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code;
}

inline std::string asciiLower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
  }
  return text;
}

inline std::string asciiUpper(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
  }
  return text;
}

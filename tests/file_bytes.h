// Whole files as bytes, for the tests that prepare a file or compare one with what it held.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

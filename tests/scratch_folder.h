// A fresh folder under the system's temporary folder for one test, removed with everything in
// it; on every platform (the tests run under Wine too).
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& purpose = "test") {
    std::random_device device;
    // The clock too: a random device may be deterministic where the platform gives no entropy.
    std::mt19937_64 numbers(
        device() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path path = base / ("tavrinel-" + purpose + "-" + std::to_string(numbers()));
      std::error_code error;
      if (std::filesystem::create_directory(path, error)) {
        path_ = path;
        return;
      }
    }
    throw std::runtime_error("cannot make a scratch folder");
  }
  // A test that took the owner's rights away gets them back first.
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of name inside it.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The bytes of a file in it (one the program wrote, say); empty when there is none.
  std::string readFile(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

 private:
  std::filesystem::path path_;
};

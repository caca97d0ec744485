// Boxes and rules taken out of plain mode's screens.
#include "console/plain_box_lines.h"

namespace {

constexpr const char* kBlanks = " \t";

bool isFrameCharacter(char c) {
  return c == '*' || c == '=';
}

}  // namespace

std::string PlainBoxLines::pass(std::string_view bytes) {
  std::string passed;
  for (char byte : bytes) {
    if (byte == '\n') {
      passed += passing_ ? std::string("\n") : endLine();
      passing_ = false;
      line_.clear();
    } else if (passing_) {
      passed += byte;
    } else {
      line_ += byte;
      const std::size_t first = line_.find_first_not_of(kBlanks);
      if (first != std::string::npos && !isFrameCharacter(line_[first])) {
        passed += release();
      }
    }
  }
  return passed;
}

std::string PlainBoxLines::release() {
  std::string held;
  held.swap(line_);
  passing_ = passing_ || !held.empty();
  return held;
}

// A complete line that began with a frame character: a rule goes, a box's row keeps its words.
std::string PlainBoxLines::endLine() {
  const std::size_t first = line_.find_first_not_of(kBlanks);
  if (first == std::string::npos) {
    return line_ + "\n";
  }
  const std::size_t last = line_.find_last_not_of(kBlanks);
  const std::string_view text = std::string_view(line_).substr(first, last - first + 1);
  if (text.find_first_not_of(text[0]) == std::string_view::npos) {
    return "";  // a box's edge or a rule
  }
  if (text[0] != '*' || text.back() != '*') {
    return line_ + "\n";
  }
  const std::string_view inside = text.substr(1, text.size() - 2);
  const std::size_t from = inside.find_first_not_of(kBlanks);
  if (from == std::string_view::npos) {
    return "";  // a box's empty row
  }
  const std::size_t to = inside.find_last_not_of(kBlanks);
  return line_.substr(0, first) + std::string(inside.substr(from, to - from + 1)) + "\n";
}

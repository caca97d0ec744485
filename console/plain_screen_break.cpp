// One blank line between plain screens, their own leading newlines counted.
#include "console/plain_screen_break.h"

std::string PlainScreenBreak::pass(std::string_view bytes) {
  std::string passed;
  for (char byte : bytes) {
    if (pending_ && byte != '\n') {
      pending_ = false;
      const bool lineEnded = !lastBytes_.empty() && lastBytes_.back() == '\n';
      const bool blankLine = lineEnded && lastBytes_ == "\n\n";
      const char* lineBreaks = blankLine ? "" : lineEnded ? "\n" : "\n\n";
      passed += lineBreaks;
      remember(lineBreaks);
    }
    passed += byte;
    remember({&byte, 1});
  }
  return passed;
}

void PlainScreenBreak::remember(std::string_view bytes) {
  lastBytes_ += bytes;
  lastBytes_.erase(0, lastBytes_.size() > 2 ? lastBytes_.size() - 2 : 0);
}

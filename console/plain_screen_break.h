// Plain mode's stand-in for a clear, the same on both consoles.
#pragma once

#include <string>
#include <string_view>

// What stands for a clear where nothing can clear (plain mode): the next screen's text starts
// after the line is ended and one blank line, the screen's own leading newlines counted, so that
// a screen reader meets exactly one blank line between screens.
class PlainScreenBreak {
 public:
  // A screen begins with the next text; nothing before the first text of all.
  void request() { pending_ = !lastBytes_.empty(); }
  // What to write for the bytes given: the same bytes, with the newlines a requested break still
  // needs in front of the first one that is no newline.
  std::string pass(std::string_view bytes);

 private:
  void remember(std::string_view bytes);

  bool pending_ = false;
  std::string lastBytes_;  // the last two bytes passed
};

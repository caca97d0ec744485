// Plain mode's screens without their boxes and rules, the same on both consoles.
#pragma once

#include <string>
#include <string_view>

// Takes the screens' text line by line: a line made only of asterisks or equals signs (a box's
// edge, a rule) goes, and a box's row ("*   (1) Search Student   *") keeps its words alone, so
// that a screen reader speaks the menu's title and options and nothing of their frame. A line is
// held back only while it may still be such a line; a flush (before a key is read) lets it pass
// as it stands, since a prompt is no box.
class PlainBoxLines {
 public:
  // What to write for the bytes given.
  std::string pass(std::string_view bytes);
  // The line held back, to be written now as it stands.
  std::string release();

 private:
  std::string endLine();

  std::string line_;      // the current line, held back
  bool passing_ = false;  // the current line is no box line: its bytes go on at once
};

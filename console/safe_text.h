// Text from a database, a server, a driver or the command line, made harmless for a terminal.
#pragma once

#include <streambuf>
#include <string>
#include <string_view>

// What stands for a control character or a byte that is no UTF-8: "?", or U+FFFD where the
// locale (LC_ALL, LC_CTYPE or LANG) says the terminal takes UTF-8.
const char* replacementForTerminal();

// The text with every control character (C0, DEL and C1) and every ill-formed UTF-8 sequence
// replaced, so that it cannot move the cursor, clear the screen or set a window title. Tab and
// newline are kept only when keepLayout is set (the screens' own layout).
std::string safeText(std::string_view text, const char* replacement, bool keepLayout = false);

// A typed entry as its echo showed it, for the messages that repeat it: each control character
// (C0 and DEL) in caret form (^H), the rest as typed, left to the filter (C1 and bytes that are no
// UTF-8 are still replaced on their way out).
std::string caretControls(std::string_view text);

// The same filter as a stream buffer in front of target, for everything a screen prints. It
// holds no bytes back but those of a UTF-8 character not yet complete, and those only until the
// next flush, so that after a flush what passed it stands in order before what is written to
// target directly.
class SafeTextBuffer : public std::streambuf {
 public:
  SafeTextBuffer(std::streambuf* target, const char* replacement)
      : target_(target), replacement_(replacement) {}
  ~SafeTextBuffer() override;
  SafeTextBuffer(const SafeTextBuffer&) = delete;
  SafeTextBuffer& operator=(const SafeTextBuffer&) = delete;

  // Takes one byte; what is ready goes to out.
  static void filterByte(unsigned char byte, std::string& pending, const char* replacement,
                         bool keepLayout, std::string& out);

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  std::streambuf* target_;
  const char* replacement_;
  std::string pending_;  // the first bytes of a UTF-8 character
  std::string ready_;
};

// The result letters of one intake as one HTML file to print: the address placed for the window
// of an envelope, each letter on as many sheets as it takes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mail/result_mail.h"
#include "store/tree/record_tree.h"

enum class PaperSize { kA4, kLetter };

// A rectangle on the page, in millimetres from its top left corner.
struct PageRect {
  double left, top, width, height;
};

// The window of the envelope as it lies over the letter. A4: DIN 5008 form B, the window 20 mm
// from the left and 45 mm from the top, 85 x 45 mm (DL and C5/6 window envelopes). US Letter:
// a #10 window envelope (window 4 1/2 x 1 1/8 in, 7/8 in from the left and 1/2 in from the
// bottom of the envelope) over a letter folded in three with its top against the envelope's top;
// at rest the sheet sinks 11.6 mm lower, so the window shows the page 11.6 mm higher.
PageRect envelopeWindow(PaperSize paper);

// Where the address block stands before any offset: the student's name and the three address
// lines. A4: in DIN 5008's address zone, with room for six lines. US Letter: in the band the
// window shows both with the sheet held up and at rest (63.5 to 80.4 mm), the window's width.
PageRect addressBlock(PaperSize paper);

struct PrintLayout {
  PaperSize paper = PaperSize::kA4;
  double addressRightMm = 0;  // the address block moved right and down, for a printer or an
  double addressDownMm = 0;   // envelope that sits the window elsewhere
  // The office as sender: its name, then its address lines (none: no sender on the letters).
  std::vector<std::string> sender;
};

// The sender's lines from the text of a --sender file: UTF-8, a line each for the office's name
// and up to four address lines, blank lines and the spaces around a line left out. Empty when
// the text is no such file.
std::vector<std::string> senderLines(const std::string& text);

// Writes the HTML document: print CSS that sets the paper and no page margin (so a browser adds
// no header or footer), then each student's letter in list order. Every sheet keeps its text at
// least 10 mm from the paper's edges, but for the window's address. The first sheet holds the
// sender's letterhead, the sender's line over the address in the window, the student's name and
// the mail file's address lines in the window, and below them the rest of the letter in the
// mail file's words; a letter too long for it goes on to sheets headed by the student's name,
// ID and "page 2 of 3". UTF-8, a control character in a stored text in caret form, HTML's special
// characters escaped, no script and no outside resource. Returns the number of letters.
long writePrintableLetters(const IntakeRecord& intake, const PrintLayout& layout,
                           const MailClock& clock, std::ostream& out);

// The result letters of one intake as one HTML file to print: a page a letter, the address placed
// for the window of an envelope.
#pragma once

#include <ostream>

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
// bottom of the envelope) over a letter folded in three with its top against the envelope's top.
PageRect envelopeWindow(PaperSize paper);

// Where the address block stands before any offset: inside the window, clear of its edges, with
// room for six lines (a long name or street takes two).
PageRect addressBlock(PaperSize paper);

struct PrintLayout {
  PaperSize paper = PaperSize::kA4;
  double addressRightMm = 0;  // the address block moved right and down, for a printer or an
  double addressDownMm = 0;   // envelope that sits the window elsewhere
};

// Writes the HTML document: print CSS that sets the paper and margins itself (so a browser adds
// no header or footer), then one page per student in list order, each with the student's name
// and the mail file's address lines in the window and below them the rest of the letter as the
// mail file holds it. UTF-8, every text as stored (HTML's special characters escaped), no script
// and no outside resource. Returns the number of letters.
long writePrintableLetters(const IntakeRecord& intake, const PrintLayout& layout,
                           const MailClock& clock, std::ostream& out);

// The rows of a printable letter and the sheets they fall on.
#include "mail/letter_pages.h"

#include "analysis/result_listing.h"
#include "mail/result_mail.h"

namespace {

constexpr double kPointsPerMm = 72 / 25.4;

// Advance widths in thousandths of an em of the characters ' ' to '~', the wider of Arial's and
// DejaVu Sans's.
constexpr short kAsciiWidths[95] = {
    318, 401, 460, 838, 636, 950, 780, 275, 390, 390, 500, 838, 318, 361,  318, 337, 636, 636, 636,
    636, 636, 636, 636, 636, 636, 636, 337, 337, 838, 838, 838, 556, 1015, 684, 686, 722, 770, 667,
    611, 778, 752, 295, 500, 667, 557, 863, 748, 787, 667, 787, 722, 667,  611, 732, 684, 989, 685,
    667, 685, 390, 337, 390, 838, 556, 500, 613, 635, 550, 635, 615, 352,  635, 634, 278, 278, 579,
    278, 974, 634, 612, 635, 635, 411, 521, 392, 634, 592, 818, 592, 592,  525, 636, 337, 636, 838};

LetterRow row(RowKind kind, std::string text = "", bool keepWithNext = false) {
  LetterRow line;
  line.kind = kind;
  line.text = std::move(text);
  line.keepWithNext = keepWithNext;
  return line;
}

LetterRow identityRow(const char* label, const char* value) {
  LetterRow line = row(RowKind::kIdentity, label);
  line.value = value;
  return line;
}

LetterRow resultRow(const SubjectResult& result) {
  LetterRow line = row(RowKind::kResult, result.subjectId);
  // Marks 0 is a subject not yet taken, as the listing words it.
  if (result.marks == 0) {
    line.value = "N/A";
    line.grade = "N/A";
    return line;
  }
  char word[kGradeBandSize];
  gradeBandFor(result.marks, word);
  line.value = std::to_string(result.marks);
  line.grade = word;
  return line;
}

void addListing(const StudentRecord& student, std::vector<LetterRow>& rows) {
  rows.push_back(identityRow("Name", student.name));
  rows.push_back(identityRow("ID", student.studentId));
  rows.push_back(identityRow("Intake", student.intake));
  rows.push_back(row(RowKind::kBlank));
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    rows.push_back(row(RowKind::kLevel, "Level " + std::to_string(level->number) + ":", true));
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      rows.push_back(
          row(RowKind::kSemester, "Semester " + std::to_string(semester->number) + ":", true));
      for (const SubjectResult* result = semester->firstResult; result != nullptr;
           result = result->next) {
        rows.push_back(resultRow(*result));
      }
    }
  }
}

// Where the rows from first on that must stay together end (one past the last).
std::size_t endOfGroup(const std::vector<LetterRow>& rows, std::size_t first) {
  std::size_t last = first;
  while (last + 1 < rows.size() && rows[last].keepWithNext) {
    ++last;
  }
  return last + 1;
}

}  // namespace

double rowHeightMm(RowKind kind) {
  switch (kind) {
    case RowKind::kBlank:
      return 2.5;
    case RowKind::kRule:
      return 4;
    default:
      return 4.8;
  }
}

std::vector<LetterRow> letterRows(const StudentRecord& student, const std::string& date) {
  std::vector<LetterRow> rows;
  rows.push_back(row(RowKind::kRule));
  rows.push_back(row(RowKind::kBlank));
  rows.push_back(row(RowKind::kText, std::string(kLetterSalutation) + student.name + ","));
  rows.push_back(row(RowKind::kBlank));
  rows.push_back(row(RowKind::kText, kLetterOpening));
  rows.push_back(row(RowKind::kBlank));
  addListing(student, rows);
  // The date and the footer never stand on a sheet without the listing's last row.
  rows.back().keepWithNext = true;
  rows.push_back(row(RowKind::kBlank, "", true));
  rows.push_back(row(RowKind::kText, kLetterDateLabel + date, true));
  rows.push_back(row(RowKind::kBlank, "", true));
  rows.push_back(row(RowKind::kText, kLetterFooter, true));
  rows.push_back(row(RowKind::kRule));
  return rows;
}

std::vector<std::size_t> sheetStarts(const std::vector<LetterRow>& rows, double firstMm,
                                     double nextMm) {
  std::vector<std::size_t> starts = {0};
  double room = firstMm;
  for (std::size_t first = 0; first < rows.size();) {
    const std::size_t end = endOfGroup(rows, first);
    double height = 0;
    for (std::size_t i = first; i < end; ++i) {
      height += rowHeightMm(rows[i].kind);
    }
    const bool sheetEmpty = starts.back() == first;
    if (height > room && !sheetEmpty && height <= nextMm) {
      starts.push_back(first);
      room = nextMm;
      continue;
    }
    if (height <= room) {
      room -= height;
      first = end;
      continue;
    }
    // A group taller than a sheet: as many of its rows as fit, the rest on the next sheet.
    const double step = rowHeightMm(rows[first].kind);
    if (step > room && !sheetEmpty) {
      starts.push_back(first);
      room = nextMm;
    } else {
      room -= step;
      ++first;
    }
  }
  return starts;
}

double textWidthEm(std::string_view utf8) {
  double thousandths = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      thousandths += kAsciiWidths[byte - 0x20];
    } else if (byte < 0x20 || byte == 0x7F) {
      thousandths += 2000;  // shown in caret form, two characters
    } else if (byte >= 0xC0) {
      // U+0300 to U+036F, the combining diacritical marks, sit on the letter before them.
      const bool combining = (byte == 0xCC || (byte == 0xCD && i + 1 < utf8.size() &&
                                               static_cast<unsigned char>(utf8[i + 1]) <= 0xAF));
      thousandths += combining ? 0 : 1000;
    }
  }
  return thousandths / 1000;
}

double fittingFontPt(std::string_view text, double widthMm, double preferredPt, double smallestPt) {
  const double ems = textWidthEm(text);
  double size = preferredPt;
  while (size > smallestPt && ems * size > widthMm * kPointsPerMm) {
    size -= 0.5;
  }
  return size < smallestPt ? smallestPt : size;
}

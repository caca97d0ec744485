// The walk over a student's results that forecasting and suggestion share, and the check of a
// typed expected mark.
#include "analysis/pending_subjects.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "analysis/grade_bands.h"
#include "store/tree/out_of_memory.h"

namespace {

// Appends one node for a subject without marks; false when memory ran out.
bool appendPending(const SubjectResult& result, PendingFigures& figures, PendingSubject*& last) {
  auto* node = new (std::nothrow) PendingSubject();
  if (node == nullptr) {
    return false;
  }
  copyField(node->subjectName, kSubjectNameChars, result.subjectName);
  node->next = nullptr;
  if (last == nullptr) {
    figures.firstPending = node;
  } else {
    last->next = node;
  }
  last = node;
  ++figures.pendingCount;
  return true;
}

bool collectSemester(const SemesterNode& semester, PendingFigures& figures, PendingSubject*& last) {
  for (const SubjectResult* result = semester.firstResult; result != nullptr;
       result = result->next) {
    // Marks 0 means not taken yet, so a real score of 0 is asked for again as well.
    if (result->marks != 0) {
      figures.totalMarks = addMarks(figures.totalMarks, result->marks);
    } else if (!appendPending(*result, figures, last)) {
      return false;
    }
    ++figures.subjectCount;
  }
  return true;
}

}  // namespace

bool collectPendingSubjects(const StudentRecord& student, PendingFigures& figures) {
  figures = PendingFigures{};
  PendingSubject* last = nullptr;
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      if (!collectSemester(*semester, figures, last)) {
        // The caller gets no list on this path, so nothing may be left allocated.
        freePendingSubjects(figures.firstPending);
        figures = PendingFigures{};
        reportOutOfMemory();
        return false;
      }
    }
  }
  return true;
}

void freePendingSubjects(PendingSubject* first) {
  while (first != nullptr) {
    PendingSubject* next = first->next;
    delete first;
    first = next;
  }
}

bool isValidMarks(const char* text) {
  const std::size_t length = std::strlen(text);
  if (length == 1) {
    return text[0] >= '0' && text[0] <= '9';
  }
  // The limit 10^(length-1), truncated, is the smallest number with as many digits as the text:
  // a text without '.' whose value is below it carries a leading zero, a sign, a blank or a
  // trailing character. It stays a double so that long texts cannot overflow an int.
  const double limit = std::trunc(std::pow(10.0, static_cast<double>(length) - 1.0));
  // strtod reads as atof does, but its result is defined when the number is out of range.
  const double value = std::strtod(text, nullptr);
  if (std::strchr(text, '.') == nullptr && value < limit) {
    return false;
  }
  return value >= 0.0 && value <= kFullMarks;
}

int expectedMarksValue(const char* text) {
  // atoi's reading (blanks, a sign, digits) with the value clamped instead of overflowing.
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p)) != 0) {
    ++p;
  }
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') {
    ++p;
  }
  std::int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value <= INT_MAX) {
      value = value * 10 + (*p - '0');
    }
  }
  if (negative) {
    value = -value;
  }
  return static_cast<int>(value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : value));
}

int addMarks(int total, int marks) {
  const std::int64_t sum = static_cast<std::int64_t>(total) + marks;
  return static_cast<int>(sum > INT_MAX ? INT_MAX : (sum < INT_MIN ? INT_MIN : sum));
}

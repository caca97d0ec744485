// Grade words and the result listing that the console and the result letters share.
#pragma once

#include <ostream>

#include "store/tree/record_tree.h"

// Room for the longest grade word, "Distinction", and its terminator.
constexpr int kGradeBandSize = 12;

// Copies the grade word of a whole-number mark or average into word (at least 12 bytes):
// 0-39 "Fail", 40-59 "Pass", 60-74 "Credit", 75-100 "Distinction", above 100 "N/A".
void gradeBandFor(int value, char* word);

// Writes the listing of one student: name, ID, intake, an empty line, then every level,
// semester and result with its marks and grade word. Adds nothing before or after.
void writeResultListing(const StudentRecord& student, std::ostream& out);

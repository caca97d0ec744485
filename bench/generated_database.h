// Writes a SQLite database of the loader's schema with any number of students, for the benchmark.
#pragma once

#include <string>

// Writes path: students with ascending IDs spread over 12 intakes (the IDs ascend along the
// sorted intake list), 40 subjects over 3 levels of 2 semesters, and 4 to 6 results per student
// and semester (about 30 per student), stored intake by intake, semester by semester, student by
// student, as an office's database grows. Returns the number of results written.
long writeGeneratedDatabase(const std::string& path, long students);

// The text bar chart of a student's marks.
#pragma once

#include <ostream>

#include "console/console_interface.h"
#include "store/tree/record_tree.h"

// One column of bar per two marks.
int chartBarLength(int marks);

// Writes the whole chart, up to and including "\nPress any key to continue"; a null student
// writes "\n\terror: unable to generate chart\n" only. Returns false for a null student.
bool writePerformanceChart(const StudentRecord* student, std::ostream& out);

// Writes the chart and waits for one key (no wait for a null student).
void showPerformanceChart(const StudentRecord* student, Console& console);

// Forecasting: the final total, average and grade from the marks the operator expects.
#pragma once

#include <ostream>
#include <string>

#include "analysis/pending_subjects.h"
#include "console/console_interface.h"
#include "store/tree/record_tree.h"

// The average as the forecast writes it: general notation, at most 6 significant digits (55.5,
// 74.8333, 80). subjectCount is not 0.
std::string formatAverage(int totalMarks, int subjectCount);

void runForecast(const StudentRecord& student, Console& console);

// The current figures: total marks obtained, subjects completed and subjects to go.
void writeForecastOpening(const PendingFigures& figures, std::ostream& out);

// The figures block under the given heading ("Forecast Result:" after the entry, "Current
// Result:" when every subject already has marks): total, average and the grade of the integer
// average. With no subject at all the average and grade are written as "-".
void writeForecastResult(const char* heading, int totalMarks, int subjectCount, std::ostream& out);

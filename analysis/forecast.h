// Forecasting: the final total, average and grade from the marks the operator expects.
#pragma once

#include "analysis/console_interface.h"
#include "store/record_tree.h"

void runForecast(const StudentRecord& student, Console& console);

// Placeholder until this component lands.
// HELPERS: before replacing this file read /tmp/rules.md (build folder, no git, wording, tests).
#include "analysis/performance_chart.h"
int chartBarLength(int marks) { return marks / 2; }
bool writePerformanceChart(const StudentRecord*, std::ostream&) { return false; }
void showPerformanceChart(const StudentRecord*, Console&) {}

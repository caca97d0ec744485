// Placeholder until this component lands.
#include "analysis/forecast.h"
void runForecast(const StudentRecord&, Console&) {}

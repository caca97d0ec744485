// Placeholder until this component lands.
#include "analysis/suggestion.h"
void printSuggestion(char, int, int, int, std::ostream&) {}
void runSuggestion(const StudentRecord&, Console&) {}

// Placeholder until this component lands.
// HELPERS: before replacing this file read /tmp/rules.md (build folder, no git, wording, tests).
#include "analysis/result_listing.h"
void gradeBandFor(int, char* word) { word[0] = 0; }
void writeResultListing(const StudentRecord&, std::ostream&) {}

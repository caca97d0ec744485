// Placeholder until this component lands.
#include "analysis/result_listing.h"
void gradeBandFor(int, char* word) { word[0] = 0; }
void writeResultListing(const StudentRecord&, std::ostream&) {}

// The source tables as the record tree's queries see them, before any row is grouped.
#pragma once

#include <string>

#include "store/tables/source_tables.h"

// A collation the queries would compare with must be one SQLite knows: the query texts fail on
// any other. Throws DatabaseError "Cannot read <source>: column ... uses collation ...".
void refuseUnknownCollations(const SourceTables& tables, const std::string& source);

// Whether a TEXT column of the tables holds a number, which withNumbersAsText must then turn
// into its text.
bool anyHoldsNumbers(const SourceTables& tables);

// A TEXT column keeps a number as SQLite's text of it ("2.0" for the real 2), which is what the
// queries then compare and read. A reader may hand such numbers over as numbers, so the tables are
// copied with that text in their place before any row is grouped; sources that do are rare.
SourceTables withNumbersAsText(const SourceTables& tables);

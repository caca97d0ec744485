// The check of a database's own data for what would spoil letters or screens: students without
// intake, IDs stored twice, intakes spelt several ways, IDs and intakes that cannot be typed,
// results that point nowhere, marks out of range, texts cut to the records' capacities.
#pragma once

#include <ostream>

#include "store/data_problem.h"
#include "store/tables/source_tables.h"

// Checks the tables as the source holds them, before any cut or fold of the loader.
DataCheck checkSourceTables(const SourceTables& tables);

// The report: "No problem found." or, for each kind with problems, its count and title (of one
// or of many) and then its first rows, indented. Stored texts appear as stored; the caller makes
// them safe for a terminal.
void writeDataCheck(const DataCheck& check, std::ostream& out);

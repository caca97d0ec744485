// Every result of the students as CSV, for a spreadsheet or the registrar's system.
#pragma once

#include <ostream>

#include "analysis/csv_writer.h"
#include "store/tree/record_tree.h"

// Writes the byte-order mark, the heading row and one row per result of every student of the
// tree, or of the one intake when only is not null: student ID, name, intake, level, semester,
// subject ID, subject name, mark and grade word, the mark and the grade "N/A" for a subject not
// yet taken, as the result listing shows them, in the format given. Returns the number of result
// rows.
long writeResultsCsv(RecordTree tree, const IntakeRecord* only, std::ostream& out,
                     const CsvFormat& format = {});

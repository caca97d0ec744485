// Rows of comma-separated values as spreadsheets read them.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Excel takes a file as UTF-8 only when it starts with this mark; without it accented names come
// out in the system's code page.
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Writes one row: each field quoted where it holds a comma, a quote, CR or LF (a quote inside
// doubled), fields joined by commas, CR LF at the end (RFC 4180). Texts go as they are stored.
void writeCsvRow(const std::vector<std::string>& fields, std::ostream& out);

// Appends one field to row as writeCsvRow writes it, without the comma: for writers that build
// the fields a thousand rows share only once.
void appendCsvField(std::string& row, std::string_view field);

// A stored text as a cell that a spreadsheet shows as text and never evaluates: one that starts
// with =, +, -, @, a tab or a carriage return gets an apostrophe in front (and so the quotes, as
// every field that starts with an apostrophe). Number cells are written as they are.
std::string csvTextCell(std::string_view text);

// Appends csvTextCell(text) as appendCsvField does.
void appendCsvText(std::string& row, std::string_view text);

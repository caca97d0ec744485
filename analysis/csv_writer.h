// Rows of comma-separated values as spreadsheets read them.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Excel takes a file as UTF-8 only when it starts with this mark; without it accented names come
// out in the system's code page.
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// How the fields are joined and how a number with a fraction is written: RFC 4180's commas and
// decimal points by default; semicolons and decimal commas for the spreadsheets of most of Europe,
// which open a double-clicked file with the region's list separator.
struct CsvFormat {
  char separator = ',';
  char decimalMark = '.';
};

constexpr CsvFormat kSemicolonCsv = {';', ','};

// Writes one row: each field quoted where it holds the separator, a quote, CR or LF (a quote
// inside doubled), fields joined by the separator, CR LF at the end (RFC 4180). Texts go as they
// are stored.
void writeCsvRow(const std::vector<std::string>& fields, std::ostream& out,
                 const CsvFormat& format = {});

// Appends one field to row as writeCsvRow writes it, without the separator: for writers that
// build the fields a thousand rows share only once.
void appendCsvField(std::string& row, std::string_view field, const CsvFormat& format = {});

// A stored text as a cell that a spreadsheet shows as text and never evaluates: one that starts
// with =, +, -, @, a tab or a carriage return gets an apostrophe in front (and so the quotes, as
// every field that starts with an apostrophe). Number cells are written as they are.
std::string csvTextCell(std::string_view text);

// Appends csvTextCell(text) as appendCsvField does.
void appendCsvText(std::string& row, std::string_view text, const CsvFormat& format = {});

// A number written in decimal ("54.6667") with the format's decimal mark.
std::string csvNumber(std::string decimal, const CsvFormat& format);

// Rows of comma-separated values, quoted as RFC 4180 says and as Excel and LibreOffice read them.
#include "analysis/csv_writer.h"

namespace {

// A leading apostrophe is quoted too, so that a spreadsheet takes it as part of a text cell.
bool needsQuotes(std::string_view field, char separator) {
  return field.find_first_of("\"\r\n") != std::string_view::npos ||
         field.find(separator) != std::string_view::npos || (!field.empty() && field[0] == '\'');
}

// The characters that make a spreadsheet read a cell as a formula (OWASP's list for CSV
// injection): a name typed as "=HYPERLINK(...)" or "-1+1" must never be evaluated.
bool startsLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
}

}  // namespace

void appendCsvField(std::string& row, std::string_view field, const CsvFormat& format) {
  if (!needsQuotes(field, format.separator)) {
    row += field;
    return;
  }
  row += '"';
  for (char c : field) {
    row += c;
    if (c == '"') {
      row += '"';
    }
  }
  row += '"';
}

std::string csvTextCell(std::string_view text) {
  return startsLikeFormula(text) ? "'" + std::string(text) : std::string(text);
}

void appendCsvText(std::string& row, std::string_view text, const CsvFormat& format) {
  if (startsLikeFormula(text)) {
    appendCsvField(row, csvTextCell(text), format);
  } else {
    appendCsvField(row, text, format);
  }
}

void writeCsvRow(const std::vector<std::string>& fields, std::ostream& out,
                 const CsvFormat& format) {
  std::string row;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) {
      row += format.separator;
    }
    appendCsvField(row, fields[i], format);
  }
  row += "\r\n";
  out << row;
}

std::string csvNumber(std::string decimal, const CsvFormat& format) {
  for (char& c : decimal) {
    c = c == '.' ? format.decimalMark : c;
  }
  return decimal;
}

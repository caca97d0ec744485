// Rows of comma-separated values, quoted as RFC 4180 says and as Excel and LibreOffice read them.
#include "analysis/csv_writer.h"

namespace {

bool needsQuotes(std::string_view field, char separator) {
  return field.find_first_of("\"\r\n") != std::string_view::npos ||
         field.find(separator) != std::string_view::npos;
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

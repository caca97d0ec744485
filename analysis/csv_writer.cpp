// Rows of comma-separated values, quoted as RFC 4180 says and as Excel and LibreOffice read them.
#include "analysis/csv_writer.h"

namespace {

bool needsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

void appendCsvField(std::string& row, std::string_view field) {
  if (!needsQuotes(field)) {
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

void writeCsvRow(const std::vector<std::string>& fields, std::ostream& out) {
  std::string row;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) {
      row += ',';
    }
    appendCsvField(row, fields[i]);
  }
  row += "\r\n";
  out << row;
}

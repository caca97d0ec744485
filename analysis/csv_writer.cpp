// Rows of comma-separated values, quoted as RFC 4180 says and as Excel and LibreOffice read them.
#include "analysis/csv_writer.h"

namespace {

bool needsQuotes(const std::string& field) {
  return field.find_first_of(",\"\r\n") != std::string::npos;
}

}  // namespace

void writeCsvRow(const std::vector<std::string>& fields, std::ostream& out) {
  std::string row;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) {
      row += ',';
    }
    const std::string& field = fields[i];
    if (!needsQuotes(field)) {
      row += field;
      continue;
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
  row += "\r\n";
  out << row;
}

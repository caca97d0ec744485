// Access files on Windows are read through Microsoft's Access ODBC driver.
#include "store/sources/access_reader.h"

#include "store/database_error.h"

SourceTables readAccessTables(const std::string& path) {
  failToRead(path, "Access files need the Microsoft Access Database Engine (64-bit)");
}

// The table of the program's readers that run in a reader process.
#include "store/sources/reader_roles.h"

#include "store/process/reader_process.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/odbc/odbc_reader.h"

std::optional<int> playReaderRole(const std::vector<std::string>& commandLine) {
  // An Access file (access/), an ODBC connection (odbc/).
  return runReaderRole(commandLine, {&kAccessReaderRole, &kOdbcReaderRole});
}

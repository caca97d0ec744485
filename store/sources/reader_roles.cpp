#include "store/sources/reader_roles.h"

#include "store/process/reader_process.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/odbc/odbc_reader.h"

std::optional<int> playReaderRole(const std::vector<std::string>& commandLine) {
  return runReaderRole(commandLine, {&kAccessReaderRole, &kOdbcReaderRole});
}

// Where the MDBTools ODBC driver (Debian odbc-mdbtools) is, for the tests that read an Access
// file through ODBC.
#pragma once

#include <unistd.h>

#include <string>

// The wide-character driver's path, or "" where it is not installed.
inline std::string mdbtoolsDriver() {
  for (const char* path :
       {"/usr/lib/x86_64-linux-gnu/odbc/libmdbodbcW.so",
        "/usr/lib/aarch64-linux-gnu/odbc/libmdbodbcW.so", "/usr/lib/odbc/libmdbodbcW.so"}) {
    if (access(path, R_OK) == 0) {
      return path;
    }
  }
  return "";
}

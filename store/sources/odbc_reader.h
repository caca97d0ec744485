// Reads the three tables through an ODBC driver named by a connection string: a database server
// (PostgreSQL, MariaDB, ...) or a file that a driver opens (an Access file through the MDBTools
// or Microsoft Access driver).
#pragma once

#include <string>

#include "store/sources/source_tables.h"

// One plain SELECT of the required columns of each table, names matched without regard to case
// and quoted as the driver asks. Values keep the rules of an Access file: text is compared
// without regard to case, whole numbers are integers and other numbers reals. Whatever the driver
// prints while it runs goes nowhere. Throws DatabaseError "Cannot read <connectionSourceName>:
// <reason>", the driver's reason on the same line, its secrets masked.
SourceTables readOdbcTables(const std::string& connection);

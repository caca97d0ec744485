// Reads the three tables through an ODBC driver named by a connection string: a database server
// (PostgreSQL, MariaDB, ...) or a file that a driver opens (an Access file through the MDBTools
// or Microsoft Access driver).
#pragma once

#include <functional>
#include <string>

#include "store/process/reader_process.h"
#include "store/process/table_stream.h"
#include "store/tables/source_tables.h"

// One plain SELECT of the required columns of each table, names matched without regard to case
// and quoted as the driver asks. Values keep the rules of an Access file: text is compared
// without regard to case, whole numbers are integers and other numbers reals. The driver runs in
// a reader process where the platform gives one (a crash, a runaway or a frozen server ends the
// load with one line), and whatever it prints goes nowhere. Throws DatabaseError "Cannot read
// <connectionSourceName>: <reason>", the driver's reason on the same line, its secrets masked.
SourceTables readOdbcTables(const std::string& connection);

// The reading itself, in this process: each row goes to sink as it is fetched. Throws as above.
void readOdbcTables(const std::string& connection, TableSink& sink);

// The reason of a DatabaseError thrown for connection, without "Cannot read <connection>: ".
std::string odbcFailureReason(const std::string& message, const std::string& connection);

// The ODBC reader's role: no argument; the connection string is its input.
extern const ReaderRole kOdbcReaderRole;
// How an end of that reader without a whole answer is told: "the server stopped answering
// (nothing came for 300 s)", "its reader crashed", ...
std::string odbcReaderFailure(const ReaderEnd& end, const ReaderLimits& limits);
// In the reader: reads the tables of connection into the stream on fd, or sends the reason they
// cannot be read, as told (the driver's reason as it is, unless told otherwise). Returns the
// reader's exit status. Throws std::system_error when the program has gone.
int sendOdbcTables(const std::string& connection, int fd,
                   const std::function<std::string(const std::string&)>& told = {});

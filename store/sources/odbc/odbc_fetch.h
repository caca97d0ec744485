// One table read through ODBC: one SELECT of its required columns, the rows fetched in blocks of
// column arrays, each row handed on as it is fetched.
#pragma once

#include "store/process/table_stream.h"
#include "store/sources/odbc/odbc_catalogue.h"
#include "store/sources/odbc/odbc_connection.h"

// Reads table number index (Student, StudentResult, Subject) from where the catalogue found it
// into sink. Fails through the connection: a missing table or required column, or the driver's
// reason.
void fetchOdbcTable(const OdbcConnection& connection, const OdbcCatalogue& catalogue,
                    const OdbcTable& from, int index, TableSink& sink);

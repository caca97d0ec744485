// load_bench's database servers: the generated students copied into each private test server,
// then the load next to a plain read of the three tables through the same driver.
#pragma once

#include <string>

// For each server whose owner's connection the server scripts export (TAVRINEL_ODBC_ADMIN for
// PostgreSQL, TAVRINEL_MARIADB_ADMIN for MariaDB): copies the SQLite database at path into a new
// database there, prints the medians of runs loads and plain reads, and drops the copy. Returns
// false when a step failed.
bool benchServers(const std::string& path, long students, int runs);

// One measure in a process of its own: "plain" or "load" on the connection in
// TAVRINEL_BENCH_CONNECTION; prints "seconds peakMiB rows". Returns the exit status.
int measureServer(const std::string& mode);

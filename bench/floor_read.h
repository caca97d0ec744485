// The floor the loader is measured against: a plain read of the three tables, no grouping.
#pragma once

#include <string>

// Reads every column of every row of Student, StudentResult and Subject as text, with libmdb
// for an Access file and SQLite for a SQLite one, and returns the number of rows read.
long readTablesPlainly(const std::string& path);

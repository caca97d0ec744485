// The three source tables sent whole through the row stream, from a reader process to the
// program: every column's name, affinity, collation and values, as read.
#pragma once

#include <string>

#include "store/sources/row_stream.h"
#include "store/sources/source_tables.h"

// Writes the tables, then the stream's end. Throws std::system_error when the pipe is gone.
void sendSourceTables(const SourceTables& tables, RowStreamWriter& out);

// Writes a refusal in place of tables: the reason the reader gave up, one line.
void sendRefusal(const std::string& reason, RowStreamWriter& out);

// What a reader sent: the tables, or its refusal. Every count and length is checked against the
// limits of the stream; a stream cut short or malformed throws RowStreamError.
struct ReceivedTables {
  SourceTables tables;
  bool refused = false;
  std::string reason;  // why, when refused
};
ReceivedTables receiveSourceTables(RowStreamReader& in);

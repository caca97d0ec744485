// The three source tables as a reader hands them over while it reads them: into the program's
// memory, or through the row stream from a reader process to the program (every column's name,
// affinity, collation and values; each row sent as it is read).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/process/reader_process.h"
#include "store/process/row_stream.h"
#include "store/tables/source_tables.h"

// Where a reader puts the tables, in the order Student, StudentResult, Subject.
class TableSink {
 public:
  virtual ~TableSink() = default;
  // header: the table's name, every column's name, and the required columns (no values yet);
  // rows: the number the reader expects, 0 when it cannot tell.
  virtual void beginTable(int index, SourceTable header, std::size_t rows) = 0;
  // One value for each required column.
  virtual void addRow(const Value* values) = 0;
  virtual void endTable() = 0;
};

// Keeps the tables in this process.
class TableCollector : public TableSink {
 public:
  void beginTable(int index, SourceTable header, std::size_t rows) override;
  void addRow(const Value* values) override;
  void endTable() override {}
  SourceTables& tables() { return tables_; }

 private:
  SourceTables tables_;
  SourceTable* table_ = nullptr;
};

// Writes the tables into the stream as they come; what waits in the writer's buffer goes out
// within a moment. Throws std::system_error when the pipe is gone.
class TableStreamWriter : public TableSink {
 public:
  explicit TableStreamWriter(RowStreamWriter& out);
  void beginTable(int index, SourceTable header, std::size_t rows) override;
  void addRow(const Value* values) override;
  void endTable() override;
  // After the third table: the end of the stream.
  void finish();
  // In place of whatever was still to come: the reason the reader gave up, one line.
  void refuse(const std::string& reason);

 private:
  RowStreamWriter& out_;
  std::size_t columns_ = 0;
  std::uint32_t rows_ = 0;
};

// Writes whole tables, then the stream's end.
void sendSourceTables(const SourceTables& tables, RowStreamWriter& out);

// What a reader sent: the tables, or its refusal (which may come at any point; what came before
// it is dropped). Every count and length is checked against the limits of the stream; a stream
// cut short or malformed throws RowStreamError.
struct ReceivedTables {
  SourceTables tables;
  bool refused = false;
  std::string reason;  // why, when refused
};
ReceivedTables receiveSourceTables(RowStreamReader& in);

// What a reader process sent, read as it arrives, and how the reader ended. whole is false when
// the stream was cut short or is malformed; a reader still there then is stopped.
struct ReaderAnswer {
  ReceivedTables received;
  bool whole = false;
  ReaderEnd end;
};
ReaderAnswer receiveFromReader(ReaderProcess& reader);

// The tables a reader process sent. Throws DatabaseError "Cannot read <name>: <reason>": the
// reader's refusal as it gave it, or failure(end) for a reader that did not send its whole answer
// and exit with status 0.
SourceTables tablesFromReader(ReaderProcess& reader, const std::string& name,
                              const std::function<std::string(const ReaderEnd&)>& failure);

// Starts role's reader on the source called name, with arguments and input as ReaderProcess takes
// them. Throws DatabaseError "Cannot read <name>: no process can be started to read it (<why>)"
// (without the reason where the platform gives none).
std::unique_ptr<ReaderProcess> startReader(const ReaderRole& role,
                                           const std::vector<std::string>& arguments,
                                           const ReaderLimits& limits, const std::string& name,
                                           const std::string& input = {});

// The tables role's reader sends: startReader, then tablesFromReader. Throws as they do.
SourceTables readTablesInReader(const ReaderRole& role, const std::vector<std::string>& arguments,
                                const ReaderLimits& limits, const std::string& name,
                                const std::function<std::string(const ReaderEnd&)>& failure,
                                const std::string& input = {});

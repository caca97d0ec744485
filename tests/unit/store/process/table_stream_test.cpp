// Source tables through the row stream: every kind of value comes back as sent, a refusal comes
// back as a reason wherever it comes, and a stream cut anywhere is an error, never a shorter table.
#include "store/process/table_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// The bytes a writer produces, through a temporary file (the writer takes a descriptor).
std::string streamOf(const std::function<void(RowStreamWriter&)>& write) {
  std::FILE* file = std::tmpfile();
  {
    RowStreamWriter out(fileno(file));
    write(out);
  }
  std::rewind(file);
  std::string bytes;
  char buffer[4096];
  for (std::size_t n = std::fread(buffer, 1, sizeof buffer, file); n > 0;
       n = std::fread(buffer, 1, sizeof buffer, file)) {
    bytes.append(buffer, n);
  }
  std::fclose(file);
  return bytes;
}

ReceivedTables receive(const std::string& bytes) {
  std::size_t at = 0;
  RowStreamReader in([&](char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes.size() - at);
    bytes.copy(buffer, n, at);
    at += n;
    return n;
  });
  return receiveSourceTables(in);
}

SourceTables sample() {
  SourceTables tables;
  tables.student.name = "Student";
  tables.student.columnNames = {"StudentID", "Name", "Extra"};
  tables.student.columns.emplace_back("StudentID", Affinity::kText, "NOCASE");
  tables.student.columns.emplace_back("Name", Affinity::kNone, "BINARY");
  tables.student.columns[0].appendText("st240401");
  tables.student.columns[1].appendNull();
  tables.student.columns[0].appendText("");
  tables.student.columns[1].appendBlob(std::string("\0\xff", 2));
  tables.studentResult.name = "StudentResult";
  tables.studentResult.columns.emplace_back("Marks", Affinity::kNumeric, "BINARY");
  tables.studentResult.columns[0].appendInteger(-9007199254740993LL);
  tables.studentResult.columns[0].appendReal(62.5);
  tables.subject.name = "Subject";
  return tables;
}

TEST(TableStreamTest, TablesAndRefusalsComeBackAndACutStreamIsAnError) {
  const SourceTables sent = sample();
  const std::string bytes = streamOf([&](RowStreamWriter& out) { sendSourceTables(sent, out); });
  const ReceivedTables received = receive(bytes);
  ASSERT_FALSE(received.refused);
  for (const auto* pair : {&sent.student, &sent.studentResult, &sent.subject}) {
    const SourceTable& expected = *pair;
    const SourceTable& got = pair == &sent.student         ? received.tables.student
                             : pair == &sent.studentResult ? received.tables.studentResult
                                                           : received.tables.subject;
    EXPECT_EQ(got.name, expected.name);
    EXPECT_EQ(got.columnNames, expected.columnNames);
    ASSERT_EQ(got.columns.size(), expected.columns.size());
    for (std::size_t c = 0; c < got.columns.size(); ++c) {
      EXPECT_EQ(got.columns[c].name(), expected.columns[c].name());
      EXPECT_EQ(got.columns[c].affinity(), expected.columns[c].affinity());
      EXPECT_EQ(got.columns[c].collation(), expected.columns[c].collation());
      ASSERT_EQ(got.columns[c].size(), expected.columns[c].size());
      for (std::size_t row = 0; row < got.columns[c].size(); ++row) {
        const Value a = got.columns[c].at(row);
        const Value b = expected.columns[c].at(row);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.integer, b.integer);
        EXPECT_EQ(a.real, b.real);
        EXPECT_EQ(a.bytes, b.bytes);
      }
    }
  }

  // A refusal at the start, or after rows already sent (a reader that finds damage half way).
  for (int rowsFirst : {0, 1}) {
    const ReceivedTables refusal = receive(streamOf([&](RowStreamWriter& out) {
      TableStreamWriter tables(out);
      if (rowsFirst > 0) {
        SourceTable header;
        header.name = "Student";
        header.columns.emplace_back("StudentID", Affinity::kText, "NOCASE");
        tables.beginTable(0, std::move(header), 1);
        const Value id = textValue("st240401");
        tables.addRow(&id);
      }
      tables.refuse("table Student is missing");
    }));
    EXPECT_TRUE(refusal.refused);
    EXPECT_EQ(refusal.reason, "table Student is missing");
    EXPECT_EQ(refusal.tables.student.rows(), 0u);
  }

  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_THROW(receive(bytes.substr(0, cut)), RowStreamError) << "cut at " << cut;
  }
}

}  // namespace

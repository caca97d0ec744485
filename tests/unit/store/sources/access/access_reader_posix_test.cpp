// Reading Access files in a child process: the fixtures' tables with their values and column
// rules, and one clear line for every bad input libmdb refuses (how the child's crashes and
// runaways are told is the child process's own test).
#include "store/sources/access/access_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "store/database_error.h"
#include "unit/store/loader_test_support.h"

namespace {

// One value as "<type>:<value>", to compare with the fixtures README.
std::string shown(const SourceColumn& column, std::size_t row) {
  Value value = column.at(row);
  switch (value.type) {
    case ValueType::kNull:
      return "null";
    case ValueType::kInteger:
      return "int:" + std::to_string(value.integer);
    case ValueType::kReal: {
      std::ostringstream real;
      real << value.real;
      return "real:" + real.str();
    }
    case ValueType::kText:
      return "text:" + std::string(value.bytes);
    case ValueType::kBlob:
      break;
  }
  return "blob";
}

struct ValueCheck {
  const SourceTable SourceTables::*table;
  int column;
  std::size_t row;
  const char* value;
};

// A fixture, whole or altered, and what reading it gives: the row counts and a few values, or the
// one line of the error.
struct Case {
  std::string name;
  std::string file;                                          // under tests/fixtures or shared
  std::vector<std::pair<std::size_t, std::string>> patches;  // bytes written over the copy
  std::size_t cutAt = std::string::npos;
  std::string error;  // the reason after "Cannot read <path>: "
  std::size_t rows[3] = {0, 0, 0};
  std::vector<ValueCheck> values;
};

std::string utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

using Patches = std::vector<std::pair<std::size_t, std::string>>;

Case readable(std::string name, std::string file, std::size_t student, std::size_t results,
              std::size_t subjects, std::vector<ValueCheck> values) {
  Case c;
  c.name = std::move(name);
  c.file = std::move(file);
  c.rows[0] = student;
  c.rows[1] = results;
  c.rows[2] = subjects;
  c.values = std::move(values);
  return c;
}

Case refused(std::string name, std::string file, std::string error, Patches patches = {},
             std::size_t cutAt = std::string::npos) {
  Case c;
  c.name = std::move(name);
  c.file = std::move(file);
  c.error = std::move(error);
  c.patches = std::move(patches);
  c.cutAt = cutAt;
  return c;
}

std::vector<Case> cases() {
  const std::vector<ValueCheck> demoValues = {
      {&SourceTables::student, kStudentId, 0, "text:st230401"},
      {&SourceTables::student, kStudentName, 2, "text:Zoë Müller"},
      {&SourceTables::studentResult, kMarks, 0, "int:100"},
      {&SourceTables::studentResult, kSemester, 239, "int:2"},
      {&SourceTables::subject, kSubjectName, 11, "text:Capstone Project"},
  };
  const std::string damaged = "the Access file is damaged ";
  const std::string nul(1, '\0');
  return {
      readable("demo", "demo.mdb", 20, 240, 12, demoValues),
      readable("demo Access 2003", "demo-2003.mdb", 20, 240, 12, demoValues),
      readable("demo Access 2007", "demo.accdb", 20, 240, 12, demoValues),
      readable("edge: NULL is NULL, a zero-length text is empty", "edge.mdb", 29, 47, 9,
               {{&SourceTables::student, kStudentName, 11, "null"},
                {&SourceTables::student, kCity, 12, "text:"},
                {&SourceTables::student, kStudentId, 9, "text:o'br0001"},
                {&SourceTables::studentResult, kMarks, 22, "null"},
                {&SourceTables::subject, kLevel, 8, "int:10"}}),
      readable("marks as text stay text", "marks-text.mdb", 6, 24, 4,
               {{&SourceTables::studentResult, kMarks, 1, "text:72.5"},
                {&SourceTables::studentResult, kMarks, 3, "text: 65"},
                {&SourceTables::studentResult, kMarks, 7, "text:"}}),
      readable("marks as doubles are reals", "marks-double.mdb", 6, 24, 4,
               {{&SourceTables::studentResult, kMarks, 1, "real:72.5"},
                {&SourceTables::studentResult, kMarks, 17, "real:1e-05"},
                {&SourceTables::studentResult, kMarks, 23, "null"}}),
      readable("numeric postcode", "numeric-postcode.mdb", 20, 240, 12,
               {{&SourceTables::student, kPostcode, 9, "int:800"}}),
      readable("zero-length texts beside a NULL", "zero-length.mdb", 4, 6, 2,
               {{&SourceTables::student, kIntake, 1, "text:"},
                {&SourceTables::student, kIntake, 2, "null"},
                {&SourceTables::student, kCity, 1, "text:"},
                {&SourceTables::student, kPostcode, 3, "text:"},
                {&SourceTables::studentResult, kResultStudentId, 5, "text:"}}),
      readable("empty", "empty.mdb", 0, 0, 0, {}),
      refused("no results table", "no-results-table.mdb", "table StudentResult is missing"),
      refused("Northwind", "foreign/nwind.mdb", "table Student is missing"),
      refused("odd dates", "foreign/DateTestDatabase.mdb", "table Student is missing"),
      refused("not a database", "", damaged + "(its first page cannot be read)"),
      refused("cut in the table list", "demo.mdb", damaged + "(its list of tables cannot be read)",
              {}, 12288),
      refused("cut before a table definition", "demo.mdb",
              damaged + "(the definition of table Student cannot be read)", {}, 90112),
      refused("cut before the results", "demo.mdb",
              damaged + "(table StudentResult: 0 rows read, 240 expected)", {}, 131072),
      // StudentResult's definition is page 30 of demo.mdb, its column names in UTF-16.
      refused("column renamed", "demo.mdb", "column Marks of table StudentResult is missing",
              {{123127, utf16("N")}}),
      refused("two columns of one name", "demo.mdb",
              damaged + "(table StudentResult has two columns of the same name)",
              {{123089, utf16("StudentID")}}),
      // Found by mutating the fixtures: a page map pointer past every row of its page.
      refused("no page map", "edge.mdb", damaged + "(table Student has no page map)",
              {{98356, "\xFF\xFF\xFF\x7F"}}),
  };
}

TEST(ReadAccessTables, FixturesGiveTheirRowsAndBadInputOneClearLine) {
  ScratchFolder scratch;
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    std::string source =
        c.file.rfind("foreign/", 0) == 0 ? sharedFixturePath(c.file) : fixturePath(c.file);
    if (c.file.rfind("foreign/", 0) == 0 && !std::filesystem::exists(source)) {
      std::cout << "skipped " << c.name << ": " << source << " is absent\n";
      continue;
    }
    std::string path = scratch.file("Database.mdb");
    std::string bytes = c.file.empty() ? "Student,Marks\nst230401,100\n" : readFile(source);
    bytes = bytes.substr(0, c.cutAt);
    for (const auto& [offset, patch] : c.patches) {
      bytes.replace(offset, patch.size(), patch);
    }
    writeFile(path, bytes);
    try {
      SourceTables tables = readAccessTables(path);
      EXPECT_EQ(c.error, "");
      const SourceTable* read[] = {&tables.student, &tables.studentResult, &tables.subject};
      for (int table = 0; table < 3; ++table) {
        EXPECT_EQ(read[table]->rows(), c.rows[table]) << read[table]->name;
        EXPECT_EQ(read[table]->columns.size(), requiredColumns(read[table]->name).size());
      }
      for (const ValueCheck& check : c.values) {
        const SourceColumn& column = (tables.*check.table).columns[check.column];
        EXPECT_EQ(shown(column, check.row), check.value) << column.name() << " " << check.row;
      }
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.what(), "Cannot read " + path + ": " + c.error);
    }
  }
}

TEST(ReadAccessTables, ColumnsKeepAccessTypesAffinitiesAndCollations) {
  SourceTables tables = readAccessTables(fixturePath("marks-double.mdb"));
  const SourceColumn& id = tables.student.columns[kStudentId];
  const SourceColumn& marks = tables.studentResult.columns[kMarks];
  const SourceColumn& semester = tables.studentResult.columns[kSemester];
  EXPECT_EQ(id.affinity(), Affinity::kText);
  EXPECT_EQ(id.collation(), "NOCASE");  // Access compares text without regard to case
  EXPECT_EQ(marks.affinity(), Affinity::kReal);
  EXPECT_EQ(semester.affinity(), Affinity::kInteger);
  EXPECT_EQ(semester.collation(), "BINARY");
  EXPECT_EQ(tables.studentResult.columnNames,
            (std::vector<std::string>{"StudentID", "SubjectID", "Semester", "Marks"}));
}

}  // namespace

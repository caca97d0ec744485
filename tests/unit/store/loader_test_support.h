// Helpers for the loader tests: fixture paths, scratch folders, SQLite files made from the
// fixture scripts, and a text dump of a record tree to compare trees with.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "scratch_folder.h"
#include "store/loader.h"
#include "store/sources/sqlite/sqlite_reader.h"
#include "store/tables/source_tables.h"
#include "store/tree/record_tree.h"

inline std::string fixturePath(const std::string& name) {
  return std::string(TAVRINEL_FIXTURES_DIR) + "/" + name;
}

inline std::string sharedFixturePath(const std::string& name) {
  return std::string(TAVRINEL_SHARED_FIXTURES_DIR) + "/" + name;
}

// Runs a SQL script into a new SQLite database file at path.
inline void makeSqliteFile(const std::string& path, const std::string& script) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  char* message = nullptr;
  int status = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message);
  std::string reason = message == nullptr ? "" : message;
  sqlite3_free(message);
  sqlite3_close(db);
  if (status != SQLITE_OK) {
    throw std::runtime_error("script failed: " + reason);
  }
}

// The SQLite form of a fixture: its .sql script run into scratch/<name>.db.
inline std::string sqliteFixture(const ScratchFolder& scratch, const std::string& name) {
  std::string path = scratch.file(name + ".db");
  makeSqliteFile(path, readFile(fixturePath(name + ".sql")));
  return path;
}

// The tables of a SQLite file made from script, as the SQLite reader reads them; the file is
// removed again.
inline SourceTables scriptTables(const std::string& script) {
  ScratchFolder scratch;
  std::string path = scratch.file("Database.db");
  makeSqliteFile(path, "PRAGMA synchronous = OFF;" + script);
  return readSqliteTables(path);
}

struct LoadedTree {
  RecordTreeOwner tree;
  LoadStatus status;
};

inline LoadedTree loadFile(const std::string& path) {
  LoadResult result = loadRecordTree(DatabaseSource::file(path));
  return {RecordTreeOwner(result.tree), result.status};
}

inline void dumpStudent(const StudentRecord& student, std::ostream& out) {
  const AddressRecord& address = *student.address;
  out << "  " << student.studentId << '|' << student.name << '|' << student.intake << '|'
      << address.streetAddress << '|' << address.city << '|' << address.state << '|'
      << address.postcode << '\n';
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    out << "    level " << level->number << '\n';
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      out << "      semester " << semester->number << ':';
      for (const SubjectResult* result = semester->firstResult; result != nullptr;
           result = result->next) {
        out << ' ' << result->subjectId << '=' << result->marks << " (" << result->subjectName
            << ')';
      }
      out << '\n';
    }
  }
}

// Every record and field of the tree, one intake after the other, as text.
inline std::string dumpTree(RecordTree tree) {
  std::ostringstream out;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    out << "intake " << intake->code << '\n';
    for (const StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      dumpStudent(*student, out);
    }
  }
  return out.str();
}

inline std::vector<std::string> intakeCodes(RecordTree tree) {
  std::vector<std::string> codes;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    codes.emplace_back(intake->code);
  }
  return codes;
}

// The intake with this code; throws (and so fails the test) when there is none.
inline const IntakeRecord& intakeNamed(RecordTree tree, const std::string& code) {
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (code == intake->code) {
      return *intake;
    }
  }
  throw std::runtime_error("no intake " + code);
}

inline std::vector<std::string> studentIds(const IntakeRecord& intake) {
  std::vector<std::string> ids;
  for (const StudentRecord* student = intake.firstStudent; student != nullptr;
       student = student->next) {
    ids.emplace_back(student->studentId);
  }
  return ids;
}

// The first student with this ID, searching intake by intake; throws when there is none.
inline const StudentRecord& studentNamed(RecordTree tree, const std::string& id) {
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (const StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      if (id == student->studentId) {
        return *student;
      }
    }
  }
  throw std::runtime_error("no student " + id);
}

// One student's levels, semesters and results, as dumpStudent writes them but without the
// student line.
inline std::string resultsOf(RecordTree tree, const std::string& id) {
  std::ostringstream out;
  dumpStudent(studentNamed(tree, id), out);
  std::string text = out.str();
  return text.substr(text.find('\n') + 1);
}

// Whether line is expected, where a "(...)" at the end of expected stands for any engine detail
// on the same line: SQLite's own words differ from one version to the next.
inline ::testing::AssertionResult sameLine(const std::string& line, const std::string& expected) {
  const std::string any = "(...)";
  bool detail = expected.size() >= any.size() &&
                expected.compare(expected.size() - any.size(), any.size(), any) == 0;
  std::string start = detail ? expected.substr(0, expected.size() - any.size() + 1) : expected;
  bool same = detail ? line.compare(0, start.size(), start) == 0 && line.size() > start.size() &&
                           line.back() == ')' && line.find('\n') == std::string::npos
                     : line == expected;
  if (same) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "\"" << line << "\" is not \"" << expected << "\"";
}

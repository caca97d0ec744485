// Writes a SQLite database of the loader's schema with any number of students, for the benchmark.
#include "bench/generated_database.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/sources/sqlite/sqlite_handles.h"

namespace {

constexpr int kIntakes = 12;
constexpr const char* kIntakeCodes[kIntakes] = {"APR19IT", "APR20IT", "APR21IT", "APR22IT",
                                                "APR23IT", "APR24IT", "SEP19IT", "SEP20IT",
                                                "SEP21IT", "SEP22IT", "SEP23IT", "SEP24IT"};
constexpr const char* kFirstNames[] = {"Aisha",
                                       "Zo\xC3\xAB",
                                       "Jos\xC3\xA9",
                                       "Grace",
                                       "Rahul",
                                       "Mei",
                                       "Noah",
                                       "Sof\xC3\xAD"
                                       "a",
                                       "Liam",
                                       "Chlo\xC3\xA9"};
constexpr const char* kLastNames[] = {"Rahman",
                                      "M\xC3\xBCller",
                                      "N\xC3\xBA\xC3\xB1"
                                      "ez",
                                      "O'Sullivan",
                                      "Sharma",
                                      "Chen",
                                      "Fraser",
                                      "\xC3\x81lvarez",
                                      "Walsh",
                                      "Laurent"};

constexpr const char* kSchema =
    "CREATE TABLE Student (StudentID TEXT(8), Name TEXT(50), StreetAddress TEXT(50), "
    "City TEXT(12), State TEXT(12), Postcode TEXT(8), Intake TEXT(15));"
    "CREATE TABLE StudentResult (StudentID TEXT(8), SubjectID TEXT(8), Semester INTEGER, "
    "Marks INTEGER);"
    "CREATE TABLE Subject (SubjectID TEXT(8), Name TEXT(50), Level INTEGER);";

// The indexes an office's file carries; the loader builds its own on the copy.
constexpr const char* kIndexes =
    "CREATE UNIQUE INDEX Student_PrimaryKey ON Student(StudentID);"
    "CREATE INDEX Student_Intake ON Student(Intake);"
    "CREATE UNIQUE INDEX Subject_PrimaryKey ON Subject(SubjectID);"
    "CREATE INDEX StudentResult_StudentID ON StudentResult(StudentID);"
    "CREATE INDEX StudentResult_SubjectID ON StudentResult(SubjectID);";

struct Subject {
  std::string id;
  int level;
  int semester;
};

// Levels 1 to 3; 14, 13 and 13 subjects; the first 7 of a level in semester 1.
std::vector<Subject> subjects() {
  std::vector<Subject> list;
  for (int level = 1; level <= 3; ++level) {
    int count = level == 1 ? 14 : 13;
    for (int i = 1; i <= count; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "CS%d%02d", level, i);
      list.push_back({id, level, i <= 7 ? 1 : 2});
    }
  }
  return list;
}

// A small fixed-seed generator, so that every run writes the same data.
class Random {
 public:
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int below(int bound) { return static_cast<int>(next() % static_cast<std::uint32_t>(bound)); }

 private:
  std::uint32_t state_ = 2463534242u;
};

class Writer {
 public:
  explicit Writer(const std::string& path) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
      sqlite3_close(db);
      throw std::runtime_error("cannot create " + path);
    }
    db_.reset(db);
    execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    execute(kSchema);
    execute("BEGIN");
  }

  void execute(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_.get()));
    }
  }

  SqliteStatement prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_.get()));
    }
    return SqliteStatement(statement);
  }

  static void insert(sqlite3_stmt* statement, const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), texts[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_step(statement);
    sqlite3_reset(statement);
  }

 private:
  SqliteDatabase db_;
};

std::string studentId(long index) {
  return "st" + std::to_string(100001 + index);
}

long firstOfIntake(int intake, long students) {
  return students * intake / kIntakes;
}

void writeStudents(Writer& writer, long students, Random& random) {
  SqliteStatement insert = writer.prepare("INSERT INTO Student VALUES (?, ?, ?, ?, ?, ?, ?)");
  for (int intake = 0; intake < kIntakes; ++intake) {
    for (long s = firstOfIntake(intake, students); s < firstOfIntake(intake + 1, students); ++s) {
      std::string name =
          std::string(kFirstNames[random.below(10)]) + " " + kLastNames[random.below(10)];
      std::string street = std::to_string(1 + random.below(300)) + " Station Street";
      Writer::insert(insert.get(),
                     {studentId(s), name, street, "Parramatta", "NSW",
                      std::to_string(2000 + random.below(7000)), kIntakeCodes[intake]});
    }
  }
}

std::vector<Subject> subjectsOf(int level, int semester) {
  std::vector<Subject> chosen;
  for (const Subject& subject : subjects()) {
    if (subject.level == level && subject.semester == semester) {
      chosen.push_back(subject);
    }
  }
  return chosen;
}

long writeResults(Writer& writer, long students, Random& random) {
  SqliteStatement insert = writer.prepare("INSERT INTO StudentResult VALUES (?, ?, ?, ?)");
  long written = 0;
  for (int intake = 0; intake < kIntakes; ++intake) {
    for (int level = 1; level <= 3; ++level) {
      for (int semester = 1; semester <= 2; ++semester) {
        for (long s = firstOfIntake(intake, students); s < firstOfIntake(intake + 1, students);
             ++s) {
          // 4 to 6 of the semester's 6 or 7 subjects, in subject order.
          std::vector<Subject> chosen = subjectsOf(level, semester);
          std::size_t keep = 4 + static_cast<std::size_t>(random.below(3));
          while (chosen.size() > keep) {
            chosen.erase(chosen.begin() + random.below(static_cast<int>(chosen.size())));
          }
          for (const Subject& subject : chosen) {
            Writer::insert(insert.get(), {studentId(s), subject.id, std::to_string(semester),
                                          std::to_string(random.below(101))});
          }
          written += static_cast<long>(chosen.size());
        }
      }
    }
  }
  return written;
}

}  // namespace

long writeGeneratedDatabase(const std::string& path, long students) {
  Writer writer(path);
  Random random;
  writeStudents(writer, students, random);
  long results = writeResults(writer, students, random);
  SqliteStatement insert = writer.prepare("INSERT INTO Subject VALUES (?, ?, ?)");
  for (const Subject& subject : subjects()) {
    Writer::insert(insert.get(),
                   {subject.id, "Subject " + subject.id, std::to_string(subject.level)});
  }
  writer.execute("COMMIT");
  writer.execute(kIndexes);
  return results;
}

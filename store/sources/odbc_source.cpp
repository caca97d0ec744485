// Records on a database server, read through an ODBC driver named in a connection string.
#include "store/sources/odbc_source.h"

#include <strings.h>

#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "store/database_error.h"
#include "store/sources/odbc_connection.h"
#include "store/tree/out_of_memory.h"

namespace {

// Rows gathered in memory ahead of the query they answer: a slice of one table of texts.
class ListedRows : public OdbcRows {
 public:
  ListedRows(const std::vector<const char*>& names, const std::vector<std::string>* cells)
      : names_(names), cells_(cells) {}

  bool next() override {
    std::size_t width = names_.size();
    if (cells_ == nullptr || (row_ + 1) * width > cells_->size()) {
      return false;
    }
    ++row_;
    return true;
  }
  std::string text(const char* column) override {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (strcasecmp(names_[i], column) == 0) {
        return textAt(static_cast<int>(i));
      }
    }
    throw DatabaseError(std::string("a query has no column ") + column);
  }
  int columnCount() const override { return static_cast<int>(names_.size()); }
  std::string textAt(int column) override {
    return (*cells_)[(row_ - 1) * names_.size() + static_cast<std::size_t>(column)];
  }

 private:
  const std::vector<const char*>& names_;
  const std::vector<std::string>* cells_;
  std::size_t row_ = 0;  // 1-based: 0 before the first row
};

// The key of a semester or a semester's results: the student ID, then the decimal numbers. A
// server's text never holds a NUL, so the parts cannot run into each other.
std::string groupKey(const std::string& studentId, const std::string& level) {
  return studentId + '\0' + level;
}
std::string groupKey(const std::string& studentId, const std::string& level,
                     const std::string& semester) {
  return studentId + '\0' + level + '\0' + semester;
}

const std::vector<const char*> kLevelColumns = {"Level"};
const std::vector<const char*> kSemesterColumns = {"Semester"};
const std::vector<const char*> kResultColumns = {"Marks", "SubjectID", "Name"};

// The column types that the set-based queries rely on (see gatherAll).
constexpr const char* kTypeProbe =
    "SELECT Student.StudentID, StudentResult.StudentID, Subject.Level, StudentResult.Semester"
    " FROM Student, StudentResult, Subject WHERE 1 = 0";

// Every student's levels and semesters in one query. The student IDs come from Student, as the
// one-by-one queries take them, and the server matches them to StudentResult with its own
// equality, so each ID is given what its own level query would give; a DISTINCT over the three
// columns sorted by the server gives each student's DISTINCT levels in the level query's ORDER BY,
// and each level's DISTINCT semesters in the semester query's ORDER BY.
constexpr const char* kLevelsAndSemesters =
    "SELECT DISTINCT k.StudentID AS tavrinel_id, Subject.Level, StudentResult.Semester"
    " FROM (SELECT DISTINCT StudentID FROM Student) k, StudentResult, Subject"
    " WHERE StudentResult.SubjectID = Subject.SubjectID AND StudentResult.StudentID = k.StudentID"
    " ORDER BY k.StudentID, Subject.Level, StudentResult.Semester";

// A NULL ID reads as "", which the one-by-one queries compare with StudentID = '': only IDs that
// are there as text stand for themselves.
constexpr const char* kStudentIds =
    "SELECT DISTINCT StudentID FROM Student WHERE StudentID IS NOT NULL";

// Every result of every student, grouped by the result query's conditions. That query has no
// ORDER BY, so its rows come in the order of the server's plan. PostgreSQL's plans for it drive
// the join from StudentResult and read it in its physical order (a sequential scan, a bitmap
// scan, or a B-tree on StudentID whose equal keys are kept in that order), joining at most one
// Subject row to each result; ordering each group by the row's physical place (ctid) gives the
// same order. A subject ID that repeats in Subject would make the order depend on the join
// method, so then, and on other servers, the results keep the one-by-one query.
constexpr const char* kAllResults =
    "SELECT k.StudentID AS tavrinel_id, Subject.Level, StudentResult.Semester,"
    " StudentResult.Marks, StudentResult.SubjectID, Subject.Name"
    " FROM (SELECT DISTINCT StudentID FROM Student) k, StudentResult, Subject"
    " WHERE StudentResult.SubjectID = Subject.SubjectID AND StudentResult.StudentID = k.StudentID"
    " ORDER BY k.StudentID, Subject.Level, StudentResult.Semester, StudentResult.ctid";
constexpr const char* kRepeatedSubject =
    "SELECT SubjectID FROM Subject GROUP BY SubjectID HAVING COUNT(*) > 1";

// The plan argument above is checked on this many groups of two rows or more, spread over the
// data, against the one-by-one query; one difference and every result keeps that query.
constexpr std::size_t kCheckedGroups = 64;

class ServerQueries : public LoaderQueries {
 public:
  ServerQueries(const std::string& connection, ServerQueryMethod method)
      : connection_(connection), method_(method) {}

  std::unique_ptr<QueryRows> open(const LoaderQuery& query) override {
    if (method_ == ServerQueryMethod::kSetBased && query.kind != QueryKind::kIntakes &&
        query.kind != QueryKind::kStudents) {
      if (!gathered_) {
        gathered_ = true;
        gatherOrFallBack();
      }
      if (setBased_ && ids_.count(query.studentId) != 0 &&
          (query.kind != QueryKind::kResults || resultsGathered_)) {
        return listed(query);
      }
    }
    return oneByOne(query);
  }

 private:
  std::unique_ptr<QueryRows> oneByOne(const LoaderQuery& query) {
    std::unique_ptr<OdbcStatement>& statement = statements_[static_cast<int>(query.kind)];
    if (!statement) {
      statement = std::make_unique<OdbcStatement>(connection_, referenceQueryText(query.kind));
    }
    switch (query.kind) {
      case QueryKind::kIntakes:
        break;
      case QueryKind::kStudents:
        statement->bindText(1, query.intake);
        break;
      case QueryKind::kResults:
        statement->bindInteger(3, query.semester);
        [[fallthrough]];
      case QueryKind::kSemesters:
        statement->bindInteger(2, query.level);
        [[fallthrough]];
      case QueryKind::kLevels:
        statement->bindText(1, query.studentId);
        break;
    }
    return statement->execute();
  }

  std::unique_ptr<QueryRows> listed(const LoaderQuery& query) const {
    std::string level = std::to_string(query.level);
    switch (query.kind) {
      case QueryKind::kLevels:
        return std::make_unique<ListedRows>(kLevelColumns, find(levels_, query.studentId));
      case QueryKind::kSemesters:
        return std::make_unique<ListedRows>(kSemesterColumns,
                                            find(semesters_, groupKey(query.studentId, level)));
      default:
        return std::make_unique<ListedRows>(
            kResultColumns,
            find(results_, groupKey(query.studentId, level, std::to_string(query.semester))));
    }
  }

  static const std::vector<std::string>* find(
      const std::unordered_map<std::string, std::vector<std::string>>& lists,
      const std::string& key) {
    auto found = lists.find(key);
    return found == lists.end() ? nullptr : &found->second;
  }

  // A set-based query can fail where the one-by-one ones do not (two ID columns of conflicting
  // collations cannot be compared with each other, only each with a value): then every query
  // runs one by one. A connection that is lost fails the one-by-one query that follows.
  void gatherOrFallBack() {
    try {
      gatherAll();
    } catch (const DatabaseError&) {
      setBased_ = false;
      resultsGathered_ = false;
      ids_.clear();
      levels_.clear();
      semesters_.clear();
      results_.clear();
    }
  }

  // The set-based queries stand in for the one-by-one ones only where they provably give the same
  // answers: the IDs are texts of varying length on both sides (a fixed-length text compared
  // with a bound value follows other padding rules than two columns compared with each other),
  // and levels and semesters are whole numbers, so that "Level = 2" holds exactly for the rows
  // whose level reads "2", and texts that differ are different numbers.
  void gatherAll() {
    OdbcStatement direct(connection_, nullptr);
    {
      std::unique_ptr<OdbcRows> probe = direct.executeDirect(kTypeProbe);
      setBased_ = columnKind(direct, 0) == ColumnKind::kVaryingText &&
                  columnKind(direct, 1) == ColumnKind::kVaryingText &&
                  columnKind(direct, 2) == ColumnKind::kExactInteger &&
                  columnKind(direct, 3) == ColumnKind::kExactInteger;
    }
    if (!setBased_) {
      return;
    }
    {
      // Under a collation that finds two spellings of an ID equal, DISTINCT keeps one of them;
      // a student under the other spelling is then not listed here and keeps the one-by-one
      // queries.
      std::unique_ptr<OdbcRows> rows = direct.executeDirect(kStudentIds);
      while (rows->next()) {
        ids_.insert(rows->textAt(0));
      }
    }
    if (connection_.dbmsName() == "PostgreSQL" && !direct.executeDirect(kRepeatedSubject)->next()) {
      gatherResults(direct);
      return;
    }
    std::unique_ptr<OdbcRows> rows = direct.executeDirect(kLevelsAndSemesters);
    while (rows->next()) {
      addSemester(rows->textAt(0), rows->textAt(1), rows->textAt(2));
    }
  }

  // Rows come sorted by ID, level and semester, and one call per distinct triple at least.
  void addSemester(const std::string& id, const std::string& level, const std::string& semester) {
    std::vector<std::string>& levels = levels_[id];
    if (levels.empty() || levels.back() != level) {
      levels.push_back(level);
    }
    std::vector<std::string>& semesters = semesters_[groupKey(id, level)];
    if (semesters.empty() || semesters.back() != semester) {
      semesters.push_back(semester);
    }
  }

  // The result rows, sorted by the server as the level and semester queries sort, hold every row
  // those queries read: they give the levels and semesters too.
  void gatherResults(OdbcStatement& direct) {
    std::vector<LoaderQuery> multiRow;
    {
      std::unique_ptr<OdbcRows> rows = direct.executeDirect(kAllResults);
      std::vector<std::string>* group = nullptr;
      std::string id;
      std::string level;
      std::string semester;
      while (rows->next()) {
        std::string nextId = rows->textAt(0);
        std::string nextLevel = rows->textAt(1);
        std::string nextSemester = rows->textAt(2);
        if (group == nullptr || nextId != id || nextLevel != level || nextSemester != semester) {
          id = std::move(nextId);
          level = std::move(nextLevel);
          semester = std::move(nextSemester);
          group = &results_[groupKey(id, level, semester)];
          addSemester(id, level, semester);
        }
        group->push_back(rows->textAt(3));
        group->push_back(rows->textAt(4));
        group->push_back(rows->textAt(5));
        if (group->size() == 2 * kResultColumns.size() && !level.empty() && !semester.empty()) {
          multiRow.push_back(
              {QueryKind::kResults, "", id, parseNumber(level), parseNumber(semester)});
        }
      }
    }
    resultsGathered_ = true;
    std::size_t step = std::max<std::size_t>(1, multiRow.size() / kCheckedGroups);
    for (std::size_t i = 0; i < multiRow.size(); i += step) {
      if (!sameRows(*oneByOne(multiRow[i]), *listed(multiRow[i]))) {
        resultsGathered_ = false;
        results_.clear();
        return;  // the levels and semesters stand: they come from the server's ORDER BY
      }
    }
  }

  static bool sameRows(QueryRows& reference, QueryRows& gathered) {
    for (;;) {
      bool more = reference.next();
      if (more != gathered.next()) {
        return false;
      }
      if (!more) {
        return true;
      }
      for (const char* column : kResultColumns) {
        if (reference.text(column) != gathered.text(column)) {
          return false;
        }
      }
    }
  }

  OdbcConnection connection_;
  ServerQueryMethod method_;
  std::unique_ptr<OdbcStatement> statements_[5];
  bool gathered_ = false;
  bool setBased_ = false;
  bool resultsGathered_ = false;
  std::unordered_set<std::string> ids_;
  std::unordered_map<std::string, std::vector<std::string>> levels_;
  std::unordered_map<std::string, std::vector<std::string>> semesters_;
  std::unordered_map<std::string, std::vector<std::string>> results_;
};

bool isPasswordKey(std::string key) {
  std::size_t start = key.find_first_not_of(" \t");
  std::size_t end = key.find_last_not_of(" \t");
  key = start == std::string::npos ? "" : key.substr(start, end - start + 1);
  return strcasecmp(key.c_str(), "PWD") == 0 || strcasecmp(key.c_str(), "Password") == 0;
}

// Where a value that starts at begin ends: a {braced} value at its closing brace ("}}" stands for
// a brace inside it), any other at the next ';' or the end of the text.
std::size_t valueEnd(const std::string& text, std::size_t begin) {
  std::size_t at = text.find_first_not_of(" \t", begin);
  std::size_t end = text.find(';', begin);
  if (at != std::string::npos && text[at] == '{') {
    end = text.size();  // an unclosed brace: the rest is the value
    for (std::size_t i = at + 1; i < text.size(); ++i) {
      if (text[i] == '}' && i + 1 < text.size() && text[i + 1] == '}') {
        ++i;
      } else if (text[i] == '}') {
        end = text.find(';', i + 1);
        break;
      }
    }
  }
  return end == std::string::npos ? text.size() : end;
}

struct Span {
  std::size_t begin;
  std::size_t end;
};

// The values of the PWD and Password keys, in order.
std::vector<Span> passwordSpans(const std::string& connection) {
  std::vector<Span> spans;
  std::size_t at = 0;
  while (at < connection.size()) {
    std::size_t equals = connection.find('=', at);
    std::size_t semicolon = connection.find(';', at);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      at = semicolon == std::string::npos ? connection.size() : semicolon + 1;
      continue;
    }
    std::size_t end = valueEnd(connection, equals + 1);
    if (isPasswordKey(connection.substr(at, equals - at))) {
      spans.push_back({equals + 1, end});
    }
    at = end + 1;
  }
  return spans;
}

}  // namespace

std::vector<std::string> connectionPasswords(const std::string& connection) {
  std::vector<std::string> values;
  for (const Span& span : passwordSpans(connection)) {
    std::string value = connection.substr(span.begin, span.end - span.begin);
    std::size_t open = value.find('{');
    std::size_t close = value.rfind('}');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      std::string inner = value.substr(open + 1, close - open - 1);
      for (std::size_t at = inner.find("}}"); at != std::string::npos;
           at = inner.find("}}", at + 1)) {
        inner.erase(at, 1);
      }
      values.push_back(inner);
    }
    values.push_back(value);
  }
  return values;
}

std::string maskConnection(const std::string& connection) {
  std::string masked;
  std::size_t at = 0;
  for (const Span& span : passwordSpans(connection)) {
    masked += connection.substr(at, span.begin - at) + "***";
    at = span.end;
  }
  return masked + connection.substr(at);
}

class OdbcSession::Impl {
 public:
  explicit Impl(const std::string& connection)
      : connection_(connection), statement_(connection_, nullptr) {}
  OdbcConnection connection_;
  OdbcStatement statement_;
};

OdbcSession::OdbcSession(const std::string& connection)
    : impl_(std::make_unique<Impl>(connection)) {}
OdbcSession::~OdbcSession() = default;

std::unique_ptr<OdbcRows> OdbcSession::select(const std::string& sql) {
  return impl_->statement_.executeDirect(sql);
}

std::unique_ptr<LoaderQueries> openServerSource(const std::string& connection,
                                                ServerQueryMethod method) {
  return std::make_unique<ServerQueries>(connection, method);
}

LoadResult loadRecordTreeFromServer(const std::string& connection, const LoadProgress& progress) {
  std::unique_ptr<LoaderQueries> queries;
  try {
    queries = openServerSource(connection);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
  return loadRecordTree(*queries, progress);
}

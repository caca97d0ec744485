// The data check over tables read from a SQLite file: each kind of problem counted, with its rows.
#include "store/data_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/store/loader_test_support.h"

namespace {

// One clean student (st000001 of APR23IT) and, beside it, each problem the check looks for.
const char* const kScript = R"(
CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT, State TEXT,
                      Postcode TEXT, Intake TEXT);
CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER, Marks INTEGER);
CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level INTEGER);
INSERT INTO Student VALUES
  ('st000001', 'Clean Student', '1 Main St', 'Penrith', 'NSW', '2750', 'APR23IT'),
  ('st000002', 'No Intake', '1 Main St', 'Penrith', 'NSW', '2750', NULL),
  ('st000003', 'No Street', '', 'Penrith', 'NSW', '2750', 'APR23IT'),
  ('st000004', 'No City Or Postcode', '1 Main St', ' ', 'NSW', NULL, 'APR23IT'),
  ('St000001', 'Case Twin', '1 Main St', 'Penrith', 'NSW', '2750', 'APR23IT'),
  ('st0000099', 'Nine Characters', '1 Main St', 'Penrith', 'NSW', '2750', 'APR23IT'),
  ('st000005', 'Small Intake', '1 Main St', 'Penrith', 'NSW', '2750', 'apr23it'),
  ('st000006', 'Long Intake', '1 Main St', 'Penrith', 'NSW', '2750', 'APR2023PARTTIME'),
  ('st000007', 'Éloïse Abcdefghijklmnopqrstuvwxyz Abcdefghijklmnopq', '1 Main St', 'Penrith',
   'NSW', '2750', 'APR23IT'),
  ('st000008', 'Long City', '1 Main St', 'Wollongong Heights', 'NSW', '2750', 'APR23IT'),
  ('st000009', 'Twice', '1 Main St', 'Penrith', 'NSW', '2750', 'SEP23IT'),
  ('st000009', 'Twice', '2 Main St', 'Penrith', 'NSW', '2750', 'APR23IT'),
  ('st000010', 'Empty Intake', '1 Main St', 'Penrith', 'NSW', '2750', ''),
  ('st000011', 'Longer Intake', '1 Main St', 'Penrith', 'NSW', '2750', 'APR2023PARTTIMEXY');
INSERT INTO Subject VALUES ('CS101', 'Programming', 1),
  ('CS102', 'Subject name of fifty-one characters: one too many!', 1);
INSERT INTO StudentResult VALUES ('st000001', 'CS101', 1, 68), ('st000001', 'CS102', 1, 0),
  ('nobody', 'CS101', 1, 50), ('st000001', 'XX999', 1, 50),
  ('st000003', 'CS101', 1, -3), ('st000003', 'CS102', 1, 101), ('st000004', 'CS101', 1, 100);
)";

struct Expected {
  const char* titleStart;
  long count;
  std::vector<std::string> examples;
};

}  // namespace

TEST(CheckSourceTables, CountsEachKindOfProblemWithItsRows) {
  const DataCheck check = checkSourceTables(scriptTables(kScript));
  const std::vector<Expected> expected = {
      {"students without intake",
       2,
       {"'st000002' No Intake: none", "'st000010' Empty Intake: empty"}},
      {"students with an incomplete address",
       2,
       {"'st000003' No Street: no street", "'st000004' No City Or Postcode: no city, no postcode"}},
      {"student ID that differs only in case", 1, {"'St000001', 'st000001'"}},
      {"student ID stored in more than one row",
       1,
       {"'st000009' in 2 rows (intakes 'SEP23IT', 'APR23IT'): the search shows the one of intake "
        "'APR23IT'"}},
      {"student IDs the search cannot take",
       2,
       {"'St000001' Case Twin", "'st0000099' Nine Characters"}},
      {"student name longer than", 1, {"'st000007': 51 characters"}},
      {"address cut in the letters", 1, {"'st000008' Long City"}},
      {"intakes the mail prompt cannot take",
       3,
       {"'APR2023PARTTIME'", "'APR2023PARTTIMEXY'", "'apr23it'"}},
      {"intakes spelt more than one way", 0, {}},  // a BINARY column: two intakes
      {"intake longer than the 15 characters",
       1,
       {"'APR2023PARTTIMEXY' (1 student): held as 'APR2023PARTTIME'; --letters takes either"}},
      {"result of a student not in table Student", 1, {"'nobody' subject 'CS101'"}},
      {"result of a subject not in table Subject", 1, {"'st000001' subject 'XX999'"}},
      {"marks outside 0 to 100",
       2,
       {"'st000003' subject 'CS101': -3", "'st000003' subject 'CS102': 101"}},
      {"subject name longer than", 1, {"'CS102': 51 characters"}},
  };
  ASSERT_EQ(check.problems.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const DataProblem& problem = check.problems[i];
    SCOPED_TRACE(problem.title);
    const std::string& title = problem.count == 1 ? problem.titleOfOne : problem.title;
    EXPECT_EQ(title.rfind(expected[i].titleStart, 0), 0u);
    EXPECT_EQ(problem.count, expected[i].count);
    EXPECT_EQ(problem.examples, expected[i].examples);
  }
}

TEST(WriteDataCheck, CleanTablesSayNoProblemAndManyRowsAreCutShort) {
  std::ostringstream clean;
  writeDataCheck(checkSourceTables(scriptTables(
                     "CREATE TABLE Student (StudentID, Name, StreetAddress, City, State, "
                     "Postcode, Intake); CREATE TABLE StudentResult (StudentID, SubjectID, "
                     "Semester, Marks); CREATE TABLE Subject (SubjectID, Name, Level);"
                     "INSERT INTO Student VALUES ('st1', 'A', 'S', 'C', 'N', 'P', 'APR23IT');")),
                 clean);
  EXPECT_EQ(clean.str(), "No problem found.\n");

  DataCheck many;
  many.problems.push_back(
      {"marks outside 0 to 100", "mark outside 0 to 100", 7, {"a", "b", "c", "d", "e"}});
  many.problems.push_back({"marks outside 0 to 100", "mark outside 0 to 100", 1, {"f"}});
  std::ostringstream report;
  writeDataCheck(many, report);
  EXPECT_EQ(report.str(),
            "7 marks outside 0 to 100\n    a\n    b\n    c\n    d\n    e\n    ... and 2 more\n"
            "1 mark outside 0 to 100\n    f\n");
}

// Where the Intake column compares without regard to case, the spellings of one intake are one
// intake held in the first row's spelling, which the prompt may not reach.
TEST(CheckSourceTables, IntakesSpeltSeveralWaysUnderNocaseAreOneIntake) {
  const DataCheck check = checkSourceTables(scriptTables(
      "CREATE TABLE Student (StudentID, Name, StreetAddress, City, State, Postcode, "
      "Intake TEXT COLLATE NOCASE); CREATE TABLE StudentResult (StudentID, SubjectID, Semester, "
      "Marks); CREATE TABLE Subject (SubjectID, Name, Level);"
      "INSERT INTO Student VALUES ('s1', 'A', 'S', 'C', 'N', 'P', 'apr24it'), "
      "('s2', 'B', 'S', 'C', 'N', 'P', 'APR24IT'), ('s3', 'C', 'S', 'C', 'N', 'P', 'APR24IT'), "
      "('s4', 'D', 'S', 'C', 'N', 'P', 'SEP24'), ('s5', 'E', 'S', 'C', 'N', 'P', 'sep24');"));
  std::ostringstream report;
  writeDataCheck(check, report);
  EXPECT_EQ(
      report.str(),
      "1 intake the mail prompt cannot take (over 8 characters, or small letters, which the "
      "prompt types as capitals), whose letters only --letters writes\n"
      "    'apr24it'\n"
      "2 intakes spelt more than one way, which the program holds in the first row's "
      "spelling\n"
      "    'apr24it' 1 student, 'APR24IT' 2 students: held as 'apr24it' with all 3, which "
      "the prompt cannot reach; --letters takes every spelling\n"
      "    'SEP24' 1 student, 'sep24' 1 student: held as 'SEP24' with all 2, which the prompt "
      "reaches; --letters takes every spelling\n");
}

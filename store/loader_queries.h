// The texts of the loader's five queries, one per depth of the record tree.
#pragma once

#include <string>

// value between single quotes, each quote inside doubled, so that an ID or intake code holding a
// quote can neither break nor alter the query.
std::string quotedLiteral(const std::string& value);

std::string intakeQuery();
std::string studentQuery(const std::string& intake);
std::string levelQuery(const std::string& studentId);
std::string semesterQuery(const std::string& studentId, int level);
std::string resultQuery(const std::string& studentId, int level, int semester);

// The one error the store raises when a database cannot be read: one line for the operator.
#pragma once

#include <stdexcept>
#include <string>

// what() is one line naming the database and the reason, for example
// "Cannot read Database.mdb: table StudentResult is missing".
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws DatabaseError "Cannot read <source>: <reason>"; source is the file as the user gave it
// (or the connection, its password masked).
[[noreturn]] inline void failToRead(const std::string& source, const std::string& reason) {
  throw DatabaseError("Cannot read " + source + ": " + reason);
}

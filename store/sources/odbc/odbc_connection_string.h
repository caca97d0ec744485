// An ODBC connection string as the program shows it and checks it: secrets masked, one line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The longest connection string the driver managers pass on whole (a 16-bit length; past it
// unixODBC silently keeps only the start).
constexpr std::size_t kMaxConnectionLength = 32767;

// The connection string with the value of every key that can carry a secret replaced by "***":
// PWD, Password, pqopt (psqlODBC's options, a password among them) and any key whose name holds
// pass, pwd, secret, token or key, in any case; a {braced} value whole, "}}" and ';' inside it
// included.
std::string maskConnection(const std::string& connection);

// How messages name the connection: masked, cut at a control character, and cut to a length
// that fits a line.
std::string connectionSourceName(const std::string& connection);

// Why the connection string cannot be handed to a driver (a control character such as a line
// break, or more characters than the driver manager takes), or "" when it can.
std::string connectionStringProblem(const std::string& connection);

// The secret values as they stand and without their braces, to be masked wherever a driver's
// message quotes them.
std::vector<std::string> connectionSecrets(const std::string& connection);

// text with every one of the secrets replaced by "***": one of four characters or more
// wherever it shows, a shorter one only where it stands as a word of its own, so that a "p"
// does not turn "port" into "***ort".
std::string maskSecrets(std::string text, const std::vector<std::string>& secrets);

// The values given for key (compared without regard to case), in order, a {braced} one without
// its braces: what a driver reads for DBQ or Database.
std::vector<std::string> connectionValues(const std::string& connection, const std::string& key);

// The result letters of one intake, written to mail.txt.
#pragma once

#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "store/tree/record_tree.h"

constexpr const char* kMailFileName = "mail.txt";

// The letter's own words, which the printable letters repeat.
constexpr const char* kLetterSalutation = "Mr/Miss ";
constexpr const char* kLetterOpening =
    "The Following is your results for all the subjects enrolled:";
constexpr const char* kLetterDateLabel = "Date Generated: ";
constexpr const char* kLetterFooter = "* This Mail is computer generated, no signature is required";

enum class MailOutcome {
  kWritten,      // every letter reached mail.txt
  kCannotOpen,   // "Cannot open output file"; the old mail.txt is untouched
  kCannotWrite,  // "Cannot write output file"; the old mail.txt as it was (written in place
                 // where the folder takes no new file: its old content put back)
  kOldFileLost   // written in place, failed, and the old content could not be put back
};

// The local date of a letter as "%d %B %Y" in the C locale, such as "06 December 2026".
std::string formatLetterDate(std::time_t when);

// The three address lines that open a letter: the street, the postcode and city, the state.
std::vector<std::string> letterAddressLines(const StudentRecord& student);

// Writes one letter (address block, salutation, listing, date, footer), each line ending in
// CR LF whatever the platform.
void writeResultLetter(const StudentRecord& student, const std::string& date, std::ostream& out);

using MailClock = std::function<std::time_t()>;

// Each student of the intake in list order, with the date of the letter, the clock read afresh
// for each.
using LetterVisitor = std::function<void(const StudentRecord& student, const std::string& date)>;
void forEachLetter(const IntakeRecord& intake, const MailClock& clock, const LetterVisitor& visit);

// The letters of the intake one after another, as mail.txt holds them.
void writeIntakeLetters(const IntakeRecord& intake, const MailClock& clock, std::ostream& out);

// Writes one letter per student of the intake into mail.txt (in directory), reading the clock
// afresh for each letter. The file is replaced only once every letter was written (see OutputFile
// for symbolic links, owners, streams and folders that take no new file). Reports a failure on
// console in the fixed words.
MailOutcome writeResultMails(
    const IntakeRecord& intake, std::ostream& console, const std::string& directory = ".",
    const MailClock& clock = [] { return std::time(nullptr); });

// The same letters, in the same manner, into the file that path names (a job's --output).
MailOutcome writeResultMailFile(const IntakeRecord& intake, const std::string& path,
                                std::ostream& console, const MailClock& clock);

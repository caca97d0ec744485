// The intakes as the source holds them, before the tree cuts them: how its Intake column compares
// them, for the jobs that find an intake as the office spells it, and the data check's problems of
// the intakes.
#pragma once

#include <map>
#include <string>

#include "store/data_problem.h"
#include "store/tables/source_tables.h"

// How the source holds its intakes, before the tree cuts them: what the jobs need to find an
// intake as the office spells it.
struct IntakeSpellings {
  bool ignoresCase = false;            // the Intake column compares without regard to case
  bool ignoresTrailingBlanks = false;  // ... or without its trailing blanks
  // The stored intakes longer than an intake code keeps, each with the student ID of its first
  // row: two of them may keep the same 15 characters, and that student tells their intakes apart.
  std::map<std::string, std::string> longTexts;
};

IntakeSpellings intakeSpellingsOf(const SourceTables& tables);

// The text as the source's Intake column compares it: two intakes are one when these are equal.
std::string comparedIntake(const std::string& text, const IntakeSpellings& spellings);

// The problems of the intakes: those the prompt cannot take, those spelt more than one way, and
// those longer than an intake code keeps.
void checkIntakes(const SourceTable& student, DataCheck& check);

// The intake a job names, found as the source compares its intakes: without regard to case where
// the source does (Access, the servers, SQLite NOCASE columns), by the stored text even where the
// record keeps only its first 15 characters, and as the intake prompt would type it.
#pragma once

#include <string>

#include "store/intake_check.h"
#include "store/tree/record_tree.h"

struct JobIntake {
  const IntakeRecord* intake = nullptr;
  std::string nearest;  // when none is found: the code of an intake spelt otherwise, or ""
};

// The intake named asked: the code itself, then a code the source's comparison takes for it, the
// code a longer stored text is kept as, and the code in capitals as the prompt types it.
JobIntake findJobIntake(RecordTree tree, const std::string& asked,
                        const IntakeSpellings& spellings);

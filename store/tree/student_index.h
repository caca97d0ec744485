// The search tree over every student, keyed by the first 8 characters of the ID, and the intake
// lookup.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "store/tree/record_tree.h"

// Inserts every student, intake by intake and in list order, and returns the root; null when the
// tree holds no student. Builds exactly the tree that one-by-one insertion gives, in O(n log n).
StudentRecord* buildStudentIndex(RecordTree tree, StudentRecord* root);

// Inserts one student below root (equal keys go right) and returns the root.
StudentRecord* insertStudent(StudentRecord* root, StudentRecord* student);

// The student whose ID equals the first 8 characters of id (UTF-8) (the first one inserted among
// equals).
StudentRecord* findStudent(StudentRecord* root, const char* id);

// The first intake whose code equals code exactly, or null.
IntakeRecord* findIntake(RecordTree tree, const char* code);

// The intake prompt's room: it takes 8 characters.
constexpr std::size_t kIntakePromptChars = 8;

// A key as the intake prompt stores it: a to z as capitals, every other key as typed.
int intakeKeyAsTyped(int key);

// The text as the intake prompt holds it once typed key by key: a to z as capitals. findIntake
// finds an intake from the prompt only when its code is this text of itself.
std::string intakeAsTyped(std::string_view code);

// The code the tree keeps of a stored intake: its first 15 characters.
std::string intakeCodeOf(const std::string& stored);

// The search tree over every student, keyed by the first 8 characters of the ID, and the intake
// lookup.
#pragma once

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

// The student ID prompt and the sub menu of the student found.
#pragma once

#include <ostream>

#include "console/console_interface.h"
#include "store/tree/record_tree.h"

void printSubMenu(std::ostream& out);

// Returns when the operator presses ESC at the ID prompt or at the sub menu.
void searchStudent(StudentRecord* indexRoot, Console& console);

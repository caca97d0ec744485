// The start-up banner's main menu and the loop that runs it.
#pragma once

#include <ostream>

#include "console/console_interface.h"
#include "store/tree/record_tree.h"

void printMainMenu(std::ostream& out);

// Runs the main menu until ESC, then clears the screen and prints "Program Closing ...\n".
void runMainMenu(RecordTree tree, StudentRecord* indexRoot, Console& console);

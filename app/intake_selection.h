// The intake prompt and the question that writes the result mails of the intake found.
#pragma once

#include "console/console_interface.h"
#include "store/tree/record_tree.h"

// Returns when the operator presses ESC at the intake prompt.
void selectIntakeForMails(RecordTree tree, Console& console);

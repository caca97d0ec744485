// Placeholder until this component lands.
// HELPERS: before replacing this file read /tmp/rules.md (build folder, no git, wording, tests).
#include "app/intake_selection.h"
void selectIntakeForMails(RecordTree, Console&) {}

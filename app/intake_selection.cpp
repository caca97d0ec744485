// Placeholder until this component lands.
#include "app/intake_selection.h"
void selectIntakeForMails(RecordTree, Console&) {}

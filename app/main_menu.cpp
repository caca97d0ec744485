// Placeholder until this component lands.
#include "app/main_menu.h"
void printMainMenu(std::ostream&) {}
void runMainMenu(RecordTree, StudentRecord*, Console&) {}

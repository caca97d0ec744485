// Placeholder until this component lands.
#include "app/student_search.h"
void printSubMenu(std::ostream&) {}
void searchStudent(StudentRecord*, Console&) {}

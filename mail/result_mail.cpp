// Placeholder until this component lands.
#include "mail/result_mail.h"
std::string formatLetterDate(std::time_t) { return {}; }
void writeResultLetter(const StudentRecord&, const std::string&, std::ostream&) {}
MailOutcome writeResultMails(const IntakeRecord&, std::ostream&, const std::string&, const MailClock&) { return MailOutcome::kCannotOpen; }

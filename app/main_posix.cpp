// Entry point on a POSIX terminal: the command line, then the program on the terminal console.
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "app/command_line.h"
#include "app/program_entry.h"
#include "console/console_posix.h"

int main(int argc, char** argv) {
  // Past a file size limit a write then fails with EFBIG, which the mail writer reports, instead
  // of the signal ending the program without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  const CommandLine line = parseCommandLine(argc, argv);
  if (line.action != CommandLine::Action::kRun) {
    return runCommandLine(line);
  }
  // No terminal type is plain mode, as an unset TERM is.
  TerminalConsole console(STDIN_FILENO, STDOUT_FILENO, line.plain ? nullptr : std::getenv("TERM"));
  return runProgram(console, line);
}

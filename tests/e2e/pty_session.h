// Runs the real program in a pseudo-terminal, or on pipes, in a scratch folder holding a fixture
// as Database.mdb; types keys, waits for text, and compares transcripts with golden files.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace e2e {

// Every wait of a run is bounded by this unless the case says otherwise.
constexpr std::chrono::milliseconds kDefaultTimeout{10000};

// Keys as a terminal sends them.
namespace keys {
constexpr const char* kEscape = "\x1b";
constexpr const char* kEnter = "\r";
constexpr const char* kBackspace = "\x7f";
constexpr const char* kUp = "\x1b[A";
constexpr const char* kDown = "\x1b[B";
constexpr const char* kRight = "\x1b[C";
constexpr const char* kLeft = "\x1b[D";
constexpr const char* kF1 = "\x1bOP";
constexpr const char* kCtrlC = "\x03";
constexpr const char* kCtrlS = "\x13";  // stops the terminal's output
constexpr const char* kCtrlUp = "\x1b[1;5A";
constexpr const char* kEAcute = "\xc3\xa9";  // é in UTF-8
}  // namespace keys

// A fixture of the project's own schema, by file name.
std::string fixturePath(const std::string& name);
// A fixture that stays beside the checkout; empty when it is not there.
std::string sharedFixturePath(const std::string& name);

struct ExitStatus {
  bool exited = false;  // false: killed by a signal (or not ended yet)
  int code = -1;        // the exit status when exited
  int signal = 0;       // the signal when killed
  std::string describe() const;
};

struct RunOptions {
  std::string fixture;  // copied in as databaseName; empty: no database at all
  std::string databaseName = "Database.mdb";  // relative to the scratch folder
  std::vector<std::string> arguments;
  bool inputFromPipe = false;           // standard input is a pipe while the output is the terminal
  bool noColor = false;                 // NO_COLOR=1 in the program's environment
  std::string term = "xterm-256color";  // TERM in the program's environment; empty: unset
  std::vector<std::string> environment;  // further NAME=value settings
  long fileSizeLimit = -1;               // RLIMIT_FSIZE in bytes; -1: unlimited
  // An interactive shell with job control instead of the program, which the case starts by typing
  // its path (TAVRINEL_BINARY): Ctrl-Z and fg then work as they do for a user.
  bool inShell = false;
};

// The program on a pseudo-terminal. Output is collected as it comes; waits look at the transcript
// with its escape sequences written as named markers. A case for another screen reads:
//
//   PtySession session(options);                      // options.fixture = fixturePath("demo.mdb")
//   ASSERT_TRUE(session.waitFor("Please Enter Your Choice: "));
//   session.send("1");
//   ASSERT_TRUE(session.waitFor("Student ID: "));     // whatever the screen prints
//   session.send(std::string("st230401") + keys::kEnter);
//   ...
//   session.send(keys::kEscape);
//   ASSERT_TRUE(session.waitForExit());
//   EXPECT_TRUE(session.terminalRestored());
//   EXPECT_TRUE(matchesGolden("21-student-search", session.transcript()));
//   EXPECT_EQ(session.folder().readFile("mail.txt"), ...);
class PtySession {
 public:
  explicit PtySession(const RunOptions& options);
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Types bytes on the terminal (or into standard input's pipe).
  void send(const std::string& bytes);
  // Types printable keys one at a time, each once the screen has echoed the one before, so that a
  // failure names the first key the screen did not show.
  ::testing::AssertionResult typeEchoed(const std::string& printableKeys,
                                        std::chrono::milliseconds timeout = kDefaultTimeout);
  // Ends standard input: closes its pipe (with inputFromPipe only).
  void closeInput();
  // Closes the terminal, as a terminal window that is closed does: the program gets SIGHUP.
  void hangUp();
  // Sends the program a signal, as kill(1) does.
  void sendSignal(int signo);

  // Waits until text shows in the transcript after the end of the previous match.
  ::testing::AssertionResult waitFor(const std::string& text,
                                     std::chrono::milliseconds timeout = kDefaultTimeout);
  // Waits for the program to end and collects the rest of its output; kills it on time-out.
  ::testing::AssertionResult waitForExit(std::chrono::milliseconds timeout = kDefaultTimeout);
  // The terminal's mode after the program ended equals the mode it was started in.
  ::testing::AssertionResult terminalRestored() const;

  const ExitStatus& exitStatus() const { return status_; }
  std::string transcript() const;
  const std::string& rawOutput() const { return raw_; }
  const ScratchFolder& folder() const { return folder_; }
  // The escaped transcript and the last keys sent, for failure messages.
  std::string report() const;

 private:
  bool pump(std::chrono::milliseconds wait);

  ScratchFolder folder_;
  pid_t pid_ = -1;
  int master_ = -1;
  int inputPipe_ = -1;
  bool outputClosed_ = false;
  std::string raw_;
  std::size_t matchEnd_ = 0;
  std::vector<std::string> sent_;
  termios before_ = {};
  termios after_ = {};
  bool haveAfter_ = false;
  ExitStatus status_;
};

// The program on pipes: input given whole, standard output and error collected apart.
struct PipeRun {
  std::string out;
  std::string err;
  ExitStatus status;
  bool timedOut = false;
  std::set<std::string> files;  // what the scratch folder held at the end, folders included
};
PipeRun runOnPipes(const RunOptions& options, const std::string& input,
                   std::chrono::milliseconds timeout = kDefaultTimeout);

// Escape sequences as named markers (<CLS>, <COLOR>, <RESET>), any other as <ESC...>, CR LF
// as LF, the loading line's progress rewrites left out (they depend on timing), other control and
// stray bytes as <0xNN>.
std::string normaliseTranscript(const std::string& raw);

// Compares with tests/golden/e2e/<name>.txt byte for byte. When TAVRINEL_GOLDEN_ACTUAL_DIR is set,
// the actual text is also written there as <name>.txt (scripts/update-goldens.sh uses it).
::testing::AssertionResult matchesGolden(const std::string& name, const std::string& actual);

}  // namespace e2e

#!/usr/bin/env bash
# End-to-end in a terminal emulator (tmux): the user's terminal after every way out, the screen
# after Ctrl-Z and fg, a script's output kept on the user's screen, how the program ends for its
# caller, and keys shown as they are stored.
#
# usage: terminal_emulator_test.sh PROGRAM FIXTURES_DIR
#
# Test plan
# 50. After each way out (ESC, Ctrl-C, SIGTERM, SIGQUIT, SIGHUP, a fatal error, the end of piped
#     input, Ctrl-Z) the shell's next line has the user's own attributes, and the caller sees how
#     the program ended (a signal ends it by that signal).
# 51. Ctrl-Z at the sub menu below a listing, then fg: the screen comes back at once, no key.
# 52. A piped session keeps its output on the user's screen.
# 53. A hang-up (the window closed) at the main menu, the ID prompt and the y/n question ends
#     the program as SIGHUP does.
# 54. Backspace shows as ^H; Alt+1 at the main menu is one invalid key press (0, 120).
# 55. An accented ID and an eight-character accented intake; a name holding an escape sequence
#     is shown harmless.
# 56. The chart and then README.md's first run, keyed as the README says, in a window of 80x24:
#     the listing (38 rows) and the chart (33 rows) are taller than the window, and the student's
#     name is in the pane's history after each; the first run ends with the mails written.
set -u

program=$1
fixtures=$2
for tool in tmux sqlite3 perl; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed; the terminal-emulator checks need it"
    exit 77
  fi
done

work=$(mktemp -d /tmp/tavrinel-tmux-XXXXXX)
socket=$work/tmux-0.sock
failures=0
trap 'tmux -S "$socket" kill-server 2>/dev/null; sleep 0.2; rm -rf "$work"' EXIT
# What a UTF-8 terminal shows for a control character or a byte that is no UTF-8.
replaced=$(printf '\xef\xbf\xbd')

tm() { tmux -u -S "$socket" "$@"; }

# Runs the program as its caller would, writing how it ended (perl's $?: the signal in the low
# seven bits, the exit status above them) to the file status, and printing it as WAIT:n.
cat >"$work/run" <<'PERL'
#!/usr/bin/perl
use POSIX ":sys_wait_h";
# Job control as in a user's shell, whatever the test runner ignores.
$SIG{$_} = 'DEFAULT' for qw(TSTP TTIN TTOU INT QUIT TERM HUP);
my $pid = fork();
if ($pid == 0) { exec @ARGV; exit 127; }
# Stops only once the program has stopped, as a shell running the program itself would see it:
# by then the program has given the terminal back.
$SIG{$_} = 'IGNORE' for qw(INT QUIT TERM HUP TSTP);
open(my $p, '>', 'pid'); print $p $pid; close $p;
for (;;) {
  waitpid($pid, WUNTRACED);
  last unless WIFSTOPPED(${^CHILD_ERROR_NATIVE});
  kill 'STOP', $$;
}
my $status = $?;
open(my $f, '>', 'status'); print $f $status; close $f;
print "WAIT:$status\n";
PERL
chmod +x "$work/run"

cp "$fixtures/demo.mdb" "$work/Database.mdb"
sqlite3 "$work/accented.db" <"$fixtures/demo.sql"
sqlite3 "$work/accented.db" <<'SQL'
INSERT INTO Student VALUES
('josé0001','Zoë Eins','1 Rue Haute','Lyon','ARA','69001','ÉTÉ2024X'),
('josé0002','Zoë Zwei','2 Rue Basse','Lyon','ARA','69002','ÉTÉ2024X'),
('evil0001','Evil' || char(27) || ']0;owned' || char(7) || char(27) || '[2J','3 Rue','Lyon','ARA','69003','ÉTÉ2024X');
INSERT INTO StudentResult VALUES ('josé0002','CS101',1,77), ('evil0001','CS101',1,50);
SQL

fail() {
  echo "FAIL: $*"
  echo "--- screen:"
  tm capture-pane -p -J 2>/dev/null | grep -v '^$' | tail -25
  failures=$((failures + 1))
}

sessions=0
# start_shell [COLUMNS ROWS]: 120x50 unless told.
start_shell() {
  tm kill-server 2>/dev/null
  # A server of its own for each case: a new one on the old socket may find it still closing.
  sessions=$((sessions + 1))
  socket=$work/tmux-$sessions.sock
  rm -f "$work/status" "$work/pid"
  tm -f /dev/null new-session -d -x "${1:-120}" -y "${2:-50}" \
    "cd '$work' && env -i HOME='$work' PATH='$PATH' TERM=tmux-256color LANG=C.UTF-8 \
     PS1='PROMPT\$ ' bash --norc --noprofile"
  wait_for 'PROMPT$' || return 1
}

# Waits until text shows on the screen (joined lines), ten seconds at most.
wait_for() {
  for _ in $(seq 200); do
    if tm capture-pane -p -J | grep -qF -- "$1"; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

wait_for_file() {
  for _ in $(seq 200); do
    [ -s "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

# The shell's last prompt line, captured alone with its attributes: plain unless the program
# left colours behind.
prompt_is_plain() {
  local row
  row=$(tm capture-pane -p | grep -n 'PROMPT\$' | tail -1 | cut -d: -f1)
  [ -n "$row" ] || return 1
  [ "$(tm capture-pane -p -e -S $((row - 1)) -E $((row - 1)))" = 'PROMPT$' ]
}

type_command() {
  tm send-keys -l "$1"
  tm send-keys Enter
}

main_menu='Please Enter Your Choice:'

# ESC, and time for the program to act on it: the screen it leaves may show the same prompt as
# the one it goes to.
escape() {
  tm send-keys Escape
  sleep 0.3
}

# 50
way_out() {
  local name=$1 expected=$2
  start_shell || { fail "$name: no shell"; return; }
  case $name in
    fatal) type_command "./run '$program' missing.mdb" ;;
    end-of-input) type_command "printf x | ./run '$program'" ;;
    *) type_command "./run '$program'" ;;
  esac
  if [ "$name" != fatal ] && [ "$name" != end-of-input ] && ! wait_for "$main_menu"; then
    fail "$name: no main menu"
    return
  fi
  case $name in
    escape) escape ;;
    ctrl-c) tm send-keys C-c ;;
    sigterm | sigquit | sighup) kill -"${name#sig}" "$(cat "$work/pid")" ;;
    ctrl-z) sleep 0.3 && tm send-keys C-z ;;
  esac
  if [ "$name" = ctrl-z ]; then
    wait_for 'Stopped' || { fail "ctrl-z: not stopped"; return; }
  else
    wait_for 'WAIT:' || { fail "$name: did not end"; return; }
    local status
    status=$(cat "$work/status")
    [ "$status" = "$expected" ] || fail "$name: ended with wait status $status, not $expected"
  fi
  sleep 0.2
  prompt_is_plain || fail "$name: the shell's next line is not in the user's attributes"
  if [ "$name" = ctrl-z ]; then
    type_command fg
    wait_for "$main_menu" || fail "ctrl-z: no main menu after fg"
    escape
    wait_for 'WAIT:0' || fail "ctrl-z: ESC after fg did not close"
    sleep 0.2
    prompt_is_plain || fail "ctrl-z: after fg and ESC, the next line is not plain"
  fi
}
# Wait statuses: 0 closed; a signal in the low bits; exit status 1 is 256.
way_out escape 0
way_out ctrl-c 2
way_out sigterm 15
way_out sigquit 3
way_out sighup 1
way_out fatal 256
way_out end-of-input 0
way_out ctrl-z -

# 51
start_shell && type_command "./run '$program'" && wait_for "$main_menu" &&
  tm send-keys -l 1st240401 && tm send-keys Enter && wait_for 'found' && tm send-keys 1 &&
  wait_for 'CS201' || fail "redraw: no listing"
# Time to finish drawing the sub menu and wait for a key, as a person takes.
sleep 0.3
tm send-keys C-z
wait_for 'Stopped' || fail "redraw: not stopped"
sleep 0.2
tm clear-history
type_command fg
# No key is sent: the listing and the sub menu below it must come back by themselves.
if wait_for 'CS201'; then
  wait_for 'Sub Menu:' || fail "redraw: the sub menu did not come back"
else
  fail "redraw: the listing did not come back after fg"
fi
escape
wait_for "$main_menu" && escape
wait_for 'WAIT:0' || fail "redraw: ESC ESC did not close"

# 52
# The marker is computed, so that the typed command line does not show it already.
start_shell && type_command "printf '1st240401\\r1\\033\\033' | '$program'; echo END-\$((6*7))" &&
  wait_for END-42 || fail "piped: did not end"
for text in 'Student ID st240401 found' 'CS201' 'Program Closing ...'; do
  tm capture-pane -p -J -S - | grep -qF "$text" || fail "piped: '$text' is not on the user's screen"
done

# 53
hang_up_at() {
  local name=$1
  shift
  start_shell || return
  tm new-window -d -n victim "cd '$work' && ./run '$program'"
  sleep 0.5
  for keys in "$@"; do
    tm send-keys -t victim -l "$keys"
    sleep 0.2
  done
  rm -f "$work/status"
  tm kill-window -t victim
  wait_for_file "$work/status" || { fail "hang-up at $name: the program did not end"; return; }
  [ "$(cat "$work/status")" = 1 ] || fail "hang-up at $name: wait status $(cat "$work/status"), not 1"
}
hang_up_at 'main menu'
hang_up_at 'ID prompt' 1 st24
hang_up_at 'y/n question' 2 "APR23IT$(printf '\r')"

# 54
start_shell && type_command "./run '$program'" && wait_for "$main_menu" || fail "keys: no menu"
tm send-keys M-1
wait_for '< Invalid Input: >' || fail "Alt+1: not one invalid key press"
tm capture-pane -p -J | grep -qF 'Program Closing' && fail "Alt+1 closed the program"
tm send-keys 1
wait_for 'Student ID to be search:' || fail "keys: no ID prompt"
tm send-keys -l st24040
tm send-keys BSpace
tm send-keys -l 1
tm send-keys Enter
wait_for 'search: st24040^H1' || fail "Backspace: the line does not show it as ^H"
wait_for "Student ID st24040^H not found" || fail "Backspace: not stored as typed, or shown in another form"
escape
wait_for "$main_menu" && escape
wait_for 'WAIT:0' || fail "keys: did not close"

# 55
start_shell && type_command "./run '$program' accented.db" && wait_for "$main_menu" ||
  fail "accented: no menu"
tm send-keys 1
tm send-keys -l 'josé0002'
tm send-keys Enter
wait_for 'Student ID josé0002 found' || fail "accented ID: not found as typed"
tm send-keys 1
wait_for 'Zoë Zwei' || fail "accented ID: another student's listing"
escape
wait_for "$main_menu" && tm send-keys 1
tm send-keys -l evil0001
tm send-keys Enter
wait_for 'found' && tm send-keys 1
wait_for "Evil$replaced]0;owned$replaced$replaced[2J" || fail "escape sequence in a name: not shown as text"
escape
wait_for "$main_menu" && tm send-keys 2
wait_for 'Intake for mails generation:' && tm send-keys -l 'ÉTÉ2024X'
# The eighth character ends the entry: no Enter.
wait_for 'Intake ÉTÉ2024X found' || fail "accented intake: eight characters did not end the entry"
tm send-keys n Enter
wait_for 'Intake for mails generation:' && escape
wait_for "$main_menu" && escape
wait_for 'WAIT:0' || fail "accented: did not close"

# 56
# Text anywhere in the pane, the lines scrolled off the top of the window included.
in_history() {
  tm capture-pane -p -J -S - | grep -qF -- "$1"
}
# Waits until the screen has stopped changing for a moment, five seconds at most.
settle() {
  local previous="" current
  for _ in $(seq 50); do
    sleep 0.1
    current=$(tm capture-pane -p -J)
    [ "$current" = "$previous" ] && return 0
    previous=$current
  done
}
start_shell 80 24 && type_command "./run '$program'" && wait_for "$main_menu" || fail "80x24: no menu"
tm send-keys 1 && tm send-keys -l st240401 && tm send-keys Enter
wait_for 'Sub Menu:' && tm send-keys 2
wait_for 'Press any key to continue' || fail "80x24: no chart"
in_history 'Perforamnace Chart for Maya Patel' ||
  fail "80x24: the name is not in the history after the chart"
tm send-keys x
wait_for 'Sub Menu:' && escape
wait_for "$main_menu" || fail "80x24: the chart did not lead back to the main menu"
# README.md's first run, keyed as the README says (the Windows walk reads README.txt the same way).
mapfile -t readme_steps < <(python3 "$(dirname "$0")/first_run_keys.py" \
  "$(dirname "$0")/../../README.md")
[ ${#readme_steps[@]} -gt 10 ] || fail "80x24: README.md's first run gave no keys"
for keys in "${readme_steps[@]}"; do
  # shellcheck disable=SC2086 # one tmux key name per word
  tm send-keys $keys
  settle
done
in_history ': Maya Patel' || fail "80x24: the name is not in the history after the listing"
in_history 'Total Marks : 612' || fail "80x24: README.md's forecast is not the one it promises"
in_history 'Mails written to mail.txt' || fail "80x24: README.md's first run wrote no mails"
wait_for 'WAIT:0' || fail "80x24: README.md's first run did not close the program"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all terminal-emulator checks passed"

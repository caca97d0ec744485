#!/usr/bin/env bash
# Walks the READMEs' first run with the Windows program under Wine and with the Linux program,
# each in a tmux window of the same size, keys sent by tmux (ESC and function keys among them), as
# README.md and README.txt key it (read from the files themselves): the screens after every step
# and the mail.txt they write must be the same, and hold letters. Runs on a SQLite
# copy of the sample, again in a window of 80x24 (where the listing and the chart are taller than
# the window, and the student's name must stay in the pane's history), and, where the MDBTools
# ODBC driver is installed, on the sample Access file
# read through it under the names of Microsoft's Access drivers, three ways: a 64-bit driver; a
# driver that loads only in a 32-bit process (the 32-bit reader tavrinel-access32.exe, beside
# the program, takes over); and no driver at all (one line, and nothing waits for a key in a
# console that a shell shares).
#
# usage: scripts/windows-e2e.sh WINDOWS_EXE LINUX_BINARY
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows_exe=$(realpath "$1")
linux_binary=$(realpath "$2")
build=$(dirname "$windows_exe")
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrinel-windows-e2e.XXXXXX")
sessions=()
cleanup() {
  for session in "${sessions[@]}"; do tmux kill-session -t "$session" 2>/dev/null || true; done
  rm -rf "$work"
  WINEPREFIX="$build/wine-prefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# Microsoft's drivers are not here: the MDBTools driver answers to their names in ODBC
# configurations of the test's own, which Wine's odbc32 passes on to unixODBC. Under Wine both
# bitnesses read the same odbcinst.ini: Driver is the 32-bit side's library, Driver64 the 64-bit
# side's, and a library that is not there is a driver that does not load on that side. Each
# side's driver is taken from its own multiarch folder (a glob would find both).
mdbtools64=/usr/lib/x86_64-linux-gnu/odbc/libmdbodbc.so
mdbtools32=/usr/lib/i386-linux-gnu/odbc/libmdbodbc.so
psqlodbc64=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so
ace="Microsoft Access Driver (*.mdb, *.accdb)"
jet="Microsoft Access Driver (*.mdb)"
mkdir -p "$work/odbc64" "$work/odbc32" "$work/odbc-none"
cat >"$work/odbc64/odbcinst.ini" <<INI
[$ace]
Description = the MDBTools driver, as 64-bit Office's or the 64-bit Engine's
Driver = $mdbtools32
Driver64 = $mdbtools64
INI
cat >"$work/odbc32/odbcinst.ini" <<INI
[$ace]
Description = listed, as where Office was removed, but loads on neither side
Driver = $work/missing/libaceodbc.so
Driver64 = $work/missing/libaceodbc.so

[$jet]
Description = the MDBTools driver, as the 32-bit Jet driver of every Windows
Driver = $mdbtools32
Driver64 = $work/missing/libjetodbc.so
INI
: >"$work/odbc-none/odbcinst.ini"
for folder in odbc64 odbc32 odbc-none; do : >"$work/$folder/odbc.ini"; done

# The screen once it has changed from what it was before the keys (at most 3 s: some keys change
# nothing) and then stopped changing.
settled_screen() {
  local session=$1 before=$2 previous="" current
  for _ in $(seq 15); do
    current=$(tmux capture-pane -p -t "$session")
    [ "$current" != "$before" ] && break
    sleep 0.2
  done
  for _ in $(seq 100); do
    sleep 0.2
    current=$(tmux capture-pane -p -t "$session")
    # A load still running is not a settled screen (the first 32-bit start in a prefix is slow).
    if [ "$current" = "$previous" ] && [ "$(grep -v '^$' <<<"$current" | tail -n 1)" != "Loading ..." ]; then
      printf '%s\n' "$current"
      return
    fi
    previous=$current
  done
  printf '%s\n' "$current"
}

# Wine's server up first, and its 32-bit side started once, so that the first screens do not
# wait for them.
"$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" --version >/dev/null
"$root/cmake/wine-run.sh" "$build/wine-prefix" "$build/tavrinel-access32.exe" 2>/dev/null || true

failures=0
# report VERDICT TEXT: one check's line, "ok   TEXT", "FAIL TEXT" or "skip TEXT"; a FAIL counts.
report() {
  printf '%-4s %s\n' "$1" "$2"
  if [ "$1" = FAIL ]; then
    failures=$((failures + 1))
  fi
}

# The Windows program under Wine with the ODBC configuration of $work/ODBC, in the folder.
windows_command() {
  local folder=$1 odbc=$2
  printf '%s' "cd '$folder' && ODBCSYSINI='$work/$odbc' ODBCINI='$work/$odbc/odbc.ini' \
     '$root/cmake/wine-run.sh' '$build/wine-prefix' '$windows_exe'"
}

# The first run as each README keys it, read from the README itself (tests/e2e/first_run_keys.py):
# the steps of README.txt, which the Windows zip and installer carry, and of README.md.
mapfile -t readme_txt_steps < <(python3 "$root/tests/e2e/first_run_keys.py" \
  "$root/packaging/windows/README-Windows.txt")
mapfile -t readme_md_steps < <(python3 "$root/tests/e2e/first_run_keys.py" "$root/README.md")
# Keys beyond the README first (a function key, Alt, Backspace, ESC at the ID prompt, the chart),
# then README.md's first run in full.
full_steps=(
  ""                          # the main menu
  "F1"                        # a function key at the main menu
  "M-1"                       # Alt+1: one key press, not ESC then 1
  "1"                         # student search
  "st2 BSpace Escape"         # Backspace echoed, ESC back to the main menu
  "1"                         # student search
  "st240401 Enter"            # found: the sub menu
  "2"                         # her chart
  "history:Chart for Maya Patel"
  "x"                         # back to the sub menu
  "Escape"                    # back to the main menu
  "${readme_md_steps[@]}"
  "history: Maya Patel"       # her name, scrolled off a small window, still in its history
)

# walk NAME ODBC [COLUMNSxROWS] STEPS...: both programs in their folders under $work/NAME, the
# same keys, the same screens; 100x40 unless told.
walk() {
  local name=$1 odbc=$2 columns=100 rows=40 step=0
  shift 2
  if [[ "${1:-}" =~ ^([0-9]+)x([0-9]+)$ ]]; then
    columns=${BASH_REMATCH[1]} rows=${BASH_REMATCH[2]}
    shift
  fi
  local steps=("$@")
  local linux_session="tavrinel-e2e-linux-$$-$name" windows_session="tavrinel-e2e-windows-$$-$name"
  local linux_screen="" windows_screen=""
  sessions+=("$linux_session" "$windows_session")
  tmux new-session -d -s "$linux_session" -x "$columns" -y "$rows" \
    "cd '$work/$name/linux' && '$linux_binary'; echo \"exit status \$?\"; sleep 600"
  tmux new-session -d -s "$windows_session" -x "$columns" -y "$rows" \
    "$(windows_command "$work/$name/windows" "$odbc"); echo \"exit status \$?\"; sleep 600"
  # Each step: the keys (tmux key names), then the screens compared.
  for keys in "${steps[@]}"; do
    step=$((step + 1))
    if [ "${keys#history:}" != "$keys" ]; then
      for session in "$linux_session" "$windows_session"; do
        if ! tmux capture-pane -p -J -S - -t "$session" | grep -qF -- "${keys#history:}"; then
          report FAIL "$name, step $step: '${keys#history:}' is not in $session's history"
          return
        fi
      done
      continue
    fi
    if [ -n "$keys" ]; then
      # shellcheck disable=SC2086 # one tmux key name per word
      tmux send-keys -t "$linux_session" $keys
      # shellcheck disable=SC2086
      tmux send-keys -t "$windows_session" $keys
    fi
    linux_screen=$(settled_screen "$linux_session" "$linux_screen")
    windows_screen=$(settled_screen "$windows_session" "$windows_screen")
    if [ "$linux_screen" != "$windows_screen" ]; then
      report FAIL "$name, step $step ($keys): the screens differ (Linux <, Windows >)"
      diff <(printf '%s\n' "$linux_screen") <(printf '%s\n' "$windows_screen") || true
      return
    fi
  done
  if ! grep -q 'exit status 0' <<<"$windows_screen"; then
    report FAIL "$name: the Windows program did not end with status 0"
  elif [ ! -s "$work/$name/windows/mail.txt" ]; then
    report FAIL "$name: the walk ended without letters in mail.txt"
  elif ! cmp -s "$work/$name/linux/mail.txt" "$work/$name/windows/mail.txt"; then
    report FAIL "$name: mail.txt differs"
  else
    report ok "$name: $step steps, the same screens, mail.txt the same ($(wc -c <"$work/$name/windows/mail.txt") bytes)"
  fi
}

# The folders of a walk, each with its copy of the database.
prepare() {
  mkdir -p "$work/$1/linux" "$work/$1/windows"
  cp "$2" "$work/$1/linux/Database.mdb"
  cp "$2" "$work/$1/windows/Database.mdb"
}

# no_driver NAME ODBC EXPECTED: the Windows program alone in a console that the shell shares (as
# in cmd): the one line that says what to install, status 1, and no wait for a key.
no_driver() {
  local name=$1 odbc=$2 expected=$3 session="tavrinel-e2e-windows-$$-$1" screen
  sessions+=("$session")
  tmux new-session -d -s "$session" -x 200 -y 20 \
    "$(windows_command "$work/$name/windows" "$odbc"); echo \"exit status \$?\"; sleep 600"
  screen=$(settled_screen "$session" "")
  if ! grep -qF "tavrinel: error: Cannot read Database.mdb: $expected" <<<"$screen"; then
    report FAIL "$name: not the line that says what to install"
    printf '%s\n' "$screen"
  elif ! grep -q 'exit status 1' <<<"$screen" || grep -q 'Press any key' <<<"$screen"; then
    report FAIL "$name: the program did not end with status 1 at once"
    printf '%s\n' "$screen"
  else
    report ok "$name: one line, status 1, no wait"
  fi
}

sqlite3 "$work/demo.sqlite" <"$root/tests/fixtures/demo.sql"
prepare sqlite "$work/demo.sqlite"
walk sqlite odbc-none "${full_steps[@]}"
prepare sqlite-80x24 "$work/demo.sqlite"
walk sqlite-80x24 odbc-none 80x24 "${full_steps[@]}"

# Console words: the jobs' lines, --check's report and fatal lines reach Wine's console as the
# characters they are, whatever its code page; redirected, they are the UTF-8 bytes of Linux's.
# The names come in through the environment, which Wine takes from Linux as UTF-8.
words=$work/words
mkdir -p "$words/Büro Ergebnisse"
{
  cat "$root/tests/fixtures/demo.sql"
  echo "UPDATE Student SET Name = 'Zoë Müller', City = '' WHERE StudentID = 'st240401';"
  echo "UPDATE Student SET Name = 'Trần Minh Đức', City = '' WHERE StudentID = 'st230401';"
} | sqlite3 "$words/Büro Ergebnisse/Prüfung.db"
windows_exe_path=$("$root/cmake/wine-run.sh" "$build/wine-prefix" winepath -w "$windows_exe" | tr -d '\r')
printf '@chcp %%1 >nul\r\n@"%s" "%%DB%%" --check\r\n@"%s" "%%MISSING%%"\r\n@"%s" "%%DB%%" --letters APR23IT --output "%%OUT%%"\r\n' \
  "$windows_exe_path" "$windows_exe_path" "$windows_exe_path" >"$words/words.bat"
console_words=(
  "    'st230401' Trần Minh Đức: no city"
  "    'st240401' Zoë Müller: no city"
  'tavrinel: check of Büro Ergebnisse\Prüfung.db: 2 problems of 1 kind'
  'tavrinel: error: Cannot read Ergebnisse-Müller.mdb: file not found'
  'tavrinel: 7 letters of intake APR23IT written to Büro Ergebnisse\Briefe Zoë.txt'
)
for code_page in 850 437; do
  session="tavrinel-e2e-words-$$-$code_page"
  sessions+=("$session")
  tmux new-session -d -s "$session" -x 120 -y 20 "cd '$words' && LANG=C.UTF-8 \
    DB='Büro Ergebnisse\\Prüfung.db' MISSING='Ergebnisse-Müller.mdb' OUT='Büro Ergebnisse\\Briefe Zoë.txt' \
    '$root/cmake/wine-run.sh' '$build/wine-prefix' cmd /c words.bat $code_page; echo words done; sleep 600"
  for _ in $(seq 150); do
    screen=$(tmux capture-pane -p -t "$session")
    grep -q '^words done' <<<"$screen" && break
    sleep 0.2
  done
  missing=""
  for line in "${console_words[@]}"; do
    grep -qxF -- "$line" <<<"$screen" || missing+="$line"$'\n'
  done
  if [ -z "$missing" ]; then
    report ok "words $code_page: ${#console_words[@]} lines of names and folders shown as written"
  else
    report FAIL "words $code_page: not shown as written:"
    printf '%s' "$missing"
    printf '%s\n' "$screen"
  fi
done
redirected=$(cd "$words" && "$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" \
  'Büro Ergebnisse\Prüfung.db' --check 2>/dev/null | tr -d '\r' | od -An -tx1) || true
linux_report=$(cd "$words" && "$linux_binary" 'Büro Ergebnisse/Prüfung.db' --check 2>/dev/null |
  od -An -tx1) || true
if [ -n "$redirected" ] && [ "$redirected" = "$linux_report" ]; then
  report ok "words redirected: --check's report is Linux's UTF-8 (its lines ending in CR LF)"
else
  report FAIL "words redirected: --check's report differs from Linux's"
fi

# A lone ESC through a pipe that stays open acts at once, as on Linux: the end of the bytes at
# hand is the end of a key's sequence. A program that waits for each screen is never left hanging.
prepare pipe "$work/demo.sqlite"
escape_started=$SECONDS
escape_closed=$( (printf '\033'; sleep 6) | (cd "$work/pipe/windows" &&
  "$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe") | tr -d '\r' |
  while IFS= read -r line; do
    case $line in *"Program Closing"*) echo $((SECONDS - escape_started)) ;; esac
  done)
if [ -n "$escape_closed" ] && [ "$escape_closed" -le 3 ]; then
  report ok "pipe: a lone ESC closed the program after ${escape_closed} s, the pipe still open"
else
  report FAIL "pipe: a lone ESC through an open pipe did not act at once ('$escape_closed' s)"
fi

if [ -f "$mdbtools64" ] && [ -f "$mdbtools32" ]; then
  prepare access64 "$root/sample/Database.mdb"
  walk access64 odbc64 "" "${readme_txt_steps[@]}"
  # A connection, read by the program started again as its ODBC reader (the connection string on
  # its standard input): the letters of the Linux program, byte for byte.
  connect_letters=$(cd "$work/access64/windows" && ODBCSYSINI="$work/odbc64" \
    "$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" \
    --connect "Driver={$ace};DBQ=Database.mdb;PWD=secret" --letters APR24IT --output - 2>/dev/null |
    od -An -tx1) || true
  linux_letters=$(cd "$work/access64/linux" && "$linux_binary" --letters APR24IT --output - \
    2>/dev/null | od -An -tx1)
  if [ -n "$connect_letters" ] && [ "$connect_letters" = "$linux_letters" ]; then
    report ok "connect: the letters through the ODBC reader equal Linux's"
  else
    report FAIL "connect: the letters through --connect differ from Linux's"
  fi
  prepare access32 "$root/sample/Database.mdb"
  walk access32 odbc32 "" "${readme_txt_steps[@]}"
  prepare no-driver "$root/sample/Database.mdb"
  no_driver no-driver odbc-none "no Access driver loads, not even the 32-bit \"$jet\""
  # A console of its own (wine start), as after a double-click: Wine here has no display to show
  # it, so its wait for a key cannot be seen, but a console without keys must not hold it.
  own_console_status=0
  (cd "$work/no-driver/windows" && ODBCSYSINI="$work/odbc-none" timeout 60 \
    "$root/cmake/wine-run.sh" "$build/wine-prefix" start /wait /unix "$windows_exe") ||
    own_console_status=$?
  if [ "$own_console_status" -eq 1 ]; then
    report ok "own console: status 1, not held"
  else
    report FAIL "own console: status $own_console_status (1 expected; 124 is held)"
  fi
  # A 64-bit driver that loads and refuses the file (the PostgreSQL driver stands in for an ACE
  # driver that will not open an Access 97 file): a Jet file still opens in the Jet driver.
  if [ -f "$psqlodbc64" ]; then
    mkdir -p "$work/odbc-refuses"
    cat >"$work/odbc-refuses/odbcinst.ini" <<INI
[$ace]
Driver64 = $psqlodbc64

[$jet]
Driver = $mdbtools32
INI
    : >"$work/odbc-refuses/odbc.ini"
    refused=$(cd "$work/access32/windows" && printf '\033' | ODBCSYSINI="$work/odbc-refuses" \
      "$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" 2>&1 | tr -d '\r') || true
    if grep -q 'Program Closing' <<<"$refused"; then
      report ok "refused64: the Jet driver read the file the 64-bit driver refused"
    else
      report FAIL "refused64: $(tail -n 1 <<<"$refused")"
    fi
  fi
  # An ACE file, told by its first bytes whatever its name: the Jet driver is not tried.
  prepare ace "$root/sample/Database.mdb"
  printf 'Standard ACE DB' | dd of="$work/ace/windows/Database.mdb" bs=1 seek=4 conv=notrunc \
    status=none
  no_driver ace odbc32 "this Access file needs Microsoft's Access Database Engine"
else
  report skip "access: the MDBTools ODBC driver (Debian odbc-mdbtools, amd64 and i386) is not installed"
fi

# A server that takes the connection and never answers: the PostgreSQL driver's connect waits for
# ever in the reader, which sends nothing; the silence limit ends the load with one line and
# status 1, whatever Wine reports of the reader's processor time.
if [ -f "$psqlodbc64" ] && command -v python3 >/dev/null; then
  mkdir -p "$work/odbc-frozen"
  printf '[PostgreSQL Unicode]\nDriver64 = %s\n' "$psqlodbc64" >"$work/odbc-frozen/odbcinst.ini"
  : >"$work/odbc-frozen/odbc.ini"
  python3 -c 'import socket, sys, time
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
held = []
while True:
    held.append(listener.accept()[0])' >"$work/frozen-port" &
  frozen_server=$!
  for _ in $(seq 50); do [ -s "$work/frozen-port" ] && break; sleep 0.1; done
  frozen_status=0
  frozen=$(cd "$work" && ODBCSYSINI="$work/odbc-frozen" TAVRINEL_SILENCE_LIMIT=3 timeout 60 \
    "$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" --connect \
    "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$(cat "$work/frozen-port");Database=x;UID=u;PWD=secret" \
    --letters APR24IT --output - 2>&1 >/dev/null | tr -d '\r') || frozen_status=$?
  kill "$frozen_server" 2>/dev/null || true
  expected="tavrinel: error: Cannot read Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$(cat "$work/frozen-port");Database=x;UID=u;PWD=***: the server stopped answering (nothing came for 3 s)"
  if [ "$frozen_status" -eq 1 ] && [ "$frozen" = "$expected" ]; then
    report ok "frozen: one line, status 1, after the silence limit"
  else
    report FAIL "frozen: status $frozen_status (1 expected; 124 is held), said: $frozen"
  fi
else
  report skip "frozen: the PostgreSQL ODBC driver (Debian odbc-postgresql) or python3 is missing"
fi
exit $((failures > 0))

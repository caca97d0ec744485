#!/usr/bin/env bash
# Walks the README's first run with the Windows program under Wine and with the Linux program,
# each in a tmux window of the same size, keys sent by tmux (ESC and function keys among them):
# the screens after every step and the mail.txt they write must be the same. Runs on a SQLite
# copy of the sample, again in a window of 80x24 (where the listing and the chart are taller than
# the window, and the student's name must stay in the pane's history), and, where the MDBTools
# ODBC driver is installed, on the sample Access file read through it under the name of
# Microsoft's Access driver.
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

mdbtools_driver=/usr/lib/x86_64-linux-gnu/odbc/libmdbodbc.so
# Microsoft's driver is not here: the MDBTools driver answers to its name in an ODBC
# configuration of the test's own, which Wine's odbc32 passes on to unixODBC.
mkdir -p "$work/odbc"
cat >"$work/odbc/odbcinst.ini" <<INI
[Microsoft Access Driver (*.mdb, *.accdb)]
Description = the MDBTools driver under the name of Microsoft's Access driver
Driver = $mdbtools_driver
INI
: >"$work/odbc/odbc.ini"

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
    if [ "$current" = "$previous" ]; then
      printf '%s\n' "$current"
      return
    fi
    previous=$current
  done
  printf '%s\n' "$current"
}

# Wine's server up first, so that the first screen does not wait for it.
"$root/cmake/wine-run.sh" "$build/wine-prefix" "$windows_exe" --version >/dev/null

failures=0
# walk NAME [COLUMNS ROWS]: both programs in their folders under $work/NAME, the same keys, the
# same screens; 100x40 unless told.
walk() {
  local name=$1 columns=${2:-100} rows=${3:-40} step=0
  local linux_session="tavrinel-e2e-linux-$$-$name" windows_session="tavrinel-e2e-windows-$$-$name"
  local linux_screen="" windows_screen=""
  sessions+=("$linux_session" "$windows_session")
  tmux new-session -d -s "$linux_session" -x "$columns" -y "$rows" \
    "cd '$work/$name/linux' && '$linux_binary'; echo \"exit status \$?\"; sleep 600"
  tmux new-session -d -s "$windows_session" -x "$columns" -y "$rows" \
    "cd '$work/$name/windows' && ODBCSYSINI='$work/odbc' ODBCINI='$work/odbc/odbc.ini' \
     '$root/cmake/wine-run.sh' '$build/wine-prefix' '$windows_exe'; echo \"exit status \$?\"; sleep 600"
  # Each step: the keys (tmux key names), then the screens compared.
  local steps=(
    ""                          # the main menu
    "F1"                        # a function key at the main menu
    "M-1"                       # Alt+1: one key press, not ESC then 1
    "1"                         # student search
    "st2 BSpace Escape"         # Backspace echoed, ESC back to the main menu
    "1"                         # student search
    "st240401 Enter"            # found: the sub menu
    "1"                         # her results
    "history: Maya Patel"       # her name, scrolled off a small window, still in its history
    "2"                         # her chart
    "history:Chart for Maya Patel"
    "x"                         # back to the sub menu
    "3"                         # forecast
    "65 Space 70 Space 55 Space 80 Space 60 Space 75 Enter"
    "n Enter"
    "4"                         # suggestion
    "B Enter"
    "Enter Enter Enter Enter Enter Enter"
    "n Enter"
    "Escape"                    # back to the main menu
    "2"                         # result mails
    "APR24IT Enter"
    "y Enter"
    "Escape"                    # the main menu again
    "Escape"                    # closes the program
  )
  for keys in "${steps[@]}"; do
    step=$((step + 1))
    if [ "${keys#history:}" != "$keys" ]; then
      for session in "$linux_session" "$windows_session"; do
        if ! tmux capture-pane -p -J -S - -t "$session" | grep -qF -- "${keys#history:}"; then
          echo "FAIL $name, step $step: '${keys#history:}' is not in $session's history"
          failures=$((failures + 1))
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
      echo "FAIL $name, step $step ($keys): the screens differ (Linux <, Windows >)"
      diff <(printf '%s\n' "$linux_screen") <(printf '%s\n' "$windows_screen") || true
      failures=$((failures + 1))
      return
    fi
  done
  if ! grep -q 'exit status 0' <<<"$windows_screen"; then
    echo "FAIL $name: the Windows program did not end with status 0"
    failures=$((failures + 1))
  elif ! cmp -s "$work/$name/linux/mail.txt" "$work/$name/windows/mail.txt"; then
    echo "FAIL $name: mail.txt differs"
    failures=$((failures + 1))
  else
    echo "ok   $name: $step steps, the same screens, mail.txt the same ($(wc -c <"$work/$name/windows/mail.txt") bytes)"
  fi
}

mkdir -p "$work/sqlite/linux" "$work/sqlite/windows"
sqlite3 "$work/sqlite/linux/Database.mdb" <"$root/tests/fixtures/demo.sql"
cp "$work/sqlite/linux/Database.mdb" "$work/sqlite/windows/Database.mdb"
walk sqlite
mkdir -p "$work/sqlite-80x24/linux" "$work/sqlite-80x24/windows"
cp "$work/sqlite/linux/Database.mdb" "$work/sqlite-80x24/linux/Database.mdb"
cp "$work/sqlite/linux/Database.mdb" "$work/sqlite-80x24/windows/Database.mdb"
walk sqlite-80x24 80 24

if [ -f "$mdbtools_driver" ]; then
  mkdir -p "$work/access/linux" "$work/access/windows"
  cp "$root/sample/Database.mdb" "$work/access/linux/Database.mdb"
  cp "$root/sample/Database.mdb" "$work/access/windows/Database.mdb"
  walk access
else
  echo "skip access: the MDBTools ODBC driver (Debian odbc-mdbtools) is not installed"
fi
exit $((failures > 0))

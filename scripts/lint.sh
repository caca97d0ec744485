#!/usr/bin/env bash
# Checks formatting, trailing white space, CR LF line ends and final newlines of our sources, that
# --help and the documents name the same connection keys, and that the manual page renders
# without warnings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
status=0
if [ ${#sources[@]} -gt 0 ]; then
  clang-format --dry-run -Werror "${sources[@]}" || status=1
fi
mapfile -t texts < <(git ls-files '*.cpp' '*.h' '*.sh' '*.md' '*.txt' '*.1' 'CMakeLists.txt' '.ci/*' \
  | grep -v '^tests/golden/' | grep -v '^tests/fixtures/')
for file in "${texts[@]}"; do
  if grep -q $'\r' "$file"; then echo "$file: CR LF line ends"; status=1; fi
  if grep -n -E '[[:space:]]+$' "$file" >/dev/null; then echo "$file: trailing white space"; status=1; fi
  if [ -s "$file" ] && [ -n "$(tail -c 1 "$file")" ]; then echo "$file: no final newline"; status=1; fi
done
# --help (on Linux: its shared text and its POSIX lines), the README and the manual page name the
# same ODBC connection keys.
for key in DSN Driver Server Port Database UID PWD Socket DBQ; do
  for file in app/command_line.cpp+app/command_line_posix.cpp README.md doc/tavrinel.1; do
    # shellcheck disable=SC2086 # the pieces of one text, split at +
    if ! grep -qw -- "$key" ${file//+/ }; then
      echo "$file: does not name the connection key $key"
      status=1
    fi
  done
done
# The manual page renders without a single warning.
warnings=$(groff -ww -z -man doc/tavrinel.1 2>&1)
if [ -n "$warnings" ]; then echo "doc/tavrinel.1: $warnings"; status=1; fi
exit $status

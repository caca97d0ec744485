#!/usr/bin/env bash
# The layout's figures: lines per folder (C++, CMake and shell), the test share, the files over 400
# lines and the functions over 40 (functions need universal-ctags, Debian's universal-ctags).
#
# usage: scripts/code-figures.sh [CHECKOUT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

lines() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name '*.sh' \) \
  -print0 | xargs -0 cat | wc -l; }
mapfile -t code_dirs < <(ls -d app analysis console mail store util cmake 2>/dev/null)
for dir in "${code_dirs[@]}" tests bench; do
  printf '%-16s %6d\n' "$dir/" "$(lines "$dir")"
done
for dir in store/*/ console/*/; do
  printf '  %-14s %6d\n' "$dir" "$(lines "$dir")"
done
code=$(lines "${code_dirs[@]}")
tests=$(lines tests)
echo "tests $tests against code $code: $(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.2f", t / c }')x"
echo "files over 400 lines:"
find "${code_dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 wc -l |
  awk '$2 != "total" && $1 > 400 { print "  " $1, $2 }'
if command -v ctags >/dev/null; then
  echo "functions over 40 lines:"
  find "${code_dirs[@]}" -type f -name '*.cpp' -print0 |
    xargs -0 ctags --c++-kinds=f --fields=+ne -o - 2>/dev/null |
    awk -F'\t' '{ line = ""; end = ""
                  for (i = 1; i <= NF; i++) {
                    if ($i ~ /^line:/) line = substr($i, 6)
                    if ($i ~ /^end:/) end = substr($i, 5)
                  }
                  if (line != "" && end != "" && end - line + 1 > 40) print "  " end - line + 1, $2, $1 }' |
    sort -rn
fi

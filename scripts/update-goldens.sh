#!/usr/bin/env bash
# Regenerates the end-to-end golden transcripts: runs the end-to-end tests, shows how each new
# transcript differs from its golden file, and writes it only when you say yes.
#
# usage: scripts/update-goldens.sh [build-folder] [gtest-filter]
#   build-folder  a configured and built folder (default: build)
#   gtest-filter  which cases to run (default: all)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
filter=${2:-*}
binary="$build/tests/e2e_tests"
goldens="$root/tests/golden/e2e"

if [ ! -x "$binary" ]; then
  echo "update-goldens: no $binary; build the project first (ninja -C $build)" >&2
  exit 1
fi

actual=$(mktemp -d)
trap 'rm -rf "$actual"' EXIT

# The tests write each actual transcript into this folder as well as comparing it.
TAVRINEL_GOLDEN_ACTUAL_DIR="$actual" "$binary" --gtest_filter="$filter" >/dev/null 2>&1 || true

mkdir -p "$goldens"
changed=0
for file in "$actual"/*.txt; do
  [ -e "$file" ] || continue
  name=$(basename "$file")
  golden="$goldens/$name"
  if [ -f "$golden" ] && cmp -s "$file" "$golden"; then
    continue
  fi
  changed=1
  echo "=== $name"
  if [ -f "$golden" ]; then
    diff -u --label "golden/$name" --label "actual/$name" "$golden" "$file" | cat -A || true
  else
    echo "(new golden)"
    cat -A "$file"
  fi
  read -r -p "Write tests/golden/e2e/$name? [y/N] " answer
  if [ "$answer" = y ] || [ "$answer" = Y ]; then
    cp "$file" "$golden"
    echo "written"
  fi
done
[ "$changed" = 1 ] || echo "update-goldens: every golden transcript is up to date"

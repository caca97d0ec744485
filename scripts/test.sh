#!/usr/bin/env bash
# Installs, builds and runs every test: formatting, the normal build, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh --tests
scripts/lint.sh

jobs=$(nproc)
for variant in release asan; do
  dir="$root/build-test-$variant"
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON -DBUILD_TESTING=ON
           -DTAVRINEL_BENCH=ON)
  if [ "$variant" = asan ]; then
    options=(-DCMAKE_BUILD_TYPE=Debug -DWARNINGS_AS_ERRORS=ON -DBUILD_TESTING=ON -DSANITIZE=ON)
  fi
  echo "== $variant build"
  cmake -S "$root" -B "$dir" -G Ninja "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $variant tests"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs"
done

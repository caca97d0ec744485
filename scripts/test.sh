#!/usr/bin/env bash
# Installs, builds and runs every test: formatting, the normal build, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build, both beside a private PostgreSQL and a
# private MariaDB server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ -z "${TAVRINEL_TEST_SERVER_STARTED:-}" ]; then
  scripts/install-deps.sh --tests
  scripts/lint.sh
  # The builds and tests run again under the server scripts, which stop the servers whatever
  # their outcome.
  TAVRINEL_TEST_SERVER_STARTED=1 exec scripts/with-postgres.sh scripts/with-mariadb.sh "$0" "$@"
fi

jobs=$(nproc)

# ctest names a skipped test but not why; the reason is in the test's own output: the line after
# GoogleTest's "file:line: Skipped", or a script's "SKIP: ..." line.
show_skips() {
  awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3 }
       /: Skipped$/ { getline reason; print "  skipped " name ": " reason }
       /^SKIP: / { print "  skipped " name ": " substr($0, 7) }' \
    "$1/Testing/Temporary/LastTest.log"
}
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
    LSAN_OPTIONS=suppressions="$root/tests/lsan-suppressions.txt":print_suppressions=0 \
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs"
  show_skips "$dir"
done

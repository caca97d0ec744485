#!/usr/bin/env bash
# Builds the Windows console program on Debian: cross-compiles tavrinel.exe and the 32-bit Access
# reader tavrinel-access32.exe with MinGW-w64, runs their unit tests under Wine (of the 32-bit
# build only those whose code differs), and writes build-windows/tavrinel-VERSION-win64.zip and
# build-windows/tavrinel-VERSION-win64-setup.exe (a per-user installer, checked to install and
# uninstall silently under Wine). The one download is the SQLite amalgamation, taken from the
# better-sqlite3 npm package and checked against its known digest; it is kept in
# build-windows/cache/ for later runs.
#
# usage: scripts/build-windows.sh [--no-tests]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

run_tests=1
case "${1:-}" in
  "") ;;
  --no-tests) run_tests=0 ;;
  *)
    echo "usage: scripts/build-windows.sh [--no-tests]" >&2
    exit 2
    ;;
esac

build=$root/build-windows
cache=$build/cache
sqlite_package=better-sqlite3@12.9.0
sqlite_tarball=better-sqlite3-12.9.0.tgz
sqlite_integrity=sha512-wqUv4Gm3toFpHDQmaKD4QhZm3g1DjUBI0yzS4UBl6lElUmXFYdTQmmEDpAFa5o8FiFiymURypEnfVHzILKaxqQ==
sqlite_dir=$cache/sqlite-3.53.0
version=$(sed -n 's/^project(tavrinel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
started=$SECONDS

step() { echo "== $* ($((SECONDS - started)) s)"; }

step "packages"
bash scripts/install-deps.sh --windows

integrity_of() {
  node -e 'const c=require("crypto");const f=require("fs");
    process.stdout.write("sha512-"+c.createHash("sha512").update(f.readFileSync(process.argv[1])).digest("base64"))' "$1"
}

step "SQLite amalgamation"
mkdir -p "$cache"
if [ ! -f "$sqlite_dir/sqlite3.c" ]; then
  if [ ! -f "$cache/$sqlite_tarball" ]; then
    (cd "$cache" && npm pack --silent "$sqlite_package" >/dev/null)
  fi
  if [ "$(integrity_of "$cache/$sqlite_tarball")" != "$sqlite_integrity" ]; then
    echo "build-windows: $sqlite_tarball does not match its known digest; removed" >&2
    rm -f "$cache/$sqlite_tarball"
    exit 1
  fi
  mkdir -p "$sqlite_dir.part"
  tar -xzf "$cache/$sqlite_tarball" -C "$sqlite_dir.part" --strip-components=3 \
    package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
  mv "$sqlite_dir.part" "$sqlite_dir"
fi

step "configure"
cmake -G Ninja -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON -DBUILD_TESTING=ON \
  -DTAVRINEL_SQLITE_AMALGAMATION="$sqlite_dir" >/dev/null
step "build"
cmake --build "$build" -j2
# The 32-bit reader, in a build folder of its own inside the 64-bit one, its tests run in the
# same Wine prefix.
build32=$build/i686
step "configure (32-bit reader)"
cmake -G Ninja -S . -B "$build32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON -DBUILD_TESTING=ON \
  -DTAVRINEL_WINE_PREFIX="$build/wine-prefix" -DTAVRINEL_SQLITE_AMALGAMATION="$sqlite_dir" >/dev/null
step "build (32-bit reader)"
cmake --build "$build32" -j2
# Beside tavrinel.exe, where the program looks for it: the tests and the e2e walk find it there.
cp "$build32/tavrinel-access32.exe" "$build/tavrinel-access32.exe"

wine_run() { "$root/cmake/wine-run.sh" "$build/wine-prefix" "$@"; }
# The wine server of the build's prefix, kept up between runs, ends with the script.
trap 'WINEPREFIX="$build/wine-prefix" wineserver -k 2>/dev/null || true' EXIT

if [ $run_tests -eq 1 ]; then
  step "unit tests under Wine"
  (cd "$build" && ctest --output-on-failure -j2)
  step "unit tests of the 32-bit reader under Wine"
  (cd "$build32" && ctest --output-on-failure -j2)
fi

step "zip"
stage=$build/stage
rm -rf "$stage"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/tavrinel.exe" "$build/tavrinel.exe"
i686-w64-mingw32-strip -o "$stage/tavrinel-access32.exe" "$build32/tavrinel-access32.exe"
# Texts with CR LF, so that every Windows editor shows their lines.
for pair in packaging/windows/README-Windows.txt:README.txt LICENSE:LICENSE.txt \
  packaging/windows/THIRD-PARTY-NOTICES.txt:THIRD-PARTY-NOTICES.txt; do
  sed 's/$/\r/' "${pair%%:*}" >"$stage/${pair#*:}"
done
# The sample in a folder of its own: a zip unpacked into an office's folder, replacing whatever
# has the same name, can never put the sample in place of the office's Database.mdb.
mkdir -p "$stage/sample"
cp sample/Database.mdb "$stage/sample/Database.mdb"
zip_file=$build/tavrinel-$version-win64.zip
rm -f "$zip_file"
(cd "$stage" && zip -q -X "$zip_file" tavrinel.exe tavrinel-access32.exe README.txt LICENSE.txt \
  THIRD-PARTY-NOTICES.txt sample/Database.mdb)
if unzip -Z1 "$zip_file" | grep -qix 'database.mdb'; then
  echo "build-windows: the zip holds a Database.mdb at its top" >&2
  exit 1
fi

step "installer"
setup_file=$build/tavrinel-$version-win64-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup_file" \
  packaging/windows/installer.nsi

step "done"
ls -l "$zip_file" "$setup_file"

#!/usr/bin/env bash
# Installs the Debian packages needed to build and run tavrinel; with --tests also those that the
# tests, the lint and the package check need. Skips what is present.
#
# usage: scripts/install-deps.sh [--tests | --windows]
set -euo pipefail

# To build and run: a compiler, CMake and Ninja, the two database libraries, unixODBC for
# database servers, and terminfo's library (libtinfo, whose headers Debian ships in
# libncurses-dev).
packages=(build-essential cmake ninja-build pkg-config mdbtools-dev libsqlite3-dev unixodbc-dev
          libncurses-dev)
case "${1:-}" in
  "") ;;
  --tests)
    # GoogleTest; clang-format and groff for the lint; dpkg-dev (dpkg-shlibdeps, dpkg-buildflags)
    # and file, which cpack uses to find the package's dependencies, and lintian to check the
    # package; private PostgreSQL and MariaDB servers and their ODBC drivers, and the MDBTools
    # ODBC driver, for the tests of reading through ODBC; unixodbc's isql, the plain read that
    # the benchmark holds a server's load to. Python, Chromium and poppler's pdftotext read the
    # jobs' CSV back and print and measure the printable letters; LibreOffice Calc opens the CSV
    # as a spreadsheet would; strace sends a signal in the middle of a write in place.
    packages+=(libgtest-dev clang-format groff-base dpkg-dev file lintian postgresql odbc-postgresql
               mariadb-server odbc-mariadb odbc-mdbtools unixodbc python3 chromium poppler-utils
               libreoffice-calc-nogui strace)
    ;;
  --windows)
    # The Windows program (scripts/build-windows.sh): MinGW-w64 with POSIX threads, GoogleTest's
    # sources, Wine to run the tests, npm to fetch the SQLite amalgamation, NSIS and zip for the
    # installer and the zip (npm only where no npm is on the path); tmux, sqlite3, unixODBC and
    # the MDBTools ODBC driver for the end-to-end run under Wine.
    # The 32-bit Access reader: i686 MinGW-w64, 32-bit Wine, and the i386 unixODBC and MDBTools
    # driver that its tests load (libodbc2:i386 is left out unless named).
    packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine
              wine64 wine32:i386 libodbc2:i386 odbc-mdbtools:i386 nsis zip tmux sqlite3
              unixodbc-dev odbc-mdbtools)
    command -v npm >/dev/null || packages+=(npm)
    windows=1
    ;;
  *)
    echo "usage: scripts/install-deps.sh [--tests | --windows]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  # A package installed for two architectures is named with the machine's own.
  dpkg -s "$package" >/dev/null 2>&1 || dpkg -s "$package:$(dpkg --print-architecture)" \
    >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
if [ "${windows:-0}" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test tavrinel (skips what is present).
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config mdbtools-dev libsqlite3-dev
          libgtest-dev libgmock-dev clang-format unixodbc-dev
          # tests only: a private database server reached through its ODBC driver
          postgresql odbc-postgresql)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

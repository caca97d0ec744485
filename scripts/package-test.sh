#!/usr/bin/env bash
# Builds the Debian package and shows its Depends. In CI (CI=true, as root) also installs it, runs
# the installed program on the sample database (--version, then a scripted session through a
# pipe), and removes it again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-package"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tavrinel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$build"/tavrinel_*.deb)
echo "== $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends
dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$'

if [ "${CI:-}" != true ] || [ "$(id -u)" -ne 0 ]; then
  echo "package-test: the package is not installed here: that needs CI=true and root"
  exit 0
fi

fail() {
  echo "package-test: $*" >&2
  exit 1
}

echo "== install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null
scratch=$(mktemp -d)
trap 'apt-get remove -y -qq tavrinel >/dev/null; rm -rf "$scratch"' EXIT

[ "$(command -v tavrinel)" = /usr/bin/tavrinel ] || fail "tavrinel is not /usr/bin/tavrinel"
for file in /usr/share/man/man1/tavrinel.1 /usr/share/doc/tavrinel/README.md \
  /usr/share/doc/tavrinel/LICENSE; do
  [ -f "$file" ] || fail "$file is not installed"
done
version=$(tavrinel --version)
[ "$version" = "tavrinel $(dpkg-deb --field "$deb" Version)" ] || fail "--version says '$version'"
echo "$version"

# Student st240401's results, then the letters of intake APR24IT; ESC climbs back out.
cp "$root/sample/Database.mdb" "$scratch/Database.mdb"
cd "$scratch"
status=0
printf '1st240401\r1\0332APR24IT\ry\n\033\033' | tavrinel >screens.txt 2>errors.txt || status=$?
[ "$status" = 0 ] || fail "the session ended with status $status: $(cat errors.txt)"
grep -qF $'Name\t: Maya Patel' screens.txt || fail "no result listing of st240401"
grep -q 'Mails written to mail.txt' screens.txt || fail "no mails written"
grep -q 'Mr/Miss Maya Patel,' mail.txt || fail "mail.txt holds no letter to Maya Patel"
echo "scripted session: $(grep -c 'Mr/Miss' mail.txt) letters in mail.txt"
cd "$root"

echo "== remove"
apt-get remove -y -qq tavrinel >/dev/null
trap 'rm -rf "$scratch"' EXIT
[ ! -e /usr/bin/tavrinel ] || fail "/usr/bin/tavrinel is still there after the removal"
echo "package-test: installed, run and removed"

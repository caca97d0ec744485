#!/usr/bin/env bash
# Builds the Debian package with Debian's hardening flags, shows its Depends and files, and checks
# it with lintian (any error or warning fails). In CI (CI=true, as root) also installs it, runs the
# installed program on the sample database it ships (--version, then a scripted session through a
# pipe), and removes it again.
#
# usage: scripts/package-test.sh [BUILD-FOLDER]    (default: build-package in the checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-package"}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON \
  -DTAVRINEL_DPKG_BUILDFLAGS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tavrinel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$build"/tavrinel_*.deb)
echo "== $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends
dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$'

fail() {
  echo "package-test: $*" >&2
  exit 1
}

# The README in the package is for people who installed it: the checkout's scripts are not there.
if dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tavrinel/README.md | grep -n 'scripts/'; then
  fail "the packaged README names the checkout's scripts (mark those parts as source checkout)"
fi

echo "== lintian"
if command -v lintian >/dev/null; then
  # Every tag is shown with its explanation; errors and warnings fail, information does not.
  lintian --info --display-info --pedantic --fail-on error,warning "$deb" ||
    fail "lintian finds errors or warnings in $(basename "$deb")"
  echo "lintian: no error, no warning"
elif [ "${CI:-}" = true ]; then
  fail "lintian is not installed (scripts/install-deps.sh --tests installs it)"
else
  echo "package-test: lintian is not installed; the package is not checked"
fi

if [ "${CI:-}" != true ] || [ "$(id -u)" -ne 0 ]; then
  echo "package-test: the package is not installed here: that needs CI=true and root"
  exit 0
fi

echo "== install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null
scratch=$(mktemp -d)
trap 'apt-get remove -y -qq tavrinel >/dev/null; rm -rf "$scratch"' EXIT

[ "$(command -v tavrinel)" = /usr/bin/tavrinel ] || fail "tavrinel is not /usr/bin/tavrinel"
doc=/usr/share/doc/tavrinel
for file in /usr/share/man/man1/tavrinel.1.gz "$doc/README.md" "$doc/copyright" \
  "$doc/changelog.gz" "$doc/examples/Database.mdb"; do
  [ -f "$file" ] || fail "$file is not installed"
done
version=$(tavrinel --version)
[ "$version" = "tavrinel $(dpkg-deb --field "$deb" Version)" ] || fail "--version says '$version'"
echo "$version"

# The README's first run: the sample the package ships, student st240401's results, then the
# letters of intake APR24IT; ESC climbs back out.
cp "$doc/examples/Database.mdb" "$scratch/Database.mdb"
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

#!/usr/bin/env bash
# Checks the Windows installer under Wine, as scripts/package-test.sh checks the Debian package:
# a silent install puts both executables, the README and the sample in place, the Start-menu
# entries and the uninstall entry; the Start-menu console opens in the user's Documents folder and
# starts the sample by the command it shows; uninstalling removes all of it but what the user
# made: a mail.txt, and a database put in the sample's place even when it has the sample's size.
# The uninstaller is waited for as a process (NSIS's _?= form runs it in place instead of from a
# copy that outlives it), so a loaded machine cannot make the check look too early.
#
# usage: scripts/windows-installer-test.sh [BUILD-FOLDER]    (default: build-windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-"$root/build-windows"}")
version=$(sed -n 's/^project(tavrinel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
setup_file=$build/tavrinel-$version-win64-setup.exe
check_dir='C:\tavrinel-install-check'
check_path=$build/wine-prefix/drive_c/tavrinel-install-check
odbc=$(mktemp -d "${TMPDIR:-/tmp}/tavrinel-installer-test.XXXXXX")
trap 'rm -rf "$odbc"' EXIT

fail() {
  echo "windows-installer-test: $*" >&2
  exit 1
}
wine_run() { "$root/cmake/wine-run.sh" "$build/wine-prefix" "$@"; }

[ -f "$setup_file" ] || fail "no $setup_file (scripts/build-windows.sh makes it)"
# The sample read through the MDBTools driver under the name of Microsoft's 64-bit driver.
printf '[Microsoft Access Driver (*.mdb, *.accdb)]\nDriver64 = %s\n' \
  /usr/lib/x86_64-linux-gnu/odbc/libmdbodbc.so >"$odbc/odbcinst.ini"

install() {
  rm -rf "$check_path"
  wine_run "$setup_file" /S "/D=$check_dir"
  for file in tavrinel.exe tavrinel-access32.exe README.txt sample/Database.mdb uninstall.exe; do
    [ -f "$check_path/$file" ] || fail "the installer did not install $file"
  done
}

# Runs the uninstaller to its end, then takes away the uninstaller itself, which a run in place
# cannot remove, and the folder that it alone kept.
uninstall() {
  wine_run "$check_path/uninstall.exe" /S "_?=$check_dir"
  rm -f "$check_path/uninstall.exe"
  rmdir "$check_path" 2>/dev/null || true
}

# What is left in the installation folder, one name after another.
left_over() {
  if [ -d "$check_path" ]; then
    (cd "$check_path" && find . -mindepth 1 | sort | tr '\n' ' ')
  fi
}

install
installed_version=$(wine_run "$check_path/tavrinel.exe" --version | tr -d '\r')
[ "$installed_version" = "tavrinel $version" ] || fail "the installed program says '$installed_version'"
# --help speaks of Windows: no manual page, Unix socket or signal numbers.
if wine_run "$check_path/tavrinel.exe" --help | grep -iE 'man tavrinel|unix socket|signal'; then
  fail "--help on Windows speaks of Linux"
fi
menu=$(find "$build/wine-prefix/drive_c/users" -path '*Start Menu/Programs/TAVRINEL' -type d \
  2>/dev/null | head -n 1)
for entry in TAVRINEL.lnk "TAVRINEL README.lnk" "Uninstall TAVRINEL.lnk"; do
  [ -f "$menu/$entry" ] || fail "no Start-menu entry $entry"
done
uninstall_entry=$(wine_run reg query \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRINEL' | tr -d '\r')
for value in DisplayIcon DisplayVersion Publisher EstimatedSize QuietUninstallString; do
  grep -q "^ *$value " <<<"$uninstall_entry" || fail "the uninstall entry has no $value"
done

# The Start-menu console: in the user's Documents folder, never the installation's, saying how to
# start the sample; the command it shows, typed there, starts on the sample.
console_arguments=$(x86_64-w64-mingw32-strings -el "$menu/TAVRINEL.lnk" | grep '^/s /k "')
console_command=${console_arguments#/s /k \"}
documents=$(wine_run cmd /c 'echo %USERPROFILE%\Documents' | tr -d '\r')
documents_path=$(wine_run winepath -u "$documents" 2>/dev/null | tr -d '\r')
mkdir -p "$documents_path"
sample_command=$(printf '%s\n' "$console_command" | grep -o 'tavrinel "[^"]*sample\\Database.mdb"')
[ -n "$sample_command" ] || fail "the Start-menu console does not say how to start the sample"
# Under Wine the MDBTools driver, a Linux library, takes the path it is handed as a Linux name
# in the folder it was started in: a copy of the sample under that very name stands in for it.
sample_path=$(sed 's/^tavrinel "\(.*\)"$/\1/' <<<"$sample_command")
cp "$root/sample/Database.mdb" "$documents_path/$sample_path"
# The console's command as the shortcut hands it to cmd; typed keys follow it.
printf '@%s\r\n' "${console_command%\"}" >"$documents_path/tavrinel-console-check.bat"
first_run=$(cd "$documents_path" && printf '%s\r\n\033\r\nexit\r\n' "$sample_command" |
  ODBCSYSINI=$odbc wine_run cmd /k tavrinel-console-check.bat 2>&1 | tr -d '\r')
rm -f "$documents_path/$sample_path" "$documents_path/tavrinel-console-check.bat"
grep -q 'This is your Documents folder' <<<"$first_run" ||
  fail "the Start-menu console does not say where it is:$(printf '\n%s' "$first_run")"
grep -q 'Main Menu' <<<"$first_run" ||
  fail "the sample's command in the Start-menu console does not start:$(printf '\n%s' "$first_run")"

# Uninstalled as installed: everything goes but the user's mail.txt (and its folder).
printf 'letters\r\n' >"$check_path/sample/mail.txt"
uninstall
[ "$(left_over)" = "./sample ./sample/mail.txt " ] ||
  fail "after uninstalling: '$(left_over)' (only the user's mail.txt should stay)"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entries"
if wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRINEL' \
  >/dev/null 2>&1; then
  fail "the uninstaller left the uninstall entry"
fi

# An office's file put in the sample's place, of the sample's very size: it stays.
install
cp "$root/tests/fixtures/numeric-postcode.mdb" "$check_path/sample/Database.mdb"
[ "$(stat -c %s "$check_path/sample/Database.mdb")" = "$(stat -c %s "$root/sample/Database.mdb")" ] ||
  fail "tests/fixtures/numeric-postcode.mdb no longer has the sample's size"
uninstall
cmp -s "$check_path/sample/Database.mdb" "$root/tests/fixtures/numeric-postcode.mdb" ||
  fail "the uninstaller removed a database of the sample's size that is not the sample"
[ "$(left_over)" = "./sample ./sample/Database.mdb " ] ||
  fail "after uninstalling: '$(left_over)' (only the user's Database.mdb should stay)"
rm -rf "$check_path"
echo "windows-installer-test: ok"

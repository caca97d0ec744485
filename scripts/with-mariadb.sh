#!/usr/bin/env bash
# Runs a command beside a private MariaDB server that holds the fixtures, reached through
# MariaDB Connector/ODBC on a Unix socket (no TCP); the server and its folder are gone afterwards,
# whatever the command's outcome. It stacks with scripts/with-postgres.sh:
#
#   scripts/with-postgres.sh scripts/with-mariadb.sh ctest --test-dir build
#
# The command gets these ODBC connection strings (tests that need the server skip without them):
#   TAVRINEL_MARIADB_DEMO, TAVRINEL_MARIADB_EDGE  a read-only user on the demo and edge data
#   TAVRINEL_MARIADB_ADMIN                      the owner, no database named: for tests that write
# Without MariaDB or its ODBC driver installed it runs the command alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -eq 0 ]; then
  echo "usage: scripts/with-mariadb.sh COMMAND [ARGUMENT...]" >&2
  exit 2
fi

server_bin=$(command -v mariadbd || ls /usr/sbin/mariadbd 2>/dev/null || true)
driver=$(ls /usr/lib/*/odbc/libmaodbc.so /usr/lib/odbc/libmaodbc.so 2>/dev/null | head -n 1 || true)
if [ -z "$server_bin" ] || ! command -v mariadb-install-db >/dev/null || [ -z "$driver" ]; then
  echo "with-mariadb: MariaDB or its ODBC driver is not installed; running without a server" >&2
  exec "$@"
fi

folder=$(mktemp -d /tmp/tavrinel-maria-XXXXXX)
socket="$folder/mysqld.sock"
pid=""
stop() {
  status=$?
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$folder"
  exit $status
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server runs as whoever runs the script; as root only when told so.
user=(--user="$(id -un)")
# Nothing of the machine's own configuration: its own folder, socket and no network.
options=(--no-defaults --datadir="$folder/data" --socket="$socket" --skip-networking
         --pid-file="$folder/mariadbd.pid" --log-error="$folder/server.log"
         --innodb-buffer-pool-size=256M --innodb-flush-log-at-trx-commit=0
         --character-set-server=utf8mb4 --skip-log-bin)
mariadb-install-db --no-defaults --datadir="$folder/data" "${user[@]}" \
  --auth-root-authentication-method=normal --skip-test-db >"$folder/install.log" 2>&1 ||
  { cat "$folder/install.log" >&2; exit 1; }
"$server_bin" "${options[@]}" "${user[@]}" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ -S "$socket" ] && mariadb --no-defaults --socket="$socket" -u root -e 'SELECT 1' >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || { cat "$folder/server.log" >&2; exit 1; }
  sleep 0.1
done

secret() { od -An -N12 -tx1 /dev/urandom | tr -d ' \n'; }
admin_password=$(secret)
office_password=$(secret)
sql() { mariadb --no-defaults --socket="$socket" -u root "$@"; }
sql -e "CREATE USER tavrinel_admin@localhost IDENTIFIED BY '$admin_password';
        GRANT ALL ON *.* TO tavrinel_admin@localhost;
        CREATE USER office@localhost IDENTIFIED BY '$office_password'"

# The fixtures' SQLite scripts, in MariaDB's types; names as the scripts spell them.
translate() {
  sed -e 's/TEXT(\([0-9]*\))/VARCHAR(\1)/g' -e 's/ REAL\([,)]\)/ DOUBLE\1/g' -e 's/^BEGIN TRANSACTION;/BEGIN;/' "$1"
}
load() {
  sql -e "CREATE DATABASE $1 CHARACTER SET utf8mb4"
  translate "$2" | sql "$1"
  sql -e "GRANT SELECT ON $1.* TO office@localhost"
}
load demo "$root/tests/fixtures/demo.sql"
load edge "$root/tests/fixtures/edge.sql"

server="Driver=$driver;Socket=$socket"
export TAVRINEL_MARIADB_DEMO="$server;Database=demo;UID=office;PWD=$office_password"
export TAVRINEL_MARIADB_EDGE="$server;Database=edge;UID=office;PWD=$office_password"
export TAVRINEL_MARIADB_ADMIN="$server;UID=tavrinel_admin;PWD=$admin_password"

echo "with-mariadb: MariaDB $("$server_bin" --version | awk '{print $3}') on $socket" >&2
"$@"

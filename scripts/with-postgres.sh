#!/usr/bin/env bash
# Runs a command beside a private PostgreSQL server that holds the fixtures, reached through
# psqlODBC; the server and its folder are gone afterwards, whatever the command's outcome.
#
#   scripts/with-postgres.sh ctest --test-dir build
#
# The command gets these ODBC connection strings (tests that need a server skip without them):
#   TAVRINEL_ODBC_DEMO, TAVRINEL_ODBC_EDGE  read-only role on the demo and edge data
#   TAVRINEL_ODBC_EMPTY, TAVRINEL_ODBC_NO_RESULTS  the same on empty.sql and no-results-table.sql
#   TAVRINEL_ODBC_LARGE                     the same on ../shared/fixtures/large.sql, when present
#   TAVRINEL_ODBC_ADMIN                     the owner, no database named: for tests that write
#   TAVRINEL_ODBC_STOPPED                   a server that is not running
#   TAVRINEL_ODBC_SERVER_PID                the server's main process, for tests that freeze it
# and ODBCSYSINI, a folder whose odbcinst.ini registers the driver and whose odbc.ini holds the
# DSN tavrinel_demo. Without PostgreSQL or psqlODBC installed it runs the command alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -eq 0 ]; then
  echo "usage: scripts/with-postgres.sh COMMAND [ARGUMENT...]" >&2
  exit 2
fi

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
driver=$(ls /usr/lib/*/odbc/psqlodbcw.so /usr/lib/odbc/psqlodbcw.so 2>/dev/null | head -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ] || [ -z "$driver" ] || ! command -v psql >/dev/null; then
  echo "with-postgres: PostgreSQL or psqlODBC is not installed; running without a server" >&2
  exec "$@"
fi

folder=$(mktemp -d /tmp/tavrinel-pg-XXXXXX)
chmod 755 "$folder"
# PostgreSQL refuses to run as root: the server belongs to an unprivileged user.
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  owner=nobody
  chown "$owner" "$folder"
  as_server=(runuser -u "$owner" --)
fi

stop() {
  status=$?
  if [ -f "$folder/data/postmaster.pid" ]; then
    "${as_server[@]}" "$bindir/pg_ctl" -D "$folder/data" -m immediate stop >/dev/null 2>&1 || true
  fi
  rm -rf "$folder"
  exit $status
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

secret() { od -An -N12 -tx1 /dev/urandom | tr -d ' \n'; }
admin_password=$(secret)
office_password=$(secret)
port=5432
printf '%s\n' "$admin_password" >"$folder/admin-password"
chmod 644 "$folder/admin-password"

# C collation: text sorts and compares by bytes, case-sensitively, as a default server does.
"${as_server[@]}" "$bindir/initdb" -D "$folder/data" -U tavrinel_admin -E UTF8 --locale=C \
  --auth-local=scram-sha-256 --auth-host=reject --pwfile="$folder/admin-password" >/dev/null
rm -f "$folder/admin-password"
"${as_server[@]}" "$bindir/pg_ctl" -D "$folder/data" -l "$folder/data/server.log" -w -s \
  -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c port=$port -c fsync=off" \
  start

export PGHOST="$folder" PGPORT=$port PGUSER=tavrinel_admin PGPASSWORD="$admin_password"
psql_quiet() { psql -X -q -v ON_ERROR_STOP=1 "$@" >/dev/null; }

# The fixtures' SQLite scripts, in PostgreSQL's types.
translate() {
  sed -e 's/TEXT(\([0-9]*\))/VARCHAR(\1)/g' -e 's/ REAL\([,)]\)/ DOUBLE PRECISION\1/g' "$1"
}

psql_quiet -d postgres -c "CREATE ROLE office LOGIN PASSWORD '$office_password'"
load() {
  psql_quiet -d postgres -c "CREATE DATABASE $1"
  translate "$2" | psql_quiet -d "$1"
  psql_quiet -d "$1" -c "GRANT SELECT ON ALL TABLES IN SCHEMA public TO office; ANALYZE"
}
load demo "$root/tests/fixtures/demo.sql"
load edge "$root/tests/fixtures/edge.sql"
load emptydb "$root/tests/fixtures/empty.sql"
load noresults "$root/tests/fixtures/no-results-table.sql"

server="Driver=$driver;Servername=$folder;Port=$port"
export TAVRINEL_ODBC_DEMO="$server;Database=demo;UID=office;PWD=$office_password"
export TAVRINEL_ODBC_EDGE="$server;Database=edge;UID=office;PWD=$office_password"
export TAVRINEL_ODBC_EMPTY="$server;Database=emptydb;UID=office;PWD=$office_password"
export TAVRINEL_ODBC_NO_RESULTS="$server;Database=noresults;UID=office;PWD=$office_password"
export TAVRINEL_ODBC_ADMIN="$server;UID=tavrinel_admin;PWD=$admin_password"
TAVRINEL_ODBC_SERVER_PID=$("${as_server[@]}" head -n 1 "$folder/data/postmaster.pid")
export TAVRINEL_ODBC_SERVER_PID
export TAVRINEL_ODBC_STOPPED="Driver=$driver;Servername=$folder/stopped;Port=$port;Database=demo;UID=office;PWD=$office_password"
large="$root/../shared/fixtures/large.sql"
if [ -f "$large" ]; then
  load large "$large"
  export TAVRINEL_ODBC_LARGE="$server;Database=large;UID=office;PWD=$office_password"
fi

cat >"$folder/odbcinst.ini" <<EOF
[PostgreSQL Unicode]
Description=psqlODBC, Unicode
Driver=$driver
EOF
cat >"$folder/odbc.ini" <<EOF
[tavrinel_demo]
Driver=PostgreSQL Unicode
Servername=$folder
Port=$port
Database=demo
EOF
export ODBCSYSINI="$folder" ODBCINSTINI=odbcinst.ini ODBCINI="$folder/odbc.ini"
unset PGHOST PGPORT PGUSER PGPASSWORD

echo "with-postgres: PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') on $folder" >&2
"$@"

#!/usr/bin/env python3
"""End-to-end: README's data-source examples log in, with a password, as README writes them.

Test plan
 66. Each `odbc.ini` example of README.md (PostgreSQL's, MariaDB's), its keys kept and its values
     pointed at the private server of scripts/with-postgres.sh or scripts/with-mariadb.sh, in a
     user data source file (ODBCINI): `tavrinel --connect DSN=NAME --check` reads the demo
     records. The role has a password and the server takes no login without one, so a key the
     driver does not read fails the run. Skips (status 77) without either server.

usage: readme_data_sources_test.py TAVRINEL README
"""
import os
import re
import subprocess
import sys
import tempfile


def connection_keys(connection):
    pairs = (part.split("=", 1) for part in connection.split(";") if "=" in part)
    return {key.strip().lower(): value for key, value in pairs}


def examples(readme):
    """Each ```ini block of README: (data source name, [(key, value)])."""
    found = []
    for block in re.findall(r"```ini\n(.*?)```", open(readme, encoding="utf-8").read(), re.S):
        lines = block.strip().splitlines()
        pairs = [tuple(part.strip() for part in line.split("=", 1)) for line in lines[1:]]
        found.append((lines[0].strip("[]"), pairs))
    return found


# What each server's example is pointed at, by the README's own keys; the private MariaDB server
# listens on its socket only, which "localhost" and SOCKET reach.
def private_values(driver_name, server):
    if driver_name.startswith("PostgreSQL"):
        return {"servername": server["servername"], "port": server["port"]}, {}
    return {"server": "localhost", "port": "3306"}, {"SOCKET": server["socket"]}


def main():
    binary, readme = os.path.abspath(sys.argv[1]), sys.argv[2]
    servers = {"PostgreSQL": os.environ.get("TAVRINEL_ODBC_DEMO"),
               "MariaDB": os.environ.get("TAVRINEL_MARIADB_DEMO")}
    failures, tried = [], 0
    for name, pairs in examples(readme):
        driver_name = dict(pairs)["Driver"]
        kind = driver_name.split()[0]
        if not servers.get(kind):
            script = "with-postgres.sh" if kind == "PostgreSQL" else "with-mariadb.sh"
            print(f"SKIP {name}: no {kind} server (scripts/{script})")
            continue
        server = connection_keys(servers[kind])
        place, extra = private_values(driver_name, server)
        values = {"database": "demo", "username": server["uid"], "user": server["uid"],
                  "password": server["pwd"], **place}
        lines = [f"[{name}]", f"Driver = {server['driver']}"]
        lines += [f"{key} = {values.get(key.lower(), value)}" for key, value in pairs
                  if key != "Driver"]
        lines += [f"{key} = {value}" for key, value in extra.items()]
        with tempfile.TemporaryDirectory() as folder:
            ini = os.path.join(folder, "odbc.ini")
            with open(ini, "w") as out:
                out.write("\n".join(lines) + "\n")
            done = subprocess.run([binary, "--connect", f"DSN={name}", "--check"], cwd=folder,
                                  env={**os.environ, "ODBCINI": ini, "HOME": folder},
                                  capture_output=True, text=True, timeout=120)
        tried += 1
        if "check of DSN=" not in done.stderr or done.returncode not in (0, 1):
            failures.append(name)
            print(f"FAIL: README's [{name}] does not log in: status {done.returncode}: "
                  f"{done.stderr.strip()}")
        else:
            print(f"README's [{name}] logs in: {done.stderr.strip()}")
    if failures:
        return 1
    return 0 if tried else 77


if __name__ == "__main__":
    sys.exit(main())

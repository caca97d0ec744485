#!/usr/bin/env python3
"""End-to-end: no route writes over the database, and an old output is kept or truthfully told of.

Test plan
 67. One table of routes, each run in a folder of its own beside demo.mdb as Database.mdb: the
     database through each spelling a job's file can take (the name, ./, absolute, a hard link,
     a symbolic link, /proc/self/fd/0 onto it), its companions (-wal not yet there, -shm there,
     .ldb), a connection's DBQ and a data source's DBQ; the menu's mail run with the database
     named mail.txt and with mail.txt a link to it; /dev/stdout onto a log opened for appending;
     a file written in place (a folder that takes no new file) past `ulimit -f`, with its cut
     failing, and under each fatal signal sent as it is cut; as root, a clerk's 0600 file and a link another user planted
     in a sticky folder. After each run the database and its companions hold the bytes they held,
     the status and stderr are as the row says, and the old output is as it was, or is the whole
     new output, or is what the line says it is.

usage: output_routes_test.py TAVRINEL FIXTURES_DIR
"""
import os
import re
import resource
import shutil
import stat
import subprocess
import sys
import tempfile

CLERK = 65534  # nobody: a user other than the one running the tests
OLD = b"old output, kept\n" * 2000  # 34 kB: more than the file size limit below
REFUSED = r"tavrinel: error: '[^']*' is (the database itself|a file of the database), which is never written\n"
MENU_KEYS = b"2APR23IT\ry\x1b\x1b"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def unprivileged():
    """The command prefix that runs as the clerk when the tests run as root."""
    if os.geteuid() != 0:
        return []
    return ["setpriv", f"--reuid={CLERK}", f"--regid={CLERK}", "--clear-groups"]


def in_place(folder):
    """r.csv writable by the clerk in a folder that takes no new file: written in place."""
    with open(os.path.join(folder, "r.csv"), "wb") as out:
        out.write(OLD)
    os.chmod(os.path.join(folder, "r.csv"), 0o666)
    os.chmod(folder, 0o555)


def sticky_with_planted_link(folder):
    secret = os.path.join(folder, "root-only.txt")
    with open(secret, "wb") as out:
        out.write(OLD)
    os.chmod(secret, 0o600)
    os.symlink(secret, os.path.join(folder, "r.csv"))
    os.lchown(os.path.join(folder, "r.csv"), CLERK, CLERK)
    os.chmod(folder, 0o1777)


def clerk_file(folder):
    with open(os.path.join(folder, "r.csv"), "wb") as out:
        out.write(OLD)
    os.chown(os.path.join(folder, "r.csv"), CLERK, CLERK)
    os.chmod(os.path.join(folder, "r.csv"), 0o600)


def data_source(folder):
    with open(os.path.join(folder, "odbc.ini"), "w") as out:
        out.write("[office]\nDriver = MDBTools\nDBQ = Database.mdb\n")


def limit_file_size():
    resource.setrlimit(resource.RLIMIT_FSIZE, (10000, 10000))


def at_cut(injected):
    """The command run under strace, which injects a signal or an error at the file's cut."""
    return ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=ftruncate", "-e",
            f"inject=ftruncate:{injected}"]


# name, arrange(folder), command prefix, arguments, keys (None: no menu), status, stderr pattern,
# what r.csv (or mail.txt for the menu) holds afterwards: "old", "new" (the whole export), "old
# or new", "absent", or None (not looked at); what the row needs.
ROUTES = [
    ("the database by its name", None, [], ["--export", "Database.mdb"], None, 2, REFUSED, None, ""),
    ("the database as ./", None, [], ["--export", "./Database.mdb"], None, 2, REFUSED, None, ""),
    ("the database by its absolute path", None, [], ["--export", "{folder}/Database.mdb"], None,
     2, REFUSED, None, ""),
    ("a hard link to the database", lambda f: os.link(f + "/Database.mdb", f + "/hard.csv"), [],
     ["--export", "hard.csv"], None, 2, REFUSED, None, ""),
    ("a symbolic link to the database", lambda f: os.symlink("Database.mdb", f + "/r.csv"), [],
     ["--export", "r.csv"], None, 2, REFUSED, None, ""),
    ("the database open as standard input", None, [], ["--export", "/proc/self/fd/0"], None, 2,
     REFUSED, None, "stdin"),
    ("a write-ahead log not there yet", None, [], ["--export", "Database.mdb-wal"], None, 2,
     REFUSED, None, ""),
    ("a shared-memory file", lambda f: open(f + "/Database.mdb-shm", "wb").write(b"shm"), [],
     ["--export", "Database.mdb-shm"], None, 2, REFUSED, None, ""),
    ("an Access lock file", None, [], ["--export", "Database.ldb"], None, 2, REFUSED, None, ""),
    ("the file a connection's DBQ names", None, [],
     ["--connect", "Driver=MDBTools;DBQ=Database.mdb", "--export", "./Database.mdb"], None, 2,
     REFUSED, None, ""),
    ("the file a data source's DBQ names", data_source, [],
     ["--connect", "DSN=office", "--export", "{folder}/Database.mdb"], None, 2, REFUSED, None,
     ""),
    ("the menu's mail file as the database", lambda f: shutil.copy(f + "/Database.mdb",
                                                                    f + "/mail.txt"),
     [], ["mail.txt"], MENU_KEYS, 0, "", None, "mail.txt"),
    ("the menu's mail file a link to the database",
     lambda f: os.symlink("Database.mdb", f + "/mail.txt"), [], [], MENU_KEYS, 0, "", None, ""),
    ("standard output appended to a log", None, [], ["--export", "/dev/stdout"], None, 0,
     r"tavrinel: 240 results written to /dev/stdout\n", None, "log"),
    ("in place past the file size limit", in_place, "unprivileged", ["--export", "r.csv"], None,
     3, r"tavrinel: error: cannot write 'r.csv': File too large; an old file of that name is as "
     r"it was\n", "old", "limit"),
    ("in place, the cut failing", in_place, "fail cut", ["--export", "r.csv"], None, 3,
     r"tavrinel: error: cannot write 'r.csv': Input/output error; an old file of that name is "
     r"as it was\n", "old", "strace"),
] + [(f"in place, SIG{name} as the file is cut", in_place, "signal " + name,
      ["--export", "r.csv"], None, -number, "", "old or new", "strace")
     for name, number in (("TERM", 15), ("INT", 2), ("HUP", 1), ("QUIT", 3))] + [
    ("a clerk's 0600 file replaced by root", clerk_file, [], ["--export", "r.csv"], None, 0,
     r"tavrinel: 240 results written to r.csv\n", "new", "root"),
    ("a link planted in a sticky folder", sticky_with_planted_link, [], ["--export", "r.csv"],
     None, 3, r"tavrinel: error: cannot write 'r.csv': a link another user made in a folder "
     r"shared by all is not followed; an old file of that name is as it was\n", None, "root"),
]


def companions(folder):
    names = ("Database.mdb", "Database.mdb-wal", "Database.mdb-shm", "Database.ldb", "mail.txt")
    return {name: open(os.path.join(folder, name), "rb").read()
            for name in names if os.path.isfile(os.path.join(folder, name))}


def missing_need(need):
    if need == "strace" and (shutil.which("strace") is None or
                             (os.geteuid() == 0 and shutil.which("setpriv") is None)):
        return "needs strace and setpriv"
    if need == "limit" and os.geteuid() == 0 and shutil.which("setpriv") is None:
        return "needs setpriv to run as another user"
    if need == "root" and os.geteuid() != 0:
        return "needs root"
    return None


def run_route(binary, fixtures, reference, route):
    name, arrange, prefix, arguments, keys, status, pattern, output, need = route
    folder = tempfile.mkdtemp(prefix="tavrinel-routes-")
    os.chmod(folder, 0o755)
    shutil.copy(os.path.join(fixtures, "demo.mdb"), os.path.join(folder, "Database.mdb"))
    os.chmod(os.path.join(folder, "Database.mdb"), 0o644)
    if arrange:
        arrange(folder)
    before = companions(folder)
    command = [] if isinstance(prefix, list) else unprivileged()
    if isinstance(prefix, str) and prefix.startswith("signal "):
        command = at_cut(f"signal=SIG{prefix.split()[1]}:when=1") + command
    elif prefix == "fail cut":
        command = at_cut("error=EIO") + command
    stdin = open(os.path.join(folder, "Database.mdb"), "rb") if need == "stdin" else None
    log = os.path.join(tempfile.mkdtemp(), "results.log")
    with open(log, "wb") as earlier:
        earlier.write(b"earlier line\n")
    env = {**os.environ, "ODBCINI": os.path.join(folder, "odbc.ini")}
    if command and command[0] == "strace":
        # LeakSanitizer cannot run under ptrace; the sanitizer build's leaks are looked for by
        # every other test.
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    with open(log, "ab") as stdout:
        done = subprocess.run(command + [binary] + [a.format(folder=folder) for a in arguments],
                              cwd=folder, input=keys, stdin=stdin if keys is None else None,
                              stdout=stdout, stderr=subprocess.PIPE, timeout=120,
                              env=env, preexec_fn=limit_file_size if need == "limit" else None)
    os.chmod(folder, 0o755)
    err = done.stderr.decode("utf-8", "replace")
    check(done.returncode == status, f"{name}: status {done.returncode}, not {status}: {err}")
    check(re.fullmatch(pattern, err) is not None, f"{name}: stderr {err!r}")
    after = companions(folder)
    if keys is not None:
        check(b"Cannot open output file" in open(log, "rb").read(),
              f"{name}: the menu did not say it cannot open the file")
    check(after == before, f"{name}: the database or a companion changed "
          f"({sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))})")
    written = os.path.join(folder, "r.csv")
    held = open(written, "rb").read() if os.path.isfile(written) else None
    expected = {"old": [OLD], "new": [reference], "old or new": [OLD, reference]}.get(output)
    if expected is not None:
        check(held in expected, f"{name}: r.csv holds {len(held or b'')} bytes, neither the old "
              f"file nor the whole new one")
    if need == "root" and output == "new":
        info = os.stat(written)
        check((info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)) == (CLERK, CLERK, 0o600),
              f"{name}: owner {info.st_uid}:{info.st_gid}, mode {oct(info.st_mode)}")
    if need == "root" and output is None:
        check(open(folder + "/root-only.txt", "rb").read() == OLD, f"{name}: the link's end changed")
    if need == "log":
        check(open(log, "rb").read() == b"earlier line\n" + reference,
              f"{name}: the log does not hold its earlier line and then the export")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(os.path.dirname(log), ignore_errors=True)


def main():
    binary, fixtures = os.path.abspath(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(os.path.join(fixtures, "demo.mdb"), os.path.join(folder, "Database.mdb"))
        subprocess.run([binary, "--export", "ref.csv"], cwd=folder, check=True,
                       capture_output=True, timeout=120)
        reference = open(os.path.join(folder, "ref.csv"), "rb").read()
    ran = 0
    for route in ROUTES:
        missing = missing_need(route[-1])
        if missing:
            print(f"SKIP {route[0]}: {missing}")
            continue
        run_route(binary, fixtures, reference, route)
        ran += 1
    print(f"{ran} of {len(ROUTES)} routes run, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

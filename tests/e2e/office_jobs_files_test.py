#!/usr/bin/env python3
"""End-to-end: the files of the jobs as other programs read them.

Test plan
 42. --export read back with Python's csv module (byte-order mark, CR LF, quoting) equals the
     results in the letters of every intake, in demo.mdb and in a SQLite file whose texts need
     quoting; --standing has one row per letter.
 43. The printable letters printed to PDF by headless Chromium: one page per student, and every
     word of the address block inside the envelope's window, on A4 and on US Letter; an
     --address-offset moves the block by as much. Skips (status 77) without chromium or
     pdftotext.
 68. Names and subjects that a spreadsheet would take for formulas (=HYPERLINK(...), -1+1, +1,
     @SUM(1), a leading tab): both CSV files opened by LibreOffice Calc headless and saved as flat
     ODF; no cell holds a formula, each such text shows as itself behind an apostrophe, the marks
     are numbers. Skips without soffice.

usage: office_jobs_files_test.py TAVRINEL FIXTURES_DIR
"""
import csv
import html
import io
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

MM = 72 / 25.4  # PDF points per millimetre
# The envelope windows the README gives, in mm: left, top, width, height.
WINDOWS = {"a4": (20, 45, 85, 45), "letter": (22.225, 63.5, 114.3, 28.575)}
TEXT_TOP_MM = 100  # the letter's text starts below the window
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def run(binary, folder, *arguments, database="Database.mdb"):
    done = subprocess.run([binary, database, *arguments], cwd=folder, capture_output=True,
                          timeout=120)
    if done.returncode != 0:
        raise SystemExit(f"{arguments}: status {done.returncode}: {done.stderr.decode()}")
    return done.stdout


def letters_of(binary, folder, intake, database="Database.mdb"):
    """Each letter as (student ID, name, intake, [(level, semester, subject, mark, grade)])."""
    text = run(binary, folder, "--letters", intake, "--output", "-",
               database=database).decode("utf-8")
    letters = []
    for letter in text.split("Mr/Miss ")[1:]:
        listing = letter.split("\r\n")
        fields = dict(re.match(r"(\w+)\t: (.*)", line).groups() for line in listing[4:7])
        results, level, semester = [], None, None
        for line in listing[8:]:
            if line == "":
                break
            if line.startswith("Level "):
                level = line[6:-2]
            elif line.startswith("\tSemester "):
                semester = line[10:-2]
            else:
                subject, mark, grade = line[2:].split("\t\t")
                results.append((level, semester, subject, mark, grade))
        letters.append((fields["ID"], fields["Name"], fields["Intake"], results))
    return letters


def read_csv(path):
    raw = open(path, "rb").read()
    check(raw.startswith(b"\xef\xbb\xbf"), f"{path}: no UTF-8 byte-order mark")
    check(raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b""),
          f"{path}: a line does not end with CR LF")
    return list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline="")))


# Texts that need quoting in CSV: a comma, a double quote, a line break, accented letters.
TRICKY_NAME = 'Zoë "Zed" Ó Briain, Jr.'
TRICKY_SUBJECT = "Ethics,\r\nLaw and \"Society\""


def make_database(path, students, subjects, results):
    """A SQLite file of the program's three tables with these rows."""
    with sqlite3.connect(path) as db:
        db.executescript("""
            CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT,
                                  State TEXT, Postcode TEXT, Intake TEXT);
            CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER,
                                        Marks INTEGER);
            CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level INTEGER);""")
        db.executemany("INSERT INTO Student VALUES (?, ?, '1 Main St', 'Penrith', 'NSW', '2750', "
                       "'APR23IT')", students)
        db.executemany("INSERT INTO Subject VALUES (?, ?, 1)", subjects)
        db.executemany("INSERT INTO StudentResult VALUES (?, ?, ?, ?)", results)


def make_tricky_database(path):
    make_database(path, [("st000001", TRICKY_NAME)], [("LW101", TRICKY_SUBJECT)],
                  [("st000001", "LW101", 1, 75), ("st000001", "LW101", 2, 0)])


def test_csv(binary, folder, database):
    run(binary, folder, "--export", "r.csv", database=database)
    export = read_csv(os.path.join(folder, "r.csv"))
    check(export[0] == ["Student ID", "Name", "Intake", "Level", "Semester", "Subject ID",
                        "Subject Name", "Mark", "Grade"], f"export heading {export[0]}")
    intakes = sorted({row[2] for row in export[1:]})
    from_letters = []
    students = 0
    for intake in intakes:
        for student_id, name, code, results in letters_of(binary, folder, intake, database):
            students += 1
            for level, semester, subject, mark, grade in results:
                from_letters.append([student_id, name, code, level, semester, subject, mark, grade])
    from_export = [row[:6] + row[7:] for row in export[1:]]
    check(from_export == from_letters, f"{database}: export ({len(from_export)} rows) differs "
          f"from the letters ({len(from_letters)} rows)")
    run(binary, folder, "--standing", "s.csv", database=database)
    standing = read_csv(os.path.join(folder, "s.csv"))
    check(len(standing) - 1 == students and all(len(row) == len(standing[0]) for row in standing),
          f"{database}: standing has {len(standing) - 1} rows for {students} students")
    print(f"csv of {database}: {len(from_export)} results of {students} students read back")
    return export


FORMULA_NAMES = ['=HYPERLINK("http://x.example/","click")', "-1+1", "+1", "@SUM(1)", "\tTab"]


def make_formula_database(path):
    students = [(f"st00000{number}", name) for number, name in enumerate(FORMULA_NAMES, 1)]
    make_database(path, students, [("LW101", "=1+2")],
                  [(student, "LW101", 1, 75) for student, _ in students])


def spreadsheet_cells(folder, csv_name):
    """Each cell of the CSV as LibreOffice reads it: (value type, formula or None, text)."""
    profile = "file://" + tempfile.mkdtemp(prefix="soffice-", dir=folder)
    subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to",
                    "fods", "--infilter=CSV:44,34,76", "--outdir", folder,
                    os.path.join(folder, csv_name)], capture_output=True, timeout=180, check=True)
    tree = ElementTree.parse(os.path.join(folder, csv_name.replace(".csv", ".fods")))
    table = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
    office = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
    paragraph = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}p"
    cells = []
    for cell in tree.iter(table + "table-cell"):
        text = "\n".join("".join(p.itertext()) for p in cell.iter(paragraph))
        cells.append((cell.get(office + "value-type"), cell.get(table + "formula"), text))
    return cells


def test_spreadsheet(binary, folder):
    make_formula_database(os.path.join(folder, "formulas.db"))
    for job, name in (("--export", "fx.csv"), ("--standing", "fs.csv")):
        run(binary, folder, job, name, database="formulas.db")
        cells = spreadsheet_cells(folder, name)
        formulas = [cell for cell in cells if cell[1] is not None]
        check(not formulas, f"{name}: cells read as formulas: {formulas}")
        texts = [text for kind, _, text in cells if kind == "string"]
        for stored in FORMULA_NAMES + (["=1+2"] if job == "--export" else []):
            shown = [text for text in texts if text.lstrip("'").strip() == stored.strip()]
            check(shown, f"{name}: {stored!r} does not show as its text")
        numbers = [text for kind, _, text in cells if kind == "float"]
        check(numbers, f"{name}: no number cell")
        print(f"spreadsheet {name}: {len(cells)} cells, no formula, {len(numbers)} numbers")


def words_by_page(pdf):
    bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, check=True,
                          text=True).stdout
    pages = []
    for page in re.findall(r"<page [^>]*>(.*?)</page>", bbox, re.S):
        pages.append([(float(a), float(b), float(c), float(d), html.unescape(w)) for a, b, c, d, w in re.findall(
            r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
            page)])
    return pages


def address_words(page):
    return [word for word in page if word[3] <= TEXT_TOP_MM * MM]


def print_letters(binary, folder, paper, offset=None):
    name = f"{paper}{'-moved' if offset else ''}"
    arguments = ["--letters", "APR23IT", "--printable", name + ".html", "--paper", paper]
    if offset:
        arguments += ["--address-offset", f"{offset[0]},{offset[1]}"]
    run(binary, folder, *arguments)
    profile = tempfile.mkdtemp(prefix="chromium-", dir=folder)
    pdf = os.path.join(folder, name + ".pdf")
    subprocess.run([shutil.which("chromium"), *CHROMIUM_FLAGS, f"--user-data-dir={profile}",
                    f"--print-to-pdf={pdf}", "file://" + os.path.join(folder, name + ".html")],
                   capture_output=True, timeout=120, check=True)
    return words_by_page(pdf)


def test_printable(binary, folder):
    names = [name for _, name, _, _ in letters_of(binary, folder, "APR23IT")]
    for paper, (left, top, width, height) in WINDOWS.items():
        pages = print_letters(binary, folder, paper)
        check(len(pages) == len(names), f"{paper}: {len(pages)} pages for {len(names)} letters")
        for number, (page, name) in enumerate(zip(pages, names), 1):
            block = address_words(page)
            check(" ".join(w for *_, w in block).startswith(name),
                  f"{paper} page {number}: the window does not start with {name!r}")
            for x0, y0, x1, y1, word in block:
                check(left * MM <= x0 and x1 <= (left + width) * MM and top * MM <= y0
                      and y1 <= (top + height) * MM,
                      f"{paper} page {number}: {word!r} at ({x0:.1f}, {y0:.1f})-({x1:.1f}, "
                      f"{y1:.1f}) pt lies outside the window")
        first = address_words(pages[0])
        print(f"printable {paper}: {len(pages)} pages; page 1 address box "
              f"({min(w[0] for w in first) / MM:.1f}, {min(w[1] for w in first) / MM:.1f})-"
              f"({max(w[2] for w in first) / MM:.1f}, {max(w[3] for w in first) / MM:.1f}) mm")
    moved = address_words(print_letters(binary, folder, "a4", (3, -4))[0])
    plain = address_words(print_letters(binary, folder, "a4")[0])
    shifts = {(round((m[0] - p[0]) / MM, 1), round((m[1] - p[1]) / MM, 1))
              for m, p in zip(moved, plain)}
    check(shifts == {(3.0, -4.0)}, f"--address-offset 3,-4 moved the words by {shifts} mm")


def main():
    binary, fixtures = os.path.abspath(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="tavrinel-jobs-") as folder:
        shutil.copy(os.path.join(fixtures, "demo.mdb"), os.path.join(folder, "Database.mdb"))
        test_csv(binary, folder, "Database.mdb")
        make_tricky_database(os.path.join(folder, "tricky.db"))
        tricky = test_csv(binary, folder, "tricky.db")
        check([row[6] for row in tricky[1:]] == [TRICKY_SUBJECT] * 2,
              f"subject names read back as {[row[6] for row in tricky[1:]]}")
        if shutil.which("soffice") is None:
            print("SKIP spreadsheet: needs soffice (apt-get install libreoffice-calc-nogui)")
        else:
            test_spreadsheet(binary, folder)
        missing = [tool for tool in ("chromium", "pdftotext") if shutil.which(tool) is None]
        if missing:
            print(f"SKIP printable letters: needs {' and '.join(missing)} "
                  "(scripts/install-deps.sh --tests)")
            return 1 if failures else 77
        test_printable(binary, folder)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

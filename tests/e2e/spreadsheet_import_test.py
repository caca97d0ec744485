#!/usr/bin/env python3
"""End-to-end: the CSV files as the office's spreadsheet imports them.

Test plan
 45. --export and --standing, in both forms, imported by LibreOffice Calc (headless) with the
     settings of the region each form is for: RFC 4180 commas with an English (US) locale, and
     --separator semicolon with a German locale, where a decimal comma is the number's. Read back
     cell by cell: every row and column in place, names with accents and quotes as stored, IDs
     and words as text, marks, counts, averages and every needs column as numbers of the right
     value. Skips (status
     77) without soffice.

usage: spreadsheet_import_test.py TAVRINEL FIXTURES_DIR
"""
import csv
import io
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

NS = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
      "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
      "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0"}
# LibreOffice's CSV import options: separator, quote, UTF-8, first line, column types, language.
FORMS = {"comma": ("CSV:44,34,76,1,,1033", ","), "semicolon": ("CSV:59,34,76,1,,1031", ";")}
ACCENTED = 'Zoë "Zed" Ó Briain, Jr.'

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def make_database(path):
    with sqlite3.connect(path) as db:
        db.executescript("""
            CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT,
                                  State TEXT, Postcode TEXT, Intake TEXT);
            CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER,
                                        Marks INTEGER);
            CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level INTEGER);
            INSERT INTO Subject VALUES ('LW101', 'Ethics; Law', 1), ('LW102', 'Torts', 1),
                                       ('LW103', 'Contracts', 1);""")
        db.execute("INSERT INTO Student VALUES ('st000001', ?, '1 Main St', 'Penrith', 'NSW', "
                   "'2750', 'APR23IT')", (ACCENTED,))
        db.execute("INSERT INTO Student VALUES ('st000002', 'Nguyễn Thị Trần', '2 Main St', "
                   "'Penrith', 'NSW', '2750', 'APR23IT')")
        db.execute("INSERT INTO StudentResult VALUES ('st000001', 'LW101', 1, 75), "
                   "('st000001', 'LW102', 1, 82), ('st000001', 'LW103', 1, 0), "
                   "('st000002', 'LW101', 1, 41)")


def imported_cells(folder, names, options):
    """Each file's first sheet as rows of (type, value) cells, as Calc imports it."""
    profile = "file://" + os.path.join(folder, "calc-profile")
    subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless",
                    f"--infilter={options}", "--convert-to", "fods", "--outdir",
                    os.path.join(folder, "calc"), *names], cwd=folder, capture_output=True,
                   timeout=180, check=True)
    sheets = {}
    for name in names:
        tree = ElementTree.parse(os.path.join(folder, "calc", name[:-4] + ".fods"))
        rows = []
        for row in tree.iter(f"{{{NS['table']}}}table-row"):
            cells = []
            for cell in row.findall("table:table-cell", NS):
                kind = cell.get(f"{{{NS['office']}}}value-type")
                text = "\n".join("".join(p.itertext()) for p in cell.findall("text:p", NS))
                value = cell.get(f"{{{NS['office']}}}value")
                repeat = int(cell.get(f"{{{NS['table']}}}number-columns-repeated", "1"))
                cells += [(kind, float(value) if kind == "float" else text)] * min(repeat, 64)
            while cells and cells[-1][0] is None:
                cells.pop()
            if cells:
                rows.append(cells)
        sheets[name] = rows
    return sheets


def as_written(path, separator):
    raw = open(path, "rb").read().decode("utf-8-sig")
    return list(csv.reader(io.StringIO(raw, newline=""), delimiter=separator))


def compare(name, written, cells, numeric_columns):
    """Every cell of the file as Calc read it: numbers where the column holds numbers."""
    check(len(cells) == len(written), f"{name}: {len(cells)} rows imported of {len(written)}")
    for r, (row, imported) in enumerate(zip(written, cells)):
        check(len(imported) == len(row), f"{name} row {r}: {len(imported)} cells of {len(row)}")
        for c, (field, (kind, value)) in enumerate(zip(row, imported)):
            number = r > 0 and c in numeric_columns and field not in ("N/A", "-", "")
            if number:
                expected = float(field.replace(",", "."))
                check(kind == "float" and abs(value - expected) < 1e-9,
                      f"{name} row {r} column {c}: {kind} {value!r}, not the number {field}")
            elif field != "":
                check(kind == "string" and value == field,
                      f"{name} row {r} column {c}: {kind} {value!r}, not the text {field!r}")


def main():
    binary = os.path.abspath(sys.argv[1])
    if shutil.which("soffice") is None:
        print("SKIP: needs soffice (apt-get install libreoffice-calc-nogui)")
        return 77
    with tempfile.TemporaryDirectory(prefix="tavrinel-calc-") as folder:
        make_database(os.path.join(folder, "office.db"))
        for form, (options, separator) in FORMS.items():
            names = [f"export-{form}.csv", f"standing-{form}.csv"]
            for job, name in zip(("--export", "--standing"), names):
                subprocess.run([binary, "office.db", job, name, "--separator", form], cwd=folder,
                               capture_output=True, timeout=60, check=True)
            sheets = imported_cells(folder, names, options)
            export = as_written(os.path.join(folder, names[0]), separator)
            standing = as_written(os.path.join(folder, names[1]), separator)
            check(export[1][1] == ACCENTED and len(export) == 5,
                  f"{form}: export read back as {export}")
            # Level, Semester, Mark; Results, Total Marks, Average, Subjects Left, each Needs.
            compare(names[0], export, sheets[names[0]], {3, 4, 7})
            compare(names[1], standing, sheets[names[1]], {3, 4, 5, 6, 8, 10, 12})
            average = sheets[names[1]][1][5]
            check(average == ("float", 157 / 2), f"{form}: the first average read as {average}")
            print(f"{form}: {len(export) - 1} results and {len(standing) - 1} students read back "
                  f"by Calc ({options})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

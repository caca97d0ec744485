#!/usr/bin/env python3
"""End-to-end: the files of the jobs as other programs read them.

Test plan
 42. --export read back with Python's csv module (byte-order mark, CR LF, quoting) equals the
     results in the letters of every intake, in demo.mdb and in a SQLite file whose texts need
     quoting; --standing has one row per letter.
 43. The printable letters printed to PDF by headless Chromium, on A4 and on US Letter, with a
     sender, for letters of one sheet and of three: as many pages as sheets; no word within 10 mm
     of an edge but in the window; every continuation names its student and says "page N of M";
     no result row split; the words the mail letter's, word for word; the name and the three
     address lines each on one line inside the window (on Letter held up and at rest), a name
     of 50 characters included; the sender at the head and over the address; an
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
import unicodedata
from xml.etree import ElementTree

MM = 72 / 25.4  # PDF points per millimetre
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


TABLES = """
    CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT, State TEXT,
                          Postcode TEXT, Intake TEXT);
    CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER, Marks INTEGER);
    CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level INTEGER);"""


def make_database(path, students, subjects, results):
    """A SQLite file of the program's three tables with these rows."""
    with sqlite3.connect(path) as db:
        db.executescript(TABLES)
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
        pages.append([(float(a) / MM, float(b) / MM, float(c) / MM, float(d) / MM,
                       html.unescape(w)) for a, b, c, d, w in re.findall(
            r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
            page)])
    return pages  # each word as (left, top, right, bottom) in mm, and its text


def inside(word, box):
    left, top, width, height = box
    return left <= word[0] and word[2] <= left + width and top <= word[1] and word[3] <= top + height


def print_letters(binary, folder, paper, intake, *extra, database="Database.mdb"):
    name = f"{intake}-{paper}{'-moved' if extra else ''}"
    run(binary, folder, "--letters", intake, "--printable", name + ".html", "--paper", paper,
        *extra, database=database)
    profile = tempfile.mkdtemp(prefix="chromium-", dir=folder)
    pdf = os.path.join(folder, name + ".pdf")
    subprocess.run([shutil.which("chromium"), *CHROMIUM_FLAGS, f"--user-data-dir={profile}",
                    f"--print-to-pdf={pdf}", "file://" + os.path.join(folder, name + ".html")],
                   capture_output=True, timeout=120, check=True)
    sheets = open(os.path.join(folder, name + ".html"), encoding="utf-8").read().count(
        '<section class="sheet">')
    pages = words_by_page(pdf)
    check(len(pages) == sheets, f"{name}: {len(pages)} pages printed for {sheets} sheets")
    return pages


def caret(text):
    return re.sub(r"[\x00-\x1f\x7f]", lambda m: "^" + chr(ord(m.group()) ^ 0x40), text)


def mail_letters(binary, folder, intake, database):
    """Each letter of the mail file as its lines."""
    text = run(binary, folder, "--letters", intake, "--output", "-",
               database=database).decode("utf-8")
    letters = []
    for letter in text.split("\r\n-" + "-" * 72 + "\r\n")[:-1]:
        letters.append(letter.split("\r\n"))
    return letters


def lines_of(words):
    """Words that share a baseline, as lines top to bottom."""
    lines = {}
    for word in words:
        lines.setdefault(round(word[3], 1), []).append(word)
    return [sorted(line) for _, line in sorted(lines.items())]


# A student whose results fill three sheets on either paper, one with a name and street of 50
# characters, one with an accented name stored decomposed and a tab in the street.
LONG_ID, WIDE_ID, ACCENT_ID = "lg000001", "lg000002", "lg000003"
WIDE_NAME = "Maximiliana Alexandra Konstantinopoulou-Fairweathe"
WIDE_STREET = "Apartment 1207, 145 Great Western Highway Parramat"
ACCENT_NAME = unicodedata.normalize("NFD", "Trần Thị Ngọc Bích")
SENDER = ["Academic Office, Faculty of Computing", "12 College Road", "2750 Penrith NSW"]
# Where the window shows the page: A4 (DIN 5008); US Letter held up and at rest.
WINDOWS = {"a4": [(20, 45, 85, 45)],
           "letter": [(22.225, 63.5, 114.3, 28.575), (22.225, 51.9, 114.3, 28.575)]}
PAPER_MM = {"a4": (210, 297), "letter": (215.9, 279.4)}
BODY_TOP_MM = 95  # the letter's text starts below the window on either paper


def make_long_database(path):
    with sqlite3.connect(path) as db:
        db.executescript(TABLES)
        for student, name, street in ((LONG_ID, "Hamish Long", "3 Short Street"),
                                      (WIDE_ID, WIDE_NAME, WIDE_STREET),
                                      (ACCENT_ID, ACCENT_NAME, "1 Main St\tBlock B")):
            db.execute("INSERT INTO Student VALUES (?, ?, ?, 'Penrith', 'NSW', '2750', 'LONG24')",
                       (student, name, street))
        for level in (1, 2, 3):
            for number in range(1, 29):
                subject = f"L{level}S{number:02d}"
                db.execute("INSERT INTO Subject VALUES (?, ?, ?)", (subject, subject, level))
                db.execute("INSERT INTO StudentResult VALUES (?, ?, ?, ?)",
                           (LONG_ID, subject, 1 + number % 2, (level * number * 7) % 101))
        for student in (WIDE_ID, ACCENT_ID):
            db.execute("INSERT INTO StudentResult VALUES (?, 'L1S01', 1, 68)", (student,))


def check_letter(paper, pages, mail, label):
    """One letter's sheets against its mail letter: margins, window, continuations, words."""
    width, height = PAPER_MM[paper]
    name, student_id = mail[9].split(": ", 1)[1], mail[10].split(": ", 1)[1]
    body = []
    for number, page in enumerate(pages, 1):
        where = f"{label} {paper} page {number}"
        for word in page:
            in_window = any(inside(word, window) for window in WINDOWS[paper])
            check(in_window or (10 <= word[0] and word[2] <= width - 10 and 10 <= word[1]
                                and word[3] <= height - 10),
                  f"{where}: {word[4]!r} at {word[:4]} lies within 10 mm of an edge")
        text = " ".join(w[4] for w in page)
        if len(pages) > 1:
            check(f"page {number} of {len(pages)}" in text, f"{where}: no 'page {number} of'")
        if number > 1:
            check(text.startswith(f"{name} \u00b7 {student_id}"), f"{where}: does not name "
                  f"{name!r} {student_id}")
        top = BODY_TOP_MM if number == 1 else 24
        for line in lines_of([w for w in page if w[1] >= top]):
            words = [w[4] for w in line]
            body.append(words)
            if re.fullmatch(r"L\dS\d\d", words[0]):
                check(len(words) == 3, f"{where}: result row {words} split")
    address = lines_of([w for w in pages[0] if inside(w, (0, 60, width, 35))])
    expected = [caret(line) for line in [name] + mail[:3]]
    check([" ".join(w[4] for w in line) for line in address] == expected,
          f"{label} {paper}: window lines {address} are not {expected}")
    for word in (w for line in address for w in line):
        check(all(inside(word, window) for window in WINDOWS[paper]),
              f"{label} {paper}: {word[4]!r} at {word[:4]} is outside a window position")
    mail_words = [w for line in mail[3:] if not re.fullmatch(r"=+|-+", line) for w in line.split()]
    printed = [w for line in body for w in line]
    differ = next((i for i, pair in enumerate(zip(printed + [None], mail_words + [None]))
                   if pair[0] != pair[1]), -1)
    check(differ < 0, f"{label} {paper}: the printed words differ from the mail letter's from "
          f"word {differ}: {printed[differ:differ + 6]} against {mail_words[differ:differ + 6]}")
    return len(pages)


def test_printable(binary, folder):
    make_long_database(os.path.join(folder, "long.db"))
    with open(os.path.join(folder, "sender.txt"), "w", encoding="utf-8") as sender:
        sender.write("\n".join(SENDER) + "\n")
    for intake, database in (("APR23IT", "Database.mdb"), ("LONG24", "long.db")):
        mails = [[unicodedata.normalize("NFC", line) for line in letter]
                 for letter in mail_letters(binary, folder, intake, database)]
        for paper in PAPER_MM:
            pages = print_letters(binary, folder, paper, intake, "--sender", "sender.txt",
                                  database=database)
            pages = [[w[:4] + (unicodedata.normalize("NFC", w[4]),) for w in page]
                     for page in pages]
            counts, first = [], 0
            for number, mail in enumerate(mails, 1):
                # A letter's sheets run up to the next sheet that is no continuation.
                last = first + 1
                while last < len(pages) and re.search(r"page [2-9]\d* of", " ".join(
                        w[4] for w in pages[last])):
                    last += 1
                counts.append(check_letter(paper, pages[first:last], mail, f"{intake} #{number}"))
                window_text = " ".join(w[4] for w in pages[first] if w[3] < 64)
                check(" \u00b7 ".join(SENDER) in window_text and SENDER[0] in window_text,
                      f"{intake} {paper}: the sender is not at the head and over the address")
                first = last
            check(first == len(pages), f"{intake} {paper}: {len(pages) - first} pages left over")
            print(f"printable {intake} {paper}: sheets per letter {counts}")
            if intake == "LONG24":
                check(counts == [3, 1, 1], f"{paper}: LONG24 sheets {counts}, not [3, 1, 1]")
    moved = print_letters(binary, folder, "a4", "APR23IT", "--address-offset", "3,-4")[0]
    plain = print_letters(binary, folder, "a4", "APR23IT")[0]
    shifts = {(round(m[0] - p[0], 1), round(m[1] - p[1], 1))
              for m, p in zip(moved, plain) if p[1] < BODY_TOP_MM}
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

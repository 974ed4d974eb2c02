#!/usr/bin/env python3
"""Checks the Windows functions that programs import against the repository's
list of function ages (tests/imports/windows-api-ages.txt): every import must
be listed, and the oldest Windows each program loads on, in the 9x and the NT
family, must not be newer than the list's floor line. Prints each program's
floor; exit code 1 on any failure.

usage: import_floor.py AGES PROGRAM..."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

NINE_X = ["95", "98", "ME", "-"]  # "-": not in the family at all
NT = ["NT3.51", "NT4", "2000", "XP", "Vista", "7", "8", "10", "-"]


def read_ages(path: Path) -> tuple[tuple[str, str], dict[tuple[str, str], tuple[str, str, str]]]:
    floor = None
    ages = {}
    for number, line in enumerate(path.read_text(encoding="ascii").splitlines(), 1):
        words = line.split()
        if not words or words[0].startswith("#"):
            continue
        if words[0] == "floor" and len(words) == 3:
            floor = (words[1], words[2])
        elif len(words) >= 4 and words[2] in NINE_X and words[3] in NT:
            ages[(words[0].upper(), words[1])] = (words[2], words[3], " ".join(words[4:]))
        else:
            raise SystemExit(f"{path}:{number}: not an age line: {line!r}")
    if floor is None or floor[0] not in NINE_X or floor[1] not in NT:
        raise SystemExit(f"{path}: no valid 'floor <9x> <NT>' line")
    return floor, ages


def imports_of(program: Path) -> list[tuple[str, str]]:
    """(DLL, function) for every import by name, from the PE import table."""
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(program)], check=True,
                          capture_output=True, text=True).stdout
    found, dll = [], None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split("DLL Name:")[1].strip().upper()
            continue
        fields = line.split("\t")
        if dll and len(fields) >= 3 and fields[0] == "" and fields[1].strip():
            words = fields[2].split()
            if words and (words[-1][0].isalpha() or words[-1][0] == "_"):
                found.append((dll, words[-1]))
        elif not line.strip():
            dll = None
    return found


def newest(values: list[str], order: list[str]) -> str:
    return max(values, key=order.index) if values else order[0]


def main(argv: list[str]) -> int:
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    floor, ages = read_ages(Path(argv[1]))
    failed = False
    for program in map(Path, argv[2:]):
        imported = imports_of(program)
        if not imported:
            print(f"{program}: no imports read", file=sys.stderr)
            failed = True
            continue
        unlisted = [f"{dll} {name}" for dll, name in imported if (dll, name) not in ages]
        for entry in unlisted:
            print(f"{program}: imports {entry}, which {argv[1]} does not list with its age", file=sys.stderr)
        listed = [ages[key] for key in imported if key in ages]
        nine_x = newest([age[0] for age in listed], NINE_X)
        nt = newest([age[1] for age in listed], NT)
        for family, value, limit, order in (("9x", nine_x, floor[0], NINE_X), ("NT", nt, floor[1], NT)):
            if order.index(value) > order.index(limit):
                raisers = [f"{dll} {name}" for (dll, name) in imported
                           if (dll, name) in ages and ages[(dll, name)][0 if family == "9x" else 1] == value]
                print(f"{program}: needs {family} {value}, newer than the floor {limit}: "
                      f"{', '.join(raisers)}", file=sys.stderr)
                failed = True
        failed = failed or bool(unlisted)
        print(f"{program.name}: {len(imported)} functions, loads on 9x from {nine_x}, NT from {nt}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

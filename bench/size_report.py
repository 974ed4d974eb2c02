#!/usr/bin/env python3
"""Where the bytes of a statically linked mingw program come from.

    bench/size_report.py build/ship/src/varnix-stub.exe [--map FILE] [--top N]

Reads the GNU ld map (-Wl,-Map; by default the program's name with .map) and
the program's section table, and prints the bytes each group of input files
adds to the file: own code, libstdc++, the C runtime, zlib, winpthread,
libgcc, the import tables, resources and relocations. What no input file
accounts for (PE headers, alignment of sections and of the pieces inside them)
is one more row, so the rows add up to the file size. --top N also lists the
N largest input files.

Only sections that occupy file bytes count (.bss does not). A section whose
pieces add up to more than its size in the file means the map was misread:
the script then stops with an error rather than print wrong figures.
"""

import argparse
import collections
import os
import re
import struct
import sys

# One input section: " .text  0x00401000  0x4e0 /path/lib.a(member.o)"; a
# long name puts address, size and file on the next line.
_PIECE = re.compile(r"^ (\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(.*\S)\s*$")
_PIECE_NAME_ONLY = re.compile(r"^ (\S+)\s*$")
_PIECE_REST = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(.*\S)\s*$")
_OUTPUT_SECTION = re.compile(r"^(\.\S+)")
# Members of Windows import libraries: lib<dll>s<n>.o (one function's thunk
# and import entries), lib<dll>h.o and lib<dll>t.o (head and tail of a DLL's
# import table); for msvcrt the stem is libmsvcrt_def.
_IMPORT_MEMBER = re.compile(r"^lib[A-Za-z0-9_]+(s\d+|h|t)\.o$")

GROUP_ORDER = [
    "own code",
    "libstdc++",
    "C runtime",
    "zlib",
    "winpthread",
    "libgcc",
    "import tables",
    "resources",
    "base relocations",
    "linker-made data",
]
PADDING = "headers and alignment"

_LIBRARY_GROUPS = {
    "libstdc++.a": "libstdc++",
    "libsupc++.a": "libstdc++",
    "libz.a": "zlib",
    "libwinpthread.a": "winpthread",
    "libpthread.a": "winpthread",
    "libgcc.a": "libgcc",
    "libgcc_eh.a": "libgcc",
    "libmingw32.a": "C runtime",
    "libmingwex.a": "C runtime",
    "libmsvcrt.a": "C runtime",
    "libmoldname.a": "C runtime",
}
_RUNTIME_OBJECTS = {"crt1.o", "crt2.o", "crtbegin.o", "crtend.o", "dllcrt2.o"}


def classify(output_section: str, piece: str, source: str) -> str:
    """The group an input section belongs to."""
    if output_section == ".rsrc":
        return "resources"
    if output_section == ".reloc":
        return "base relocations"
    if piece.startswith(".idata"):
        return "import tables"
    if source == "dll stuff" or " " in source and "(" not in source:
        return "linker-made data"  # e.g. "LONG 0x0" from the linker script
    match = re.match(r"^(.*)\(([^()]*)\)$", source)
    archive, member = (match.group(1), match.group(2)) if match else (source, "")
    name = os.path.basename(archive)
    if member and _IMPORT_MEMBER.match(member) and name not in ("libstdc++.a", "libgcc.a", "libz.a"):
        return "import tables"  # the jump thunks of imported functions
    if name in _LIBRARY_GROUPS:
        return _LIBRARY_GROUPS[name]
    if not member and name in _RUNTIME_OBJECTS:
        return "C runtime"
    if re.match(r"^lib[A-Za-z0-9_]+\.a$", name) and archive.startswith("/usr/"):
        return "import tables"  # another system import library
    # The project's objects and archives, and LTO's partitions of them.
    return "own code"


def read_map(path: str):
    """Yields (output section, input section, size, source) for every piece
    of the memory map."""
    with open(path, encoding="utf-8", errors="replace") as handle:
        lines = handle.read().splitlines()
    try:
        start = lines.index("Linker script and memory map")
    except ValueError:
        sys.exit(f"{path}: no memory map in it (was it written by GNU ld -Map?)")
    section = None
    pending = None  # an input section name whose figures follow on the next line
    for line in lines[start + 1:]:
        if pending is not None:
            rest = _PIECE_REST.match(line)
            if rest:
                yield section, pending, int(rest.group(2), 16), rest.group(3)
            pending = None
            if rest:
                continue
        output = _OUTPUT_SECTION.match(line)
        if output:
            section = output.group(1)
            continue
        if section is None or line.startswith(" *(") or line.startswith(" SORT"):
            continue
        if line.startswith(" *fill*"):
            continue  # counted with the alignment, as the remainder of each section
        piece = _PIECE.match(line)
        if piece:
            yield section, piece.group(1), int(piece.group(3), 16), piece.group(4)
            continue
        name_only = _PIECE_NAME_ONLY.match(line)
        if name_only and not name_only.group(1).startswith("*"):
            pending = name_only.group(1)


def read_pe_sections(path: str):
    """Returns ({8-character section name: bytes in the file}, file size)."""
    with open(path, "rb") as handle:
        data = handle.read()
    if data[:2] != b"MZ":
        sys.exit(f"{path}: not a PE file")
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    if data[nt:nt + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", data, nt + 6)
    table = nt + 24 + optional_size
    sections = {}
    for index in range(count):
        entry = table + 40 * index
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        raw_size = struct.unpack_from("<I", data, entry + 16)[0]
        sections[name] = raw_size
    return sections, len(data)


def report(exe: str, map_path: str, top: int) -> None:
    sections, file_size = read_pe_sections(exe)
    groups = collections.Counter()
    per_section = collections.Counter()
    sources = collections.Counter()
    for section, piece, size, source in read_map(map_path):
        key = section[:8]  # PE keeps 8 characters of a name (".eh_frame" is ".eh_fram")
        if not sections.get(key):
            continue  # no bytes in the file: .bss, debug sections (stripped)
        group = classify(section, piece, source)
        groups[group] += size
        per_section[key] += size
        sources[(group, source)] += size
    for key, counted in per_section.items():
        if counted > sections[key]:
            sys.exit(f"{map_path}: section {key} holds {sections[key]} bytes in the file, "
                     f"but its pieces add up to {counted}: the map was misread")
    groups[PADDING] = file_size - sum(groups.values())

    print(f"{os.path.basename(exe)}: {file_size:,} bytes ({file_size / 1024:.1f} KB)")
    print(f"  {'group':<24}{'bytes':>10}{'KB':>9}{'share':>8}")
    for group in GROUP_ORDER + [PADDING]:
        if groups[group]:
            size = groups[group]
            print(f"  {group:<24}{size:>10,}{size / 1024:>9.1f}{100 * size / file_size:>7.1f}%")
    if top:
        print(f"\nThe {top} largest input files:")
        for (group, source), size in sources.most_common(top):
            shown = re.sub(r"^.*/(lib[^/]*\.a\()", r"\1", source)
            print(f"  {size:>9,}  {group:<16} {shown}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe", help="the linked program")
    parser.add_argument("--map", help="its linker map (default: the program's name with .map)")
    parser.add_argument("--top", type=int, default=0, help="also list the N largest input files")
    args = parser.parse_args()
    map_path = args.map or os.path.splitext(args.exe)[0] + ".map"
    for path in (args.exe, map_path):
        if not os.path.isfile(path):
            sys.exit(f"{path}: no such file")
    report(args.exe, map_path, args.top)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Makes the benchmark's reference payloads, the same bytes on every machine.

    make_corpus.py OUT_DIR [--engine PATH] [--seed N]

Writes two folders under OUT_DIR (and with --huge a third):

  payload/   about 200 MB in about 2,040 files:
               text/    24 compressible text files of 2-6 MB (about 96 MB)
               data/    16 incompressible random files of 3-8 MB (about 85 MB)
               small/   2,000 files of 1-20 KB in 40 sub-folders (about 21 MB),
                        seven in ten text, the rest random
               engine.exe  the program the stub starts after unpacking
  single/    one 100 MB file (media.dat: 1 MiB pieces, text and random in
             turn) and engine.exe
  huge/      one file of 4.5 GiB of zeros (disk.img), past every 32-bit file
             offset, and engine.exe. It is sparse: it takes no room here,
             packs to a few MB, and only the unpacked copy is real data.

Everything comes from one seeded generator, and every file gets the same
fixed time stamp, so the packages built from it are the same from run to
run. A stamp file (corpus.stamp) records the seed and layout version; a
second call with the same ones only refreshes engine.exe (when --engine
names another program; it then touches engine.stamp, so that whatever holds
the old engine counts as older) and returns at once.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import random
import shutil
import sys
import time
from pathlib import Path

LAYOUT_VERSION = 1
MIB = 1024 * 1024
FIXED_TIME = time.mktime((2024, 1, 15, 12, 0, 0, 0, 0, -1))

TEXT_FILES = 24
TEXT_SIZES = (2 * MIB, 6 * MIB)
DATA_FILES = 16
DATA_SIZES = (3 * MIB, 8 * MIB)
SMALL_FILES = 2000
SMALL_FOLDERS = 40
SMALL_SIZES = (1024, 20 * 1024)
SMALL_TEXT_SHARE = 0.7
SINGLE_SIZE = 100 * MIB
HUGE_SIZE = 4608 * MIB  # 4.5 GiB
POOL_SIZE = 16 * MIB

# Letters weighted roughly as in English prose, for made-up words.
LETTERS = "eeeeeeeeeeeettttttttaaaaaaaaoooooooiiiiiiinnnnnnnsssssshhhhhhrrrrrrddddllllcccuuummwwffggyyppbbvkjxqz"


def make_text_pool(rng: random.Random, size: int) -> bytes:
    """Prose-like text: made-up words of a 6,000-word vocabulary drawn with
    Zipf weights, in sentences and lines. Deflate shrinks it to about a
    third, as it does real documentation or source text."""
    vocabulary = []
    seen = set()
    while len(vocabulary) < 6000:
        word = "".join(rng.choice(LETTERS) for _ in range(rng.randint(2, 11)))
        if word not in seen:
            seen.add(word)
            vocabulary.append(word)
    weights = [1.0 / (rank + 1) for rank in range(len(vocabulary))]
    cumulative = []
    total = 0.0
    for weight in weights:
        total += weight
        cumulative.append(total)
    words = rng.choices(vocabulary, cum_weights=cumulative, k=size // 5)
    lines = []
    length = 0
    index = 0
    while length < size:
        count = rng.randint(6, 16)
        chunk = words[index:index + count]
        index += count
        if index >= len(words):
            index = 0
        sentence = " ".join(chunk)
        sentence = sentence[:1].upper() + sentence[1:] + rng.choice((".", ".", ".", ",", ";", "?"))
        lines.append(sentence)
        length += len(sentence) + 2
    return "\r\n".join(lines).encode("ascii")[:size]


def text_bytes(rng: random.Random, pool: bytes, size: int) -> bytes:
    """`size` bytes of text: slices of the pool from random places. Slices
    lie much further apart than deflate's 32 KiB window, so the repetition
    does not make the text easier to compress than the pool itself."""
    pieces = []
    left = size
    while left > 0:
        take = min(left, rng.randint(64 * 1024, MIB))
        start = rng.randrange(0, len(pool) - take)
        pieces.append(pool[start:start + take])
        left -= take
    return b"".join(pieces)


def write(path: Path, data: bytes) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    os.utime(path, (FIXED_TIME, FIXED_TIME))


def make_payload(root: Path, rng: random.Random, pool: bytes) -> tuple[int, int]:
    files = 0
    total = 0
    for n in range(TEXT_FILES):
        data = text_bytes(rng, pool, rng.randint(*TEXT_SIZES))
        write(root / "text" / f"doc{n:02d}.txt", data)
        files += 1
        total += len(data)
    for n in range(DATA_FILES):
        data = rng.randbytes(rng.randint(*DATA_SIZES))
        write(root / "data" / f"blob{n:02d}.bin", data)
        files += 1
        total += len(data)
    per_folder = SMALL_FILES // SMALL_FOLDERS
    for n in range(SMALL_FILES):
        size = rng.randint(*SMALL_SIZES)
        folder = root / "small" / f"dir{n // per_folder:02d}"
        if rng.random() < SMALL_TEXT_SHARE:
            data = text_bytes(rng, pool, size)
            name = f"note{n:04d}.txt"
        else:
            data = rng.randbytes(size)
            name = f"item{n:04d}.dat"
        write(folder / name, data)
        files += 1
        total += len(data)
    return files, total


def make_single(root: Path, rng: random.Random, pool: bytes) -> int:
    path = root / "media.dat"
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        for n in range(SINGLE_SIZE // MIB):
            out.write(text_bytes(rng, pool, MIB) if n % 2 == 0 else rng.randbytes(MIB))
    os.utime(path, (FIXED_TIME, FIXED_TIME))
    return SINGLE_SIZE


def make_huge(root: Path, engine: Path | None) -> None:
    path = root / "disk.img"
    if not path.exists() or path.stat().st_size != HUGE_SIZE:
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, "wb") as out:
            out.truncate(HUGE_SIZE)
        os.utime(path, (FIXED_TIME, FIXED_TIME))
    place_engine(engine, root)


def place_engine(engine: Path | None, folder: Path) -> bool:
    """Copies the engine into `folder`; true when engine.exe changed."""
    target = folder / "engine.exe"
    if engine is None:
        if not target.exists():
            sys.exit(f"make_corpus: {target} is missing and no --engine was given")
        return False
    data = engine.read_bytes()
    if target.exists() and target.read_bytes() == data:
        return False
    write(target, data)
    return True


def folder_digest(folder: Path) -> str:
    """Names and sizes of every file (a cheap check that nobody changed it)."""
    digest = hashlib.sha256()
    for path in sorted(folder.rglob("*")):
        if path.is_file() and path.name != "engine.exe":
            digest.update(f"{path.relative_to(folder).as_posix()} {path.stat().st_size}\n".encode())
    return digest.hexdigest()[:16]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out", type=Path)
    parser.add_argument("--engine", type=Path, help="program copied into both payloads as engine.exe")
    parser.add_argument("--seed", type=int, default=20240115)
    parser.add_argument("--huge", action="store_true", help="also make huge/ (see above)")
    args = parser.parse_args()

    out = args.out.resolve()
    if args.huge:
        make_huge(out / "huge", args.engine)
    payload = out / "payload"
    single = out / "single"
    stamp = out / "corpus.stamp"
    wanted = f"layout {LAYOUT_VERSION} seed {args.seed}"
    if stamp.exists():
        lines = stamp.read_text().splitlines()
        if (len(lines) == 3 and lines[0] == wanted and payload.is_dir() and single.is_dir()
                and lines[1] == folder_digest(payload) and lines[2] == folder_digest(single)):
            changed = place_engine(args.engine, payload)
            changed = place_engine(args.engine, single) or changed
            if changed:
                (out / "engine.stamp").touch()  # what holds the old engine.exe is out of date
            print(f"make_corpus: {out} is up to date ({wanted})" + (", new engine.exe" if changed else ""))
            return 0

    started = time.monotonic()
    stamp.unlink(missing_ok=True)
    shutil.rmtree(payload, ignore_errors=True)
    shutil.rmtree(single, ignore_errors=True)
    rng = random.Random(args.seed)
    pool = make_text_pool(rng, POOL_SIZE)
    files, total = make_payload(payload, rng, pool)
    single_total = make_single(single, rng, pool)
    place_engine(args.engine, payload)
    place_engine(args.engine, single)
    stamp.write_text(f"{wanted}\n{folder_digest(payload)}\n{folder_digest(single)}\n")
    (out / "engine.stamp").touch()
    print(f"make_corpus: payload {files} files + engine.exe, {total / 1e6:.1f} MB; "
          f"single {single_total / 1e6:.1f} MB; {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())

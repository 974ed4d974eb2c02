"""The package layout as the tests read, patch and craft it, kept in one place
for the end-to-end tests and the authoring tool's command-line tests. It
mirrors src/package/PackageFormat.h:

    image ("MZ" ... "PE" at 0x100, the end pointer at 0xF8..0xFF)
    blocks from the trailer's data offset: i32 length, then that many bytes
        (text blocks first; file entries: length > 0 zlib, <= 0 stored)
    trailer, 74 bytes, ending with its own length

A file entry is an entry header "|name|size|..." (a launch entry's name
carries a "*" and its arguments), one 0x00 byte, then the file's bytes.
Volumes 2, 3, ... of a split package are the files OUT.002, OUT.003 (with
NumberFirstVolume the first is OUT.001). All integers are little-endian."""

from __future__ import annotations

import re
import struct
from pathlib import Path

TEXT_ENCODING = "cp1252"  # the 8-bit text of names, as in the tests' Wine prefixes
TRAILER_SIZE = 74
MAGIC = 0x4A3B2C1D
CHECKSUM_OFF = 1234  # a stored checksum that always passes
CHECKSUM_LIMIT = 51_200  # larger volumes are not checksummed

# Where the image keeps the end pointer (high u32, then low u32) and the
# signature that makes it a program.
END_POINTER = 0xF8
END_POINTER_LOW = 0xFC
PE_SIGNATURE = 0x100

# Offsets inside the trailer.
VERSION = 0
HEADER_BLOCK_COUNT = 1  # 2 or 3 text blocks; 0 reads as 2
DATA_OFFSET = 4  # u32: the first block
FILE_COUNT = 8  # u32
PACKAGE_MAGIC = 12  # u32
PACKAGE_CHECKSUM = 16  # u32
IS_UPDATE_AGENT = 69  # u8
TRAILER_LENGTH = 70  # u32: the whole trailer


def trailer_offset(data: bytes) -> int:
    """Where the trailer starts in a package without data after it."""
    return len(data) - TRAILER_SIZE


def read_trailer_u32(data: bytes, field: int) -> int:
    return struct.unpack_from("<I", data, trailer_offset(data) + field)[0]


def write_trailer_u32(data: bytearray, field: int, value: int) -> None:
    struct.pack_into("<I", data, trailer_offset(data) + field, value)


def make_trailer(data_offset: int, file_count: int, checksum: int = CHECKSUM_OFF,
                 version: int = 1, header_blocks: int = 2) -> bytes:
    trailer = bytearray(TRAILER_SIZE)
    trailer[VERSION], trailer[HEADER_BLOCK_COUNT] = version, header_blocks
    struct.pack_into("<IIII", trailer, DATA_OFFSET, data_offset, file_count, MAGIC, checksum)
    struct.pack_into("<I", trailer, TRAILER_LENGTH, TRAILER_SIZE)
    return bytes(trailer)


def read_end_pointer(data: bytes) -> tuple[int, int]:
    """(high, low) halves of the end pointer."""
    return struct.unpack_from("<II", data, END_POINTER)


def block(content: bytes, length: int | None = None) -> bytes:
    """A block of `content` under its length (a text block or a zlib entry),
    or under the signed `length` given."""
    return struct.pack("<i", len(content) if length is None else length) + content


def stored_entry(header: bytes, content: bytes) -> bytes:
    """A file entry stored without compression: its length is negative."""
    data = header + b"\0" + content
    return block(data, -len(data))


def entry_name_field(name: str | bytes) -> bytes:
    """The name field of an entry header, as the bytes "|name|"; in a stored
    entry these can be found and patched in the package."""
    raw = name if isinstance(name, bytes) else name.encode(TEXT_ENCODING)
    return b"|" + raw + b"|"


def block_length(data: bytes, offset: int) -> int:
    return struct.unpack_from("<i", data, offset)[0]


def write_block_length(data: bytearray, offset: int, length: int) -> None:
    struct.pack_into("<i", data, offset, length)


def package_blocks(data: bytes) -> tuple[list[tuple[int, int]], int]:
    """(offset, signed length) of every block of a one-volume package without
    end pointer, and the number of text blocks before the file entries."""
    trailer = trailer_offset(data)
    text_blocks = data[trailer + HEADER_BLOCK_COUNT] or 2
    offset = read_trailer_u32(data, DATA_OFFSET)
    blocks = []
    while trailer - offset > 0:
        length = block_length(data, offset)
        blocks.append((offset, length))
        offset += 4 + abs(length)
    assert offset == trailer, "premise: the blocks end at the trailer"
    return blocks, text_blocks


def last_entry(data: bytes) -> tuple[int, int]:
    """(offset, signed length) of the last file entry."""
    blocks, text_blocks = package_blocks(data)
    assert len(blocks) > text_blocks
    return blocks[-1]


def volumes_of(out: Path) -> list[Path]:
    """The volume files the tool wrote for OUT, in order."""
    numbered = sorted((p for p in out.parent.iterdir()
                       if re.fullmatch(re.escape(out.name) + r"\.\d{3,}", p.name)),
                      key=lambda p: int(p.suffix[1:]))
    return ([out] if out.exists() else []) + numbered

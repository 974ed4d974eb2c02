#!/usr/bin/env python3
"""Moves the NT headers of a linked PE file to offset 0x100.

The package format keeps its end pointer at file offsets 0xF8..0xFF and takes
a file for a PE file only when "PE" stands at 0x100. GNU ld puts the NT
headers at 0x80, where 0xF8..0xFF fall inside the optional header. Moving
the signature, file header, optional header and section table to 0x100 (and
pointing e_lfanew there) leaves 0xF8..0xFF free and zero. The move needs room
below SizeOfHeaders and below the first section's data; the build fails when
that room is missing. Running it again on a moved file changes nothing.
"""
import struct
import sys

TARGET = 0x100


def fail(message):
    sys.exit(f"move_pe_header: {message}")


def main(path):
    data = bytearray(open(path, "rb").read())
    if data[:2] != b"MZ" or len(data) < 0x40:
        fail(f"{path} is not an MZ file")
    lfanew = struct.unpack_from("<I", data, 0x3C)[0]
    if data[lfanew:lfanew + 4] != b"PE\0\0":
        fail(f"{path}: no PE signature at e_lfanew 0x{lfanew:X}")

    sections, optional_size = struct.unpack_from("<H", data, lfanew + 6)[0], struct.unpack_from("<H", data, lfanew + 20)[0]
    optional = lfanew + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        fail(f"{path} is not a PE32 image")
    size_of_headers = struct.unpack_from("<I", data, optional + 60)[0]
    headers_length = 4 + 20 + optional_size + 40 * sections
    table = optional + optional_size
    raw_starts = [struct.unpack_from("<II", data, table + 40 * i + 16) for i in range(sections)]
    first_data = min([pointer for size, pointer in raw_starts if size and pointer] or [size_of_headers])

    if lfanew == TARGET:
        return
    if lfanew > TARGET:
        fail(f"{path}: headers already start past 0x{TARGET:X}")
    new_end = TARGET + headers_length
    if new_end > size_of_headers or new_end > first_data:
        fail(f"{path}: no room to move {headers_length} header bytes to 0x{TARGET:X} "
             f"(SizeOfHeaders 0x{size_of_headers:X}, first section data at 0x{first_data:X})")
    old_end = lfanew + headers_length
    if any(data[old_end:new_end]):
        fail(f"{path}: bytes behind the headers are in use, cannot move them")

    headers = bytes(data[lfanew:old_end])
    data[lfanew:new_end] = bytes(new_end - lfanew)
    data[TARGET:new_end] = headers
    struct.pack_into("<I", data, 0x3C, TARGET)
    assert not any(data[0xF8:0x100])
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: move_pe_header.py FILE.exe")
    main(sys.argv[1])

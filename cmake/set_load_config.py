#!/usr/bin/python3
"""Points a 64-bit program's load configuration directory at its _load_config_used.

GNU ld 2.40 (Debian 12's) fills that data directory for no symbol, so after the link this sets it: the
address of _load_config_used from the program's own symbol table, the size its first four bytes give,
and the header's checksum made again over the changed file.

    set_load_config.py PROGRAM.exe
"""

import struct
import sys

LOAD_CONFIG = 10


def headers(data):
    """The optional header's offset, and each section as (address, raw size, raw offset)."""
    coff = struct.unpack_from("<I", data, 0x3C)[0] + 4
    count, optional_size = struct.unpack_from("<H12xH", data, coff + 2)
    optional = coff + 20
    if struct.unpack_from("<H", data, optional)[0] != 0x20B:
        sys.exit("not a 64-bit program")
    sections = []
    for i in range(count):
        address, raw_size, raw = struct.unpack_from("<III", data, optional + optional_size + 40 * i + 12)
        sections.append((address, raw_size, raw))
    return coff, optional, sections


def symbol(data, coff, sections, name):
    """The relative address of a symbol, as the COFF table after the sections gives it."""
    table, count = struct.unpack_from("<II", data, coff + 8)
    strings = table + 18 * count
    i = 0
    while i < count:
        raw, value, section, _, _, aux = struct.unpack_from("<8sIhHBB", data, table + 18 * i)
        if raw[:4] == b"\0\0\0\0":
            at = strings + struct.unpack_from("<I", raw, 4)[0]
            raw = data[at:data.index(b"\0", at)]
        if raw.rstrip(b"\0") == name and section > 0:
            return sections[section - 1][0] + value
        i += 1 + aux
    sys.exit("%s is not among the program's symbols" % name.decode())


def checksum(data, field):
    """The header checksum: 16-bit words summed with their carries folded in, the field itself
    counted as 0, plus the file's length."""
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for i, (word,) in enumerate(struct.iter_unpack("<H", padded)):
        if field <= 2 * i < field + 4:
            continue
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(data)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    coff, optional, sections = headers(data)
    rva = symbol(data, coff, sections, b"_load_config_used")
    for address, raw_size, raw in sections:
        if address <= rva < address + raw_size:
            size = struct.unpack_from("<I", data, raw + rva - address)[0]
            break
    else:
        sys.exit("_load_config_used lies in no section with contents")
    struct.pack_into("<II", data, optional + 112 + 8 * LOAD_CONFIG, rva, size)
    struct.pack_into("<I", data, optional + 64, checksum(data, optional + 64))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])

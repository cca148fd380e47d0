#!/usr/bin/env python3
"""Prints the version resource of a Windows program (PE32 or PE32+), one "name=value" a line:
FixedFileVersion and FixedProductVersion from its fixed part, then every string of its string tables.

    pe-version.py FILE
"""
import struct
import sys

RT_VERSION = 16


def align4(offset):
    return (offset + 3) & ~3


def resource_section(image):
    """The resource directory's file offset and the rule that turns an RVA into a file offset."""
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    # The data directories follow the standard and Windows fields: 96 bytes of them in PE32, 112 in
    # PE32+ (whose image base and stack and heap sizes are 64-bit).
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in (0x10B, 0x20B):
        sys.exit("neither PE32 nor PE32+")
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        size, rva, _, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((rva, size, raw))

    def file_offset(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return rva - start + raw
        sys.exit("address outside every section")

    return file_offset(resource_rva), file_offset


def version_block(image):
    """The bytes of the first RT_VERSION resource (first name, first language)."""
    root, file_offset = resource_section(image)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", image, directory + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", image, directory + 16 + 8 * i)

    node = None
    for name, target in entries(root):
        if name == RT_VERSION:
            node = target
    if node is None:
        sys.exit("no version resource")
    for _ in range(2):  # name, then language
        node = next(entries(root + (node & 0x7FFFFFFF)))[1]
    rva, size = struct.unpack_from("<II", image, root + node)
    start = file_offset(rva)
    return image[start:start + size]


def blocks(data, offset, end):
    """The children of a version block: (key, value offset, value end, children offset, block end)."""
    while offset + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        key_end = data.index(b"\0\0", offset + 6)
        while (key_end - offset) % 2:
            key_end = data.index(b"\0\0", key_end + 1)
        key = data[offset + 6:key_end].decode("utf-16-le")
        value = align4(key_end + 2)
        value_end = value + value_length * (2 if kind == 1 else 1)
        yield key, value, value_end, align4(value_end), offset + length
        offset = align4(offset + length)


def main():
    with open(sys.argv[1], "rb") as f:
        data = version_block(f.read())
    (key, value, _, children, end), = blocks(data, 0, len(data))
    ms_file, ls_file, ms_product, ls_product = struct.unpack_from("<4I", data, value + 8)

    def dotted(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    print(f"FixedFileVersion={dotted(ms_file, ls_file)}")
    print(f"FixedProductVersion={dotted(ms_product, ls_product)}")
    for info, _, _, info_children, info_end in blocks(data, children, end):
        if info != "StringFileInfo":
            continue
        for _, _, _, table_children, table_end in blocks(data, info_children, info_end):
            for name, text, _, _, text_end in blocks(data, table_children, table_end):
                raw = data[text:text_end].decode("utf-16-le")
                print(f"{name}={raw.split(chr(0))[0]}")


if __name__ == "__main__":
    main()

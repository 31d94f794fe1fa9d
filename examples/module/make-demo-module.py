#!/usr/bin/env python3
"""Writes demo-module.hex: a small radio-module image in Intel HEX.

Two blocks: 4 KiB of code at 0x00000000 and a 256-byte identity block at
0x00010000 (reached through an extended linear address record, type 04).
The content is deterministic, so the file only changes when this script does.

    python3 examples/module/make-demo-module.py [output]
"""
import os
import struct
import sys


def record(rtype, address, data=b""):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + data
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper() + "\n"


def code_block(size):
    # A vector table, then a repeating instruction-like pattern.
    out = bytearray()
    for vector in range(16):
        out += struct.pack("<I", 0x00000100 + vector * 8)
    seed = 0x4B53
    while len(out) < size:
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        out += struct.pack("<H", 0xB500 | (seed >> 16) & 0xFF)
    return bytes(out[:size])


def identity_block():
    text = b"KESTRIX DEMO MODULE 1.0\x00"
    block = bytearray(b"\xFF" * 256)
    block[: len(text)] = text
    return bytes(block)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "demo-module.hex")
    lines = [record(4, 0, b"\x00\x00")]
    code = code_block(4096)
    for offset in range(0, len(code), 16):
        lines.append(record(0, offset, code[offset : offset + 16]))
    lines.append(record(4, 0, b"\x00\x01"))
    ident = identity_block()
    for offset in range(0, len(ident), 16):
        lines.append(record(0, offset, ident[offset : offset + 16]))
    lines.append(record(1, 0))
    with open(output, "w", newline="\n") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Writes the code page 932 tables declared in platform/code_page_932_table.h.

Usage: code_page_932_table.py OUT.cc

Every entry is what glibc's iconv gives for one character, "UTF-8" from "CP932" and back,
asked through ctypes: the converter of the Linux programs, so a build whose C library has
no code page 932 converts names exactly as they do.
"""

import ctypes
import os
import sys

# The lead bytes of code page 932's double-byte characters, in the order of their rows.
LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
SURROGATES = range(0xD800, 0xE000)


class Iconv:
    """One iconv descriptor of the C library, converting one whole character at a time."""

    def __init__(self, libc, to, source):
        self.libc = libc
        self.descriptor = libc.iconv_open(to, source)
        if self.descriptor is None or self.descriptor == ctypes.c_void_p(-1).value:
            sys.exit("code_page_932_table.py: iconv cannot convert %s to %s"
                     % (source.decode(), to.decode()))

    def convert(self, data):
        """The output for `data`, or None when iconv refuses it or leaves part of it."""
        self.libc.iconv(self.descriptor, None, None, None, None)
        source = ctypes.create_string_buffer(data, len(data))
        target = ctypes.create_string_buffer(16)
        in_pointer = ctypes.cast(source, ctypes.c_char_p)
        in_left = ctypes.c_size_t(len(data))
        out_pointer = ctypes.cast(target, ctypes.c_char_p)
        out_left = ctypes.c_size_t(len(target))
        result = self.libc.iconv(self.descriptor, ctypes.byref(in_pointer), ctypes.byref(in_left),
                                 ctypes.byref(out_pointer), ctypes.byref(out_left))
        if result == ctypes.c_size_t(-1).value or in_left.value != 0:
            return None
        return target.raw[:len(target) - out_left.value]


def open_libc():
    libc = ctypes.CDLL("libc.so.6")
    libc.iconv_open.restype = ctypes.c_void_p
    libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    pointer = ctypes.POINTER(ctypes.c_char_p)
    size = ctypes.POINTER(ctypes.c_size_t)
    libc.iconv.restype = ctypes.c_size_t
    libc.iconv.argtypes = [ctypes.c_void_p, pointer, size, pointer, size]
    return libc


def fail(what):
    sys.exit("code_page_932_table.py: the tables cannot hold what iconv gives for " + what)


def disk_characters():
    """Every character the tables index, in index order: single bytes, then lead rows."""
    for byte in range(0x100):
        yield bytes([byte])
    for lead in LEADS:
        for trail in range(0x100):
            yield bytes([lead, trail])


def to_unicode_table(to_utf8):
    """Each disk character's code point (0 where refused) and the bits of those converted."""
    code_points = []
    converts = []
    for character in disk_characters():
        utf8 = to_utf8.convert(character)
        if utf8 is None:
            code_points.append(0)
            converts.append(False)
            continue
        text = utf8.decode("utf-8")
        if len(text) != 1 or ord(text) > 0xFFFF:
            fail("code page 932 %s: %s" % (character.hex().upper(), utf8.hex().upper()))
        code_points.append(ord(text))
        converts.append(True)
    return code_points, converts


def to_disk_tables(to_disk):
    """The (code point, bytes) pairs of the Basic Multilingual Plane and the ranges of code
    points iconv accepts and writes nothing for."""
    pairs = []
    dropped = []
    for code_point in range(0x110000):
        if code_point in SURROGATES:
            continue
        disk = to_disk.convert(chr(code_point).encode("utf-8"))
        if disk is None:
            continue
        if not disk:
            if dropped and dropped[-1][1] == code_point - 1:
                dropped[-1][1] = code_point
            else:
                dropped.append([code_point, code_point])
        elif code_point > 0xFFFF or len(disk) > 2 or (len(disk) == 2 and disk[0] not in LEADS):
            fail("U+%04X: %s" % (code_point, disk.hex().upper()))
        else:
            pairs.append((code_point, int.from_bytes(disk, "big")))
    return pairs, dropped


def rows(values, per_line):
    return "\n".join("    " + " ".join(values[at:at + per_line])
                     for at in range(0, len(values), per_line))


def source_text(code_points, converts, pairs, dropped):
    bits = []
    for at in range(0, len(converts), 8):
        bits.append(sum(1 << i for i in range(8) if converts[at + i]))
    ranges = ["{0x%X, 0x%X}," % (first, last) for first, last in dropped]
    if not ranges:
        ranges = ["{1, 0},"]  # first after last: holds no code point
    return """// Written by tools/code_page_932_table.py from the build machine's glibc iconv.
#include "platform/code_page_932_table.h"

namespace platform {

const uint16_t kCodePage932ToUnicode[kCodePage932Characters] = {
%s
};

const uint8_t kCodePage932Converts[kCodePage932Characters / 8] = {
%s
};

const UnicodeToCodePage932 kUnicodeToCodePage932[] = {
%s
};
const size_t kUnicodeToCodePage932Count = %d;

const CodePointRange kCodePage932Dropped[] = {
%s
};
const size_t kCodePage932DroppedCount = %d;

}  // namespace platform
""" % (rows(["0x%04X," % c for c in code_points], 12), rows(["0x%02X," % b for b in bits], 16),
       rows(["{0x%04X, 0x%04X}," % pair for pair in pairs], 6), len(pairs), rows(ranges, 4),
       len(dropped))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: code_page_932_table.py OUT.cc")
    libc = open_libc()
    code_points, converts = to_unicode_table(Iconv(libc, b"UTF-8", b"CP932"))
    pairs, dropped = to_disk_tables(Iconv(libc, b"CP932", b"UTF-8"))
    # A half-written file would look up to date to the build; it appears whole or not at all.
    partial = sys.argv[1] + ".partial"
    with open(partial, "w", encoding="ascii") as out:
        out.write(source_text(code_points, converts, pairs, dropped))
    os.replace(partial, sys.argv[1])


if __name__ == "__main__":
    main()

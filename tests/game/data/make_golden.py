#!/usr/bin/env python3
"""Writes the golden files of the game's file-format tests into this folder.

Each file is laid out here field by field from the formats themselves, not
saved from what the game writes, so a slip made alike in the game's writer
and reader still fails the tests (tests/game/golden_files_test.cpp, which
holds the same values). Run it again only when a format changes:

    python3 tests/game/data/make_golden.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def u8(v):
    return struct.pack("<B", v)


def u16(v):  # little-endian, as every number of the replay and score files
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def i32(v):
    return struct.pack("<i", v)


# ---- replay files (".vrs") --------------------------------------------------
# "VDRP", the number of field sections, then each section:
#   mode (1), level_target (2), clear_score (1), garbage_score (1),
#   colours x 16 + clear_count (1), seed (4), L (4), then L bytes: a zlib
#   stream of the commands, 8 bytes each: frame (4), bits (2: presses in the
#   low byte, releases in the high byte), 2 bytes of 0.

def command(frame, bits):
    return u32(frame) + u16(bits) + b"\0\0"


def section(mode, level_target, clear_score, garbage_score, colours, clear_count, seed, commands):
    stream = zlib.compress(b"".join(command(f, b) for f, b in commands))
    return (u8(mode) + u16(level_target) + u8(clear_score) + u8(garbage_score) +
            u8(colours * 16 + clear_count) + u32(seed) + u32(len(stream)) + stream)


# A break trial from level 9 with a target of 150 blocks (level_target
# 9 + 32 x 15 = 489); the colours of level 9 (9 / 8 + 3 = 4). Frames and bits
# are chosen so that every byte of each differs.
SINGLE_COMMANDS = [
    (0, 0x0008),           # down pressed in the first frame
    (300, 0x0110),         # counter-clockwise pressed, left released
    (70000, 0x2002),       # right pressed, clockwise released
    (0x01020304, 0x0800),  # down released
]
write("single.vrs", b"VDRP" + u8(1) +
      section(2, 9 + 32 * 15, 130, 70, 4, 5, 0x00A1B2C3, SINGLE_COMMANDS))

# A battle: the left field first, with commands; the right one with none
# (its stream is the zlib stream of no data). Both draw from one seed.
BATTLE_LEFT = [(5, 0x0001), (0x0001FF00, 0x0020), (0x00ABCDEF, 0x4000)]
write("battle.vrs", b"VDRP" + u8(2) +
      section(3, 12, 250, 0, 6, 2, 0x00FEDCBA, BATTLE_LEFT) +
      section(3, 30, 10, 250, 3, 12, 0x00FEDCBA, []))

# ---- the high-score file "score.vsd" ----------------------------------------
# "VDSC", then 15 records of 11 bytes: name (4: a shorter name ends with a
# NUL; the bytes after it mean nothing, and the game writes them as 0), score
# (4, signed), erased blocks (2, unsigned), longest chain (1, unsigned).
# Records 0-4 endless, 5-9 time trial, 10-14 break trial, best place first.
HISCORES = [
    (b"ABCD", 0x01020304, 0xFFEE, 0xFD),
    (b"AB\0\0", 70000, 513, 7),  # a name of two characters
    (b"    ", 5, 1, 1),
    (b"\0\0\0\0", 0, 0, 0),
    (b"Z\0\0\0", -10, 65535, 255),
    (b"TIME", 0x7FFFFFFF, 40000, 19),
    (b"T\0\0\0", 123456, 300, 3),
    (b"tt  ", 99999, 299, 2),
    (b"t2\0\0", 1000, 10, 1),
    (b"t3\0\0", 999, 9, 0),
    (b"BRK!", 8000000, 150, 12),
    (b"br\0\0", 700000, 140, 6),
    (b"b3\0\0", 60000, 130, 5),
    (b"b4\0\0", 5000, 120, 4),
    (b"b5\0\0", 400, 110, 2),
]
write("score.vsd", b"VDSC" + b"".join(name + i32(score) + u16(erased) + u8(chain)
                                      for name, score, erased, chain in HISCORES))

# ---- the settings file "Voxaldrift.ini" -------------------------------------
# One section "Custom", a key=value line per setting as decimal text (the
# port as its five digits), lines ended by CR LF, in the order the keys are
# first written.
SETTINGS = [
    ("FullScreen", "1"), ("WideScreen", "1"), ("A_Custom", "128"), ("B_Custom", "8192"),
    ("C_Custom", "256"), ("START_Custom", "16"), ("BGM_Volume", "35"), ("SE_Volume", "80"),
    ("SoundData_Type", "2"), ("DefaultPort", "05000"),
]
write("Voxaldrift.ini", "".join(line + "\r\n" for line in
                                ["[Custom]"] + [k + "=" + v for k, v in SETTINGS]).encode("ascii"))

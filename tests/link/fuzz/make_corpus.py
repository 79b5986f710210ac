#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz harnesses: well-formed replies of each
kind and family (parse), and the same replies as whole exchanges, cut into
chunks with pauses (exchange). Run from anywhere; rewrites corpus/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

BOARDS = {"08A3": (0x08, 0xA3, 1, 3), "08A2": (0x08, 0xA2, 0, 2), "04F2": (0x04, 0xF2, 0, 1)}


def header(kind, board):
    hi, lo, major, minor = BOARDS[board]
    return bytes([kind, hi, lo, major, minor])


def identity(board):
    return header(1, board) + struct.pack(">5I", 0x1001, 0x0415, 0x00390021, 0x4E465009, 0x20383352)


def config(board):
    if board == "04F2":
        return header(2, board) + bytes([3, 1]) + struct.pack(">HH", 1600, 1400)
    failsafe = struct.pack(">12H", *[905 + 97 * ch for ch in range(12)])
    return header(2, board) + bytes([1, 0, 1, 0, 1, 1]) + failsafe + bytes([1]) + struct.pack(">HH", 1850, 1150)


def dump(board):
    text = b"\nEEPROM fw, 64 bytes\n0000: 08 A3 01 03 00 01\ngain=1\n"
    return header(3, board) + b"\x01" + text


def status(board):
    if board == "04F2":
        return header(4, board) + bytes([0, 100, 0, 2, 4, 5, 120]) + bytes(7) + bytes([62])
    return header(4, board) + bytes([0, 0x05, 0xDC, 0x00, 0x32, 0x01, 0x00])


def chunked(data, pieces):
    """pieces: list of (length, pause index 0-6); the last takes the rest."""
    out = b""
    for length, pause in pieces:
        part, data = data[:length], data[length:]
        while part:
            out += bytes([(pause << 5) | (min(len(part), 32) - 1)]) + part[:32]
            part, pause = part[32:], 0
        if not data:
            break
    while data:
        out += bytes([min(len(data), 32) - 1]) + data[:32]
        data = data[32:]
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parse = os.path.join(HERE, "corpus", "fuzz_parse")
    for board in BOARDS:
        write(os.path.join(parse, f"identity-{board}"), identity(board))
        write(os.path.join(parse, f"config-{board}"), config(board))
        write(os.path.join(parse, f"status-{board}"), status(board))
    write(os.path.join(parse, "dump-08A3"), dump("08A3"))
    write(os.path.join(parse, "dump-04F2"), dump("04F2"))
    write(os.path.join(parse, "defaults-ack-08A3"), header(5, "08A3"))

    # Command numbers: 0 identity, 1 config read, 2 dump, 3 status,
    # 4 config write, 5 set defaults. Starting family: 1 08A3, 2 08A2, 3 04F2.
    exchange = os.path.join(HERE, "corpus", "fuzz_exchange")
    seeds = {
        "identity-08A3": (0, 0, identity("08A3"), [(25, 0)]),
        "config-08A3-split": (1, 1, config("08A3"), [(20, 0), (20, 5)]),
        "status-08A3-trickle": (3, 1, status("08A3"), [(3, 0), (3, 2), (3, 3), (3, 4)]),
        "status-04F2": (3, 3, status("04F2"), [(20, 0)]),
        "dump-08A2-split": (2, 2, dump("08A2"), [(10, 0), (40, 6)]),
        "config-write-04F2": (4, 3, config("04F2"), [(5, 0), (6, 4)]),
        "defaults-08A3": (5, 1, header(5, "08A3"), [(5, 0)]),
        # The tail of an earlier identity reply run into this status reply.
        "status-08A3-behind-tail": (3, 1, identity("08A3")[12:] + status("08A3"), [(40, 0)]),
    }
    for name, (command, start, reply, pieces) in seeds.items():
        write(os.path.join(exchange, name), bytes([command | (start << 3)]) + chunked(reply, pieces))
    # A line that never falls quiet: two 64 KiB bursts, cut off by the host.
    burst = bytes([(7 << 5) | 31]) + status("08A3") * 3
    write(os.path.join(exchange, "endless-line"), bytes([3 | (1 << 3)]) + (burst[:33]) * 2)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the firmware files of the end-to-end tests into DIR, independently of the tool's own
loader: good.hex covers the simulated device's application region (4096 to 61439) with varied
bytes, good.bin holds those bytes as the device's memory must hold them afterwards,
bad-signature.hex is good.hex with a wrong signature, and the file named NAME is good.hex again,
under a name in Cyrillic and Chinese letters that no ANSI code page holds whole.
Usage: make_firmware.py DIR"""

import os
import sys

REGION_START = 4096
REGION_SIZE = 57344
NAME = "прошивка-固件.hex"


def record(count, address, kind, data):
    body = bytes([count, address >> 8, address & 0xFF, kind]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum + "\r\n"


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    # Every value occurs, and no stretch repeats with the packet size of 58.
    data = bytes(((i * 131) ^ (i >> 7) ^ 0x5A) & 0xFF for i in range(REGION_SIZE))
    lines = [record(2, 0, 0x04, [0, 0])]
    for offset in range(0, REGION_SIZE, 16):
        lines.append(record(16, REGION_START + offset, 0x00, data[offset:offset + 16]))
    lines.append(record(0, 0, 0x01, []))
    text = "".join(lines)
    for name in ("good.hex", NAME):
        with open(os.path.join(out, name), "w", newline="") as file:
            file.write("TALVORK\r\n" + text)
    with open(os.path.join(out, "good.bin"), "wb") as file:
        file.write(data)
    with open(os.path.join(out, "bad-signature.hex"), "w", newline="") as file:
        file.write("TALVORX\r\n" + text)


if __name__ == "__main__":
    main()

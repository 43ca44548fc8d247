#!/usr/bin/env python3
"""The Windows zip as built: exactly the expected entries under one folder named with the
project's version, each .exe byte for byte the one the MinGW build made and for the machine its
folder names, and texts with Windows line ends.

check_zip.py --zip ZIP --version VERSION --build BUILD_DIR
"""
import argparse
import pathlib
import struct
import sys
import zipfile

MACHINES = {"x86_64": 0x8664, "i686": 0x014C}
PROGRAMS = {"FWUpgradeApp.exe": "src/app/FWUpgradeApp.exe", "fwupgrade.exe": "fwupgrade.exe"}
TEXTS = ["README.txt", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt"]


def pe_machine(data):
    """The machine field of a PE file's COFF header, or None for anything else."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset : offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    failures = []
    top = f"fwupgrade-{args.version}-windows/"
    build = pathlib.Path(args.build)

    with zipfile.ZipFile(args.zip) as archive:
        bad = archive.testzip()
        if bad is not None:
            failures.append(f"corrupt entry {bad}")
        files = sorted(info.filename for info in archive.infolist() if not info.is_dir())
        for info in archive.infolist():
            print(f"{info.file_size:>10}  {info.filename}")
        expected = sorted(
            [top + text for text in TEXTS] + [f"{top}{arch}/{name}" for arch in MACHINES for name in PROGRAMS]
        )
        if files != expected:
            failures.append(f"entries {files}, expected {expected}")

        for arch, machine in MACHINES.items():
            for name, built in PROGRAMS.items():
                entry = f"{top}{arch}/{name}"
                if entry not in files:
                    continue
                data = archive.read(entry)
                if pe_machine(data) != machine:
                    failures.append(f"{entry} is not a PE program for {arch}")
                if data != (build / f"mingw-{arch}" / built).read_bytes():
                    failures.append(f"{entry} is not the {arch} build's {name}")

        for text in TEXTS:
            entry = top + text
            if entry not in files:
                continue
            data = archive.read(entry)
            if data.count(b"\n") == 0 or data.count(b"\n") != data.count(b"\r\n"):
                failures.append(f"{entry} has no Windows line ends")
        readme = archive.read(top + "README.txt").decode() if top + "README.txt" in files else ""
        if args.version not in readme:
            failures.append("README.txt does not name the version")
        for name in list(PROGRAMS) + ["x86_64", "i686"]:
            if name not in readme:
                failures.append(f"README.txt does not say what {name} is")
        licence = archive.read(top + "LICENSE.txt").decode() if top + "LICENSE.txt" in files else ""
        if not licence.startswith("MIT License"):
            failures.append("LICENSE.txt is not the MIT licence")

    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        print(f"zip {pathlib.Path(args.zip).name} as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

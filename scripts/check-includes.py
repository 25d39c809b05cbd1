#!/usr/bin/env python3
"""Fails on any #include "..." that points up the layers.

Usage: check-includes.py [SOURCE_DIR]. Prints one line per include outside the rules and exits 1 when
there is any; prints the number of includes read and exits 0 otherwise."""
import pathlib
import re
import sys

# folder -> the folders of ours its files may include. resources/ may be included from anywhere;
# a folder not named here (sim, cli, host, bench, tests, ...) may include anything.
ALLOWED = {
    "foundation": {"foundation"},
    "devicelink": {"devicelink", "foundation"},
    "devicefiles": {"devicefiles", "devicelink", "foundation"},
    "shell": {"shell", "view", "devicefiles", "devicelink", "foundation"},
    "view": {"view", "shell", "devicefiles", "devicelink", "foundation"},
    # Once the device thread exists, shell and view reach the note-taker only through it:
    # take "devicelink" out of the two rows above.
}
EVERYWHERE = {"resources"}
# The note-taker object owns the listing and the transfer list: their row types may point up.
EXCEPTIONS = {
    ("devicelink/CNotetaker.h", "devicefiles/DeviceEntry.h"),
    ("devicelink/CNotetaker.h", "devicefiles/TransferJob.h"),
}
SOURCES = (".h", ".cpp", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def violations(root):
    count, found = 0, []
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            source = path.relative_to(root).as_posix()
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                count += 1
                target = match.group(1)
                top = target.split("/")[0] if "/" in target else folder
                if top in allowed or top in EVERYWHERE or (source, target) in EXCEPTIONS:
                    continue
                found.append(f"{source}:{number}: includes {target}; {folder}/ may include "
                             f"{', '.join(sorted(allowed | EVERYWHERE))}")
    return count, found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    count, found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) point up the layers")
        return 1
    print(f"{count} includes read, all within the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())

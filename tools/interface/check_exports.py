#!/usr/bin/env python3
"""kilna.exe exports exactly what runner/kilna.def lists and the public header declares.

    check_exports.py HEADER DEF_FILE KILNA_EXE OBJDUMP
"""

import re
import subprocess
import sys


def header_names(path):
    text = re.sub(r"/\*.*?\*/", "", open(path, encoding="utf-8").read(), flags=re.S)
    return set(re.findall(r"\b((?:Orv|orv_)\w+)\s*\(", text))


def def_names(path):
    names, in_exports = set(), False
    for line in open(path, encoding="utf-8"):
        line = line.split(";", 1)[0].strip()
        if not line:
            continue
        if line.upper() == "EXPORTS":
            in_exports = True
        elif in_exports:
            names.add(line.split()[0])
    return names


def image_names(exe, objdump):
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) < 2:
        return set()
    names = set()
    for line in table[1].splitlines()[1:]:
        match = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
        if not match:
            break
        names.add(match.group(1))
    return names


def main(header, def_file, exe, objdump):
    sets = {"header": header_names(header), "kilna.def": def_names(def_file), "kilna.exe": image_names(exe, objdump)}
    everything = set().union(*sets.values())
    ok = bool(sets["kilna.exe"])
    for name in sorted(everything):
        missing = [where for where, names in sets.items() if name not in names]
        if missing:
            ok = False
            print(f"{name}: missing from {', '.join(missing)}")
    print(f"{len(sets['kilna.exe'])} exports; " + ("header, kilna.def and kilna.exe agree" if ok else "they differ"))
    return 0 if ok else 1


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/env python3
"""Shows what the Windows stubs are made of, from the link maps their build
writes (BUILD/launcher/launcher.map beside launcher.exe, and
launcher-console.map beside the console stub).

    scripts/stub-size.py build/win32 [build/win64 ...] [--top N]

For each build and stub: its file size, its output sections, and the input
files (objects and library members) that add most to its code, unwind and
read-only data. With link-time optimisation the project's own code appears as
one file (*.ltrans0.ltrans.o). `cmake --build BUILD --target stub_size` runs
it for one build."""
import argparse
import collections
import pathlib
import re
import sys

# Output sections whose input files are worth listing.
DETAIL = (".text", ".eh_frame", ".pdata", ".xdata", ".rdata")

OUTPUT_SECTION = re.compile(r"^(\.\S+)(?:\s+0x[0-9a-f]+\s+0x([0-9a-f]+))?\s*$")
INPUT_SECTION = re.compile(r"^ (\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
INPUT_NAME_ONLY = re.compile(r"^ (\.\S+|\*\S*)\s*$")


def read_map(path):
    """Returns ({output section: size}, {output section: {input file: size}})."""
    text = path.read_text(errors="replace")
    marker = "Linker script and memory map"
    if marker not in text:
        raise ValueError(f"{path}: not a GNU ld link map")
    outputs = {}
    inputs = collections.defaultdict(collections.Counter)
    current = None
    wrapped = False  # the previous line held an input section's name alone
    pending_output = None
    for line in text.split(marker, 1)[1].splitlines():
        if pending_output:
            m = re.match(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)", line)
            if m:
                outputs[pending_output] = int(m.group(1), 16)
            pending_output = None
        m = OUTPUT_SECTION.match(line)
        if m:
            current = m.group(1)
            if m.group(2):
                outputs[current] = int(m.group(2), 16)
            else:
                pending_output = current
            wrapped = False
            continue
        m = INPUT_SECTION.match(line)
        if m and current and (m.group(1) or wrapped):
            size = int(m.group(2), 16)
            if size:
                inputs[current][short_name(m.group(3))] += size
            wrapped = False
            continue
        wrapped = bool(INPUT_NAME_ONLY.match(line))
    return outputs, inputs


def short_name(path):
    """'/usr/lib/gcc/.../libstdc++.a(string-inst.o)' -> 'libstdc++.a(string-inst.o)'."""
    member = re.match(r"^(.*?)(\(.*\))$", path)
    if member:
        return pathlib.Path(member.group(1)).name + member.group(2)
    return pathlib.Path(path).name


def report(build, top, name="launcher"):
    stub = build / "launcher" / f"{name}.exe"
    link_map = build / "launcher" / f"{name}.map"
    if not link_map.is_file():
        print(f"{link_map}: missing; build the launcher target of a Windows preset first", file=sys.stderr)
        return False
    outputs, inputs = read_map(link_map)
    print(f"== {stub}: {stub.stat().st_size if stub.is_file() else '?'} bytes")
    print("   sections, as the link map gives them:")
    for name, size in outputs.items():
        if size:
            print(f"   {name:<12} {size:>8}")
    for name in DETAIL:
        files = inputs.get(name)
        if not files:
            continue
        print(f"   {name}: largest of {len(files)} input files")
        for file, size in files.most_common(top):
            print(f"   {size:>10}  {file}")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("builds", nargs="+", type=pathlib.Path, help="build folders (e.g. build/win32)")
    parser.add_argument("--top", type=int, default=12, help="input files listed per section (default 12)")
    args = parser.parse_args()
    # The console stub is built from the same sources: it is shown too where it was built.
    ok = all([report(build, args.top) for build in args.builds])
    for build in args.builds:
        if (build / "launcher" / "launcher-console.map").is_file():
            report(build, args.top, "launcher-console")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Holds the sources to the module graph that CMake states (cmake/ModuleGraph.cmake).

Every build runs it (target module_graph_check, which every target of a
module depends on), and again whenever a listed file changes. It fails the
build, naming the file, the include and the rule, when:

  - a file of a module includes a header of a module that the module does not
    name among those it uses (of one above it, or of one beside it), or a
    header of the project that belongs to no module;
  - a module names a module none of its files includes, names one PUBLIC that
    none of its headers includes, or names one PRIVATE that one of its headers
    includes;
  - a file outside the SYSTEM modules (the platform layer) includes the
    operating system's headers: <windows.h> and its kin, or POSIX headers
    (<unistd.h>, <sys/...>, <pthread.h>, ...). This holds for the modules and
    for the folders the graph names as "also", save its "except" files;
  - a program stated with sfx_uses includes a module it does not name, or names
    one it does not include;
  - a C or C++ file in a module's folder is listed by none of its targets:
    sources are listed, not globbed, so an unlisted source would not be
    built, and the build reruns this check when a listed file changes.

An #include counts wherever it stands outside comments and string literals,
also under #if: a module's includes are the same on every build.

Usage: module-graph.py --root SOURCE_DIR --graph module_graph.json [--stamp FILE]
"""
import argparse
import json
import os
import pathlib
import re
import sys

SOURCES = {".c", ".cc", ".cpp", ".cxx"}
HEADERS = {".h", ".hh", ".hpp", ".hxx"}

WINDOWS_HEADERS = re.compile(
    r"(win[a-z0-9_]*|commctrl|commdlg|shellapi|shlobj|shlwapi|shobjidl|objbase|ole2|oleauto|unknwn|aclapi|accctrl"
    r"|sddl|psapi|tlhelp32|dbghelp|userenv|lm[a-z]*|ntsecapi|ntstatus|ntdef|security|sspi|tchar|io|direct|process"
    r"|conio|share|ws2tcpip|mswsock|iphlpapi|mmsystem|richedit|uxtheme|dwmapi|wtsapi32|versionhelpers)\.h")
POSIX_HEADERS = re.compile(
    r"(sys|arpa|net|netinet|linux|asm|bits|gnu)/.*"
    r"|(unistd|fcntl|dirent|pthread|sched|dlfcn|poll|pwd|grp|termios|syslog|semaphore|spawn|fnmatch|glob|ftw"
    r"|libgen|netdb|strings|utime|utmpx|wordexp|aio|mqueue|iconv|langinfo|nl_types|regex|search|tar|cpio"
    r"|ucontext|execinfo|err|getopt|paths|ulimit|sysexits|pty|utmp|mntent|malloc|alloca|features)\.h")

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*([<"])([^>"\n]+)[>"]', re.M)
SPECIAL = re.compile(r"//|/\*|[\"']")
LITERAL = {q: re.compile(rf"(?:[^{q}\\\n]|\\.)*{q}?", re.S) for q in "\"'"}
RAW_PREFIX = re.compile(r"(?:^|\W)(?:u8|[uUL])?R$")
RAW_DELIMITER = re.compile(r'"([^()\\ \t\n]{0,16})\(')
DIGIT_SEPARATOR = re.compile(r"(?:^|[^\w.'])\d[\w.']*$")


def blank(text):
    """What stands for a comment: its line breaks, or one space."""
    return "\n" * text.count("\n") or " "


def without_comments(text):
    """The text with comments and raw string literals blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    while special := SPECIAL.search(text, i):
        start, token = special.start(), special.group()
        out.append(text[i:start])
        if token == "//":
            end = text.find("\n", start)
            end = n if end < 0 else end
        elif token == "/*":
            end = text.find("*/", start + 2)
            end = n if end < 0 else end + 2
            out.append(blank(text[start:end]))
        elif token == '"' and RAW_PREFIX.search(text, max(0, start - 5), start) and (
                raw := RAW_DELIMITER.match(text, start)):
            # A raw string may span lines and hold anything, an #include too.
            end = text.find(f"){raw.group(1)}\"", raw.end())
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.append(blank(text[start:end]))
        elif token == "'" and DIGIT_SEPARATOR.search(text, max(0, start - 40), start):
            end = start + 1  # a digit separator, as in 1'000
            out.append(token)
        else:
            # A string or character literal, kept: "/*" inside starts no comment.
            end = LITERAL[token].match(text, start + 1).end()
            out.append(text[start:end])
        i = end
    out.append(text[i:])
    return "".join(out)


def includes(path):
    text = without_comments(path.read_text(encoding="utf-8", errors="replace"))
    for match in INCLUDE.finditer(text):
        yield text.count("\n", 0, match.start()) + 1, match.group(1), match.group(2).strip()


def shown(delimiter, name):
    return f'#include "{name}"' if delimiter == '"' else f"#include <{name}>"


def system_header(name):
    """'a Windows header', 'a POSIX header' or None."""
    name = name.lower()
    if WINDOWS_HEADERS.fullmatch(name):
        return "a Windows header"
    if POSIX_HEADERS.fullmatch(name):
        return "a POSIX header"
    return None


class Graph:
    def __init__(self, root, data):
        self.root = root
        self.modules = {m["name"]: m for m in data["modules"]}
        self.order = [m["name"] for m in data["modules"]]
        self.programs = data["programs"]
        self.also = data["also"]
        self.exceptions = set(data["except"])
        self.problems = []

    def owner(self, relative):
        """The module whose folder holds `relative` (the innermost), or None."""
        best = None
        for name in self.order:
            if relative.startswith(name + "/") and (best is None or len(name) > len(best)):
                best = name
        return best

    def resolve(self, relative, delimiter, name):
        """What an include names: ("module", M), ("project", path) or None (not of this project)."""
        candidates = [os.path.normpath(name)]
        if delimiter == '"':
            candidates.insert(0, os.path.normpath(os.path.join(os.path.dirname(relative), name)))
        for candidate in candidates:
            if candidate.startswith("..") or os.path.isabs(candidate):
                continue
            if (self.root / candidate).is_file():
                module = self.owner(candidate)
                return ("module", module) if module else ("project", candidate)
        return None  # the compiler finds it elsewhere, or reports it missing

    def files(self, folder, skip=()):
        """The C and C++ files below `folder`, outside the folders in `skip`."""
        for directory, subfolders, names in os.walk(self.root / folder):
            here = pathlib.Path(directory).relative_to(self.root).as_posix()
            subfolders[:] = sorted(s for s in subfolders
                                   if f"{here}/{s}" not in skip and not s.startswith(".") and s != "__pycache__")
            yield from (f"{here}/{n}" for n in sorted(names) if pathlib.Path(n).suffix in SOURCES | HEADERS)

    def scan(self, relative):
        return includes(self.root / relative)

    def problem(self, where, text):
        self.problems.append(f"{where}: {text}")

    def check_system_header(self, relative, line, delimiter, name):
        """For an include that names no file of the project."""
        kind = system_header(name)
        if kind and relative not in self.exceptions:
            self.problem(f"{relative}:{line}", f"{shown(delimiter, name)}: {kind}; only the platform layer "
                                               "(platform/) includes the operating system's headers")

    def check_module(self, name):
        module = self.modules[name]
        public, private = set(module["public"]), set(module["private"])
        uses = public | private
        stated = f"{name}/CMakeLists.txt"
        used, used_by_header = {}, {}
        for relative in self.files(name, skip=set(self.order) - {name}):
            is_header = pathlib.Path(relative).suffix in HEADERS
            if relative not in module["listed"]:
                self.problem(relative, f"a file of {name}/ that none of its targets lists; list it in {stated}")
            for line, delimiter, include in self.scan(relative):
                where, text = f"{relative}:{line}", shown(delimiter, include)
                target = self.resolve(relative, delimiter, include)
                if target is None:
                    if not module["system"]:
                        self.check_system_header(relative, line, delimiter, include)
                    continue
                kind, other = target
                if kind == "project":
                    self.problem(where, f"{text}: {other} belongs to no module; a module includes only "
                                        "its own headers and those of the modules it uses")
                    continue
                if other == name:
                    continue
                used.setdefault(other, where)
                if is_header:
                    used_by_header.setdefault(other, where)
                if other in uses:
                    continue
                lower = self.order[:self.order.index(name)]
                if other not in lower:
                    self.problem(where, f"{text}: {other} is not below {name} in the module graph (lowest first: "
                                        f"{', '.join(self.order)}); a module includes only modules below it")
                else:
                    self.problem(where, f"{text}: {name} does not name {other} among the modules it uses "
                                        f"({', '.join(sorted(uses)) or 'none'}); name it in {stated} if it should")
        for other in sorted(uses):
            visibility = "PUBLIC" if other in public else "PRIVATE"
            if other not in used:
                self.problem(stated, f"{name} names {other} ({visibility}), but none of its files includes "
                                     f"a header of {other}; a module names exactly the modules it uses")
            elif visibility == "PUBLIC" and other not in used_by_header:
                self.problem(stated, f"{name} names {other} PUBLIC, but only its sources include {other} "
                                     f"(first at {used[other]}); name it PRIVATE")
            elif visibility == "PRIVATE" and other in used_by_header:
                self.problem(stated, f"{name} names {other} PRIVATE, but its header "
                                     f"{used_by_header[other].split(':')[0]} includes {other}; name it PUBLIC")

    def check_program(self, program):
        name, uses, stated = program["name"], set(program["uses"]), program["stated"]
        used = set()
        for relative in program["files"]:
            for line, delimiter, include in self.scan(relative):
                target = self.resolve(relative, delimiter, include)
                if target is None or target[0] != "module":
                    continue
                used.add(target[1])
                if target[1] not in uses:
                    self.problem(f"{relative}:{line}",
                                 f"{shown(delimiter, include)}: {name} does not name {target[1]} among the "
                                 f"modules it uses ({', '.join(sorted(uses)) or 'none'}); name it in {stated}")
        for other in sorted(uses - used):
            self.problem(stated, f"{name} names {other}, but none of its files includes a header of {other}")

    def check_elsewhere(self):
        """The operating system's headers, in the folders outside the modules."""
        for folder in self.also:
            for relative in self.files(folder):
                if self.owner(relative):
                    continue  # a module's file: checked with its module
                for line, delimiter, include in self.scan(relative):
                    if self.resolve(relative, delimiter, include) is None:
                        self.check_system_header(relative, line, delimiter, include)

    def check(self):
        for name in self.order:
            self.check_module(name)
        for program in self.programs:
            self.check_program(program)
        self.check_elsewhere()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True, type=pathlib.Path)
    parser.add_argument("--graph", required=True, type=pathlib.Path)
    parser.add_argument("--stamp", type=pathlib.Path)
    args = parser.parse_args()

    graph = Graph(args.root.resolve(), json.loads(args.graph.read_text()))
    graph.check()
    if graph.problems:
        if args.stamp and args.stamp.exists():
            args.stamp.unlink()
        print(f"module graph: {len(graph.problems)} problem(s); the graph is stated by sfx_module() and "
              "sfx_uses() in the CMakeLists.txt files (cmake/ModuleGraph.cmake):", file=sys.stderr)
        for problem in graph.problems:
            print(f"  {problem}", file=sys.stderr)
        return 1
    if args.stamp:
        args.stamp.write_text("")
    return 0


if __name__ == "__main__":
    sys.exit(main())

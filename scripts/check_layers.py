#!/usr/bin/env python3
"""Fails when a source file includes a layer above its own, or Qt outside the
renderer and the program. Usage: check_layers.py ROOT"""
import pathlib
import re
import sys

# Lower layers first; a file may include its own layer and any below it.
ORDER = ["platform", "hid", "protocol", "profiles", "ui", "devices", "editors", "windows", "mainwnd", "shell"]
RANK = {name: i for i, name in enumerate(ORDER)}
# The renderer draws ui: it stands on ui's rank and only the program uses it.
RANK["qtview"] = RANK["ui"]
# The command-line tool sits at the top like the program.
RANK["cli"] = RANK["shell"]
# Where Qt may be included.
QT_ALLOWED = ("qtview/", "shell/app/")
# Who may include the renderer besides itself.
QTVIEW_USERS = ("shell/app/",)

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]+$|^Qt[A-Za-z]*/")


def check(root: pathlib.Path) -> list[str]:
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        rel = path.relative_to(root).as_posix()
        layer = rel.split("/", 1)[0]
        if layer not in RANK:
            continue  # tests, benchmarks, fuzzers, the emulator: outside the stack
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, target = m.groups()
            where = f"{rel}:{number}"
            if kind == "<" and QT_HEADER.match(target) and not rel.startswith(QT_ALLOWED):
                problems.append(f"{where}: includes Qt <{target}> below the renderer")
                continue
            if kind != '"' or "/" not in target:
                continue
            to = target.split("/", 1)[0]
            if to not in RANK:
                continue
            if to == "qtview" and layer != "qtview" and not rel.startswith(QTVIEW_USERS):
                problems.append(f'{where}: includes the renderer "{target}"')
            elif RANK[to] > RANK[layer]:
                problems.append(f'{where}: {layer} includes the higher layer "{target}"')
    return problems


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"layering: {len(problems)} include(s) break the layer order")
        return 1
    print("layering: every include looks down")
    return 0


if __name__ == "__main__":
    sys.exit(main())

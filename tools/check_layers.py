#!/usr/bin/env python3
"""Checks that the engine's folders include one another in one direction.

Reads every #include "FOLDER/..." of the engine's sources and fails (exit 1)
when a folder includes, through any chain, a folder that includes it back,
when an engine file includes anything of the desktop program or the command
line, or when an engine file includes Qt. With --order it prints the folders
from the bottom up (each after every folder it includes).

    tools/check_layers.py [--order] [ENGINE_FOLDER]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^">]+)[">]')


def read_edges(engine):
    """{folder: {included folder: [files that include it]}}, and problems."""
    folders = sorted(d for d in os.listdir(engine) if os.path.isdir(os.path.join(engine, d)))
    edges = {f: {} for f in folders}
    problems = []
    for folder in folders:
        for root, _, files in os.walk(os.path.join(engine, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        bracket, target = match.groups()
                        where = f"{os.path.relpath(path)}:{number}"
                        if bracket == "<" and re.match(r"Q[A-Za-z]", target):
                            problems.append(f"{where}: includes Qt ({target})")
                            continue
                        top = target.split("/")[0]
                        if bracket == '"' and top in ("desktop", "cli"):
                            problems.append(f"{where}: includes {target} from a front end")
                        elif bracket == '"' and "/" in target and top != folder and top in edges:
                            edges[folder].setdefault(top, []).append(where)
    return edges, problems


def find_cycle(edges):
    """A list of folders that include each other round, or None."""
    state = {}
    stack = []

    def visit(folder):
        state[folder] = "open"
        stack.append(folder)
        for below in sorted(edges[folder]):
            if state.get(below) == "open":
                return stack[stack.index(below):] + [below]
            if below not in state:
                found = visit(below)
                if found:
                    return found
        stack.pop()
        state[folder] = "done"
        return None

    for folder in sorted(edges):
        if folder not in state:
            found = visit(folder)
            if found:
                return found
    return None


def bottom_up(edges):
    order, placed = [], set()
    while len(placed) < len(edges):
        ready = sorted(f for f in edges if f not in placed and set(edges[f]) <= placed)
        order.append(ready)
        placed.update(ready)
    return order


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    engine = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "engine")
    edges, problems = read_edges(engine)
    cycle = find_cycle(edges)
    if cycle:
        chain = []
        for a, b in zip(cycle, cycle[1:]):
            chain.append(f"  {a} includes {b} ({edges[a][b][0]})")
        problems.append("the engine's folders include each other in a circle: " +
                        " -> ".join(cycle) + "\n" + "\n".join(chain))
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        return 1
    if "--order" in argv:
        for level, folders in enumerate(bottom_up(edges)):
            print(f"{level}: {' '.join(folders)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

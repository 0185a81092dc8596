#!/usr/bin/python3
"""Usage: tools/check_layers.py [--graph]

Checks that the program's includes only point down the layers: shell/ (the app) above the feature
folders, those above transport/, and that above base/ and assets/. A feature folder includes no other
feature folder. Prints each include that breaks this and exits 1; with --graph it also prints the
folder-to-folder include counts.
"""

import os
import re
import sys

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = {"base": 0, "assets": 0, "transport": 1, "accounts": 2, "tickets": 2, "chat": 2, "remote": 2,
          "dashboard": 2, "shell": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def includes():
    for folder in LAYERS:
        for name in sorted(os.listdir(os.path.join(TOP, folder))):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(TOP, folder, name)
            with open(path, encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    to = os.path.relpath(os.path.normpath(os.path.join(TOP, folder, target)), TOP).split(os.sep)[0]
                    yield folder, name, target, to


def main():
    wrong, graph = [], {}
    for folder, name, target, to in includes():
        if to == folder:
            continue
        graph[(folder, to)] = graph.get((folder, to), 0) + 1
        if to not in LAYERS:
            wrong.append("%s/%s includes %s, outside the program's folders" % (folder, name, target))
        elif LAYERS[to] > LAYERS[folder] or (LAYERS[to] == LAYERS[folder] == 2):
            wrong.append("%s/%s includes %s: %s may not point at %s" % (folder, name, target, folder, to))
    if "--graph" in sys.argv:
        for (a, b), n in sorted(graph.items(), key=lambda kv: (-LAYERS[kv[0][0]], kv[0])):
            print("%-10s -> %-10s %d" % (a, b, n))
    for line in wrong:
        print("upward or sideways include: " + line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Mutation check: plants one fault at a time in a copy of the program and runs the tests on it.

    tools/mutate.py [--only ID,ID...] [--jobs N] [--work DIR] [--list]

Each mutant of tools/mutants.txt replaces one exact text of one file (it must occur exactly once).
The copy is built and tested through tools/dev-test.sh (its own network namespace, fake server,
display and Wine prefix): first the test cases the mutant names, if any, then, if none failed, every
C++ case and the pytest suite. A mutant is killed when a test fails or the build breaks; one line is
printed per mutant, then the score. Exit status 0 only when every mutant applied and the score is at
least --goal percent (default 90).
"""

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import threading
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def unescape(text):
    out, i = [], 0
    while i < len(text):
        pair = text[i:i + 2]
        if pair == "\\n":
            out.append("\n")
            i += 2
        elif pair == "\\\\":
            out.append("\\")
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_mutants(path):
    """Blocks of 'key: value' lines separated by blank lines; '#' lines are comments. Keys: file,
    find, replace, fault, tests (a CTest regex to try first). In find and replace, \\n is a line
    break and \\\\ a backslash, so C's "\\r\\n" is written \\\\r\\\\n."""
    mutants, block = [], {}

    def close():
        if block:
            missing = {"file", "find", "replace", "fault"} - set(block)
            if missing:
                sys.exit("%s: a mutant lacks %s: %r" % (path, ", ".join(sorted(missing)), block))
            block["id"] = len(mutants) + 1
            mutants.append(dict(block))
            block.clear()

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip():
                close()
            elif not line.startswith("#"):
                key, _, value = line.partition(":")
                value = value[1:] if value.startswith(" ") else value
                if key in ("find", "replace"):
                    value = unescape(value)
                block[key.strip()] = value
    close()
    return mutants


def copy_tree(dst):
    """The checkout's tracked files (as they are now) into dst."""
    files = subprocess.run(["git", "ls-files", "-z"], cwd=TOP, capture_output=True, check=True).stdout
    for name in files.decode().split("\0"):
        if not name or not os.path.isfile(os.path.join(TOP, name)):
            continue
        os.makedirs(os.path.dirname(os.path.join(dst, name)), exist_ok=True)
        # A fresh modification time, so a build folder kept from an earlier run rebuilds what changed.
        shutil.copy(os.path.join(TOP, name), os.path.join(dst, name))


def failed_tests(log):
    names = []
    for line in log.splitlines():
        line = line.strip()
        if "***Failed" in line or "(Failed)" in line or "***Timeout" in line:
            names.append(line)
        elif line.startswith("FAILED ") and "::" in line:
            names.append(line)
    return names


def run(source, build, regex, pytest, stop_first=True):
    """Runs dev-test.sh in the copy; (passed, log)."""
    args = [os.path.join(source, "tools", "dev-test.sh"), build, regex]
    if pytest:
        args += ["--", os.path.join(source, "tests")]
    env = dict(os.environ)
    if stop_first:
        env["HALVOREN_STOP_ON_FAILURE"] = "1"
    p = subprocess.run(args, cwd=source, capture_output=True, text=True, env=env)
    return p.returncode == 0, p.stdout + p.stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mutants", default=os.path.join(TOP, "tools", "mutants.txt"))
    parser.add_argument("--only", help="comma-separated mutant ids")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--work", default=os.path.join(TOP, "build", "mutants"))
    parser.add_argument("--goal", type=float, default=90.0)
    parser.add_argument("--list", action="store_true", help="print the mutants and check they apply")
    parser.add_argument("--skip-baseline", action="store_true",
                        help="do not run the unmutated suite first (when it is known to pass)")
    options = parser.parse_args()

    mutants = read_mutants(options.mutants)
    if options.only:
        wanted = {int(i) for i in options.only.split(",")}
        mutants = [m for m in mutants if m["id"] in wanted]
    stale = []
    for m in mutants:
        with open(os.path.join(TOP, m["file"]), encoding="utf-8") as f:
            found = f.read().count(m["find"])
        if found != 1:
            stale.append(m)
            print("STALE    %3d %s: the text occurs %d times" % (m["id"], m["file"], found))
    if options.list:
        for m in mutants:
            print("%3d %-24s %s" % (m["id"], m["file"], m["fault"]))
        return 1 if stale else 0
    if stale:
        return 1

    # One copy and one build folder per job; a mutant is written in, tested and taken out again.
    slots = []
    for j in range(options.jobs):
        source = os.path.join(options.work, "src-%d" % j)
        shutil.rmtree(source, ignore_errors=True)
        copy_tree(source)
        slots.append((source, os.path.join(options.work, "build-%d" % j)))
    free = list(slots)
    lock = threading.Lock()

    ok, log = True, ""
    if not options.skip_baseline:
        print("baseline: the unmutated copy must pass the whole suite first")
        ok, log = run(slots[0][0], slots[0][1], "", True, stop_first=False)
    if not ok:
        print(log[-4000:])
        print("the suite fails without any mutant; nothing to measure")
        return 1

    def one(m):
        with lock:
            source, build = free.pop()
        started = time.monotonic()
        path = os.path.join(source, m["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["find"], m["replace"], 1))
            killed, how = False, ""
            if m.get("tests"):
                ok, log = run(source, build, m["tests"], False)
                killed = not ok
            if not killed:
                ok, log = run(source, build, "", True)
                killed = not ok
            if killed:
                names = failed_tests(log)
                how = names[0] if names else ("the build" if "build" in log[-2000:].lower() else "a failure")
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
            with lock:
                free.append((source, build))
        seconds = time.monotonic() - started
        line = "%s %3d %-24s %s [%.0f s]" % ("KILLED  " if killed else "SURVIVED", m["id"], m["file"], m["fault"],
                                            seconds)
        if killed:
            line += "\n             by " + how[:140]
        with lock:
            print(line, flush=True)
        return killed

    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        results = list(pool.map(one, mutants))
    killed = sum(results)
    score = 100.0 * killed / len(results) if results else 0.0
    print("score: %d of %d mutants killed (%.1f %%)" % (killed, len(results), score))
    survivors = [m for m, k in zip(mutants, results) if not k]
    for m in survivors:
        print("  survived %3d %s: %s" % (m["id"], m["file"], m["fault"]))
    return 0 if score >= options.goal else 1


if __name__ == "__main__":
    sys.exit(main())

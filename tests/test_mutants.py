"""The planted faults of tools/mutants.txt still apply to the code as it is: a mutant whose text moved
would otherwise drop out of the mutation check without a word."""
import os
import subprocess
import sys

from conftest import ROOT


def test_every_mutant_finds_its_text_exactly_once():
    p = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "mutate.py"), "--list"],
                       capture_output=True, text=True)
    assert p.returncode == 0, "\n".join(l for l in p.stdout.splitlines() if l.startswith("STALE")) or p.stderr

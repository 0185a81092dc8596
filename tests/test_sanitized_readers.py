"""The readers of the server's answers under AddressSanitizer and UndefinedBehaviorSanitizer: the native
tables and every input of the fuzz corpus (tests/fuzz/run.sh without fuzzing time), so that a read or
write past a buffer fails here too, in the runs of tools/dev-test.sh and tools/mutate.py.
./run-tests.sh runs the same script with a minute of fuzzing, in the same build folder."""

import os
import shutil
import subprocess

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_the_native_tables_and_the_fuzz_corpus_pass_under_both_sanitizers(tmp_path):
    if not shutil.which("clang++"):
        pytest.skip("needs Debian's clang and libclang-rt-dev (tools/common.sh installs them)")
    build = os.environ.get("HALVOREN_BUILD")
    out = os.path.join(build, "sanitized") if build else str(tmp_path / "sanitized")
    run = subprocess.run([os.path.join(ROOT, "tests", "fuzz", "run.sh"), out], capture_output=True, text=True,
                         timeout=900)
    assert run.returncode == 0, run.stdout[-6000:] + run.stderr[-4000:]
    assert "Status: SUCCESS!" in run.stdout

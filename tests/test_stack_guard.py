"""The program as Windows starts it seeds its stack guard: the value its canaries are checked against is
neither the one built into the file nor the same at two starts."""

import os
import struct
import subprocess

from conftest import TITLE, probe

# The value the guard holds in the file, until start-up seeds it (shell/stack_guard.cpp).
BUILT_IN = 0x2B992DDFA232


def guard_rva(exe):
    """The guard's address relative to the image, from the file's symbols and its preferred base."""
    symbols = subprocess.run(["x86_64-w64-mingw32-nm", exe], capture_output=True, text=True, check=True).stdout
    address = next(int(line.split()[0], 16) for line in symbols.splitlines()
                   if line.endswith(" __stack_chk_guard") and line.split()[1] in "DdBb")
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    # PE32+: the signature, the file header (20 bytes), then ImageBase 24 bytes into the optional header.
    image_base = struct.unpack_from("<Q", head, pe + 4 + 20 + 24)[0]
    return address - image_base


def test_each_start_seeds_the_stack_guard_afresh(launch, fake):
    exe = os.path.join(os.environ["HALVOREN_BUILD"], "suporte.exe")
    rva = guard_rva(exe)
    seen = []
    for _ in range(2):
        program = launch(exe)
        assert program.window(), "the main window did not appear"
        value = probe("read", TITLE, "%x" % rva)
        assert len(value) == 16, value
        seen.append(int(value, 16))
        program.process.kill()
        program.wait()
    assert BUILT_IN not in seen, "the guard kept the value built into the file"
    assert seen[0] != seen[1], "two starts seeded the same guard"
    # The lowest byte is zero, so that an overrun copying up to a terminator cannot rebuild it.
    assert all(v & 0xFF == 0 and v >> 8 for v in seen), ["%016x" % v for v in seen]

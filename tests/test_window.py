"""The real program under Wine: its window, the focus, typing, closing and the exit codes."""

import os
import shutil
import time

from conftest import (SCREENSHOTS, TITLE, client_origin, geometry, key, pixels, probe, screenshot,
                      type_text, wait_for, wait_painted)


def dark(p):
    return sum(p) < 200


def grey(p):
    return 300 < sum(p) < 650 and max(p) - min(p) < 40


def test_window_size_title_focus_and_closing(launch, fake, tmp_path):
    program = launch()
    window_id = program.window()
    assert window_id, "the main window did not appear"
    x, y, w, h = geometry(window_id)
    assert (w, h) == (567, 404)
    assert wait_painted(window_id), "the window was never painted"

    # The focus is in the e-mail field, and typing goes there.
    assert wait_for(lambda: probe("focus", TITLE).startswith("Edit 131 218 392 19"), 10)
    ox, oy = client_origin()
    # Cue texts are drawn in grey in the empty fields, in the focused one as well.
    for name, (fx, fy, fw, fh) in (("email", (131, 218, 392, 19)), ("senha", (131, 263, 327, 19))):
        cue = pixels(screenshot(str(tmp_path / f"cue-{name}.png"), ox + fx, oy + fy, fw, fh))
        assert sum(grey(p) for row in cue for p in row) > 15, f"no cue text in the {name} field"
        # Only the caret, a line one pixel wide, may be dark.
        assert sum(dark(p) for row in cue for p in row) <= 19
    type_text("ana@exemplo.com")

    def typed():
        field = pixels(screenshot(str(tmp_path / "typed.png"), ox + 131, oy + 218, 392, 19))
        return sum(dark(p) for row in field for p in row) > 40
    assert wait_for(typed, 5), "no dark text in the e-mail field"

    # The whole window, as the README shows it.
    screenshot(os.path.join(SCREENSHOTS, "entrar.png"), x, y, w, h)

    # Presence was asked at start-up, then only every 5 s by its timer, never twice in a row.
    presence = [r for r in fake.log() if r["path"] == "/suporte/avulso/api/presenca"]
    assert presence and all(r["method"] == "GET" for r in presence)
    assert all(b["time"] - a["time"] > 4 for a, b in zip(presence, presence[1:])), presence

    key("alt+F4")
    assert program.wait() == 0


def test_without_winhttp_it_warns_once_and_exits_cleanly(launch, tmp_path):
    exe = os.path.join(os.environ["HALVOREN_BUILD"], "no_winhttp", "suporte.exe")
    program = launch(exe, {"WINEDLLOVERRIDES": "winhttp=n;mscoree,mshtml="})
    assert program.window(), "the main window did not appear"
    box = program.window("Halvoren Zivavoz")
    assert box, "no warning box"
    bx, by, bw, bh = geometry(box)
    screenshot(str(tmp_path / "warning.png"), bx, by, bw, bh)
    key("Return")
    assert wait_for(lambda: not program.window("Halvoren Zivavoz", timeout=0.5), 10)
    key("alt+F4")
    assert program.wait() == 0


def test_a_second_start_brings_the_running_client_forward_and_ends(launch, fake):
    first = launch()
    assert first.window(), "the main window did not appear"
    probe("minimize", TITLE)
    assert wait_for(lambda: probe("state", TITLE).startswith("iconic"), 10)
    second = launch()
    assert second.wait() == 0
    # One window, the first one's, restored and in front; it still runs.
    assert wait_for(lambda: probe("state", TITLE) == "normal foreground 1", 10), probe("state", TITLE)
    assert first.process.poll() is None
    key("alt+F4")
    assert first.wait() == 0


def test_a_second_start_beside_an_elevated_or_busy_client_ends_at_once(launch, fake):
    helper = os.path.join(os.environ["HALVOREN_BUILD"], "tests", "other_client.exe")

    def ready(mode):
        other = launch(helper, {"HALVOREN_OTHER_CLIENT": mode})
        assert wait_for(lambda: "ready" in open(other.log.name).read(), 20), mode
        return other
    # A copy started as administrator holds the mutex where this account may not open it: another
    # client all the same, so this one ends without a window and without asking the server anything.
    other = ready("denied")
    assert launch().wait() == 0
    assert probe("state", TITLE) == "missing"
    assert not fake.log()
    other.kill()
    # A client inside a request is brought forward without being waited for: this one ends long before
    # the other answers again (15 s), and the restore it asked for happens once the other does.
    other = ready("hung")
    started = time.monotonic()
    assert launch().wait() == 0
    assert time.monotonic() - started < 10
    assert wait_for(lambda: probe("state", "outro cliente").startswith("normal"), 30)



def run_planted(launch, folder, exe, planted, until=None):
    """Runs a copy of EXE from the new FOLDER with copies of the marking DLL beside it under the
    PLANTED names, Wine told to prefer them as Windows prefers the program's folder; the marks left."""
    marks = folder / "marks"
    marks.mkdir(parents=True)
    shutil.copy(exe, folder)
    for name in planted:
        shutil.copy(os.path.join(os.environ["HALVOREN_BUILD"], "tests", "planted.dll"), folder / name)
    program = launch(str(folder / os.path.basename(exe)),
                     {"WINEDLLOVERRIDES": ",".join(n[:-4] for n in planted) + "=n,b;mscoree,mshtml=",
                      "HALVOREN_MARKS": "Z:" + str(marks).replace("/", "\\")})
    if until:
        until(program)
    assert program.wait() == 0
    return {f.name.lower() for f in marks.iterdir()}


def test_dlls_planted_beside_the_program_are_not_loaded(launch, fake, tmp_path):
    build = os.environ["HALVOREN_BUILD"]
    # What the loader brings in before the entry point of a program that does nothing, with the
    # client's imports and load configuration: WINHTTP and WINMM, as Wine ignores the dependent load
    # flags, and under Wine 8 its own user32's import version.dll (Windows 10 1607 and later honour the
    # flags, and Windows' user32, a KnownDLL, imports no version.dll; nor does Wine 10's). Some plant is
    # always taken there, so a plant the client took would be seen.
    idle = run_planted(launch, tmp_path / "idle", os.path.join(build, "tests", "idle.exe"),
                       ["version.dll", "winhttp.dll", "winmm.dll", "bcrypt.dll", "uxtheme.dll"])
    assert idle & {"version.dll", "winhttp.dll", "winmm.dll"} and "bcrypt.dll" not in idle, idle

    # The client adds nothing to that: not the generator the stack guard loads, nor the theme Windows'
    # DLLs load by name once it runs. WINHTTP and WINMM are not planted, as under Wine the client would
    # call into the copies; nor is crypt32, which Wine's WinHTTP loads through its delayed imports at
    # the first secure connection without the default directories the client set.
    def until_it_has_asked_the_server(program):
        assert program.window(), "the main window did not appear"
        assert wait_for(lambda: any(r["path"] == "/suporte/avulso/api/presenca" for r in fake.log()), 20)
        key("alt+F4")
    planted = ["version.dll", "bcrypt.dll", "uxtheme.dll"]
    client = run_planted(launch, tmp_path / "Downloads", os.path.join(build, "suporte.exe"), planted,
                         until_it_has_asked_the_server)
    assert client == idle & set(planted), client

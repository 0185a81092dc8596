"""Fixtures for the end-to-end tests: the real program under Wine on the run's Xvfb display, driven
with xdotool and photographed with ImageMagick, against the fake support server.

run-tests.sh sets the environment: DISPLAY, WINEPREFIX, HALVOREN_BUILD (the localhost build),
HALVOREN_CERTS (the fake server's certificates). Without it the end-to-end tests are skipped.
"""

import os
import subprocess
import sys
import time

import pytest

from fake import Fake

TITLE = "Halvoren Rezovi v48 - Teste"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
# Screens taken by a run; tools/screenshots.sh copies them into docs/screenshots for the README.
SCREENSHOTS = os.environ.get("HALVOREN_SHOTS") or os.path.join(ROOT, "build", "screenshots")


def e2e_ready():
    return all(os.environ.get(k) for k in ("DISPLAY", "WINEPREFIX", "HALVOREN_BUILD", "HALVOREN_CERTS"))


def run(args, timeout=20):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout)


def wait_for(predicate, timeout=20.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


class Program:
    """One run of an .exe under Wine; output goes to files so wineserver never holds a pipe."""

    def __init__(self, exe, workdir, env_extra=None):
        env = dict(os.environ)
        env.update(env_extra or {})
        self.log = open(os.path.join(workdir, "wine.log"), "w")
        self.process = subprocess.Popen(["wine", exe], env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                        cwd=os.path.dirname(exe))

    def window(self, title=TITLE, timeout=30.0):
        def found():
            r = run(["xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"])
            ids = r.stdout.split()
            return ids[0] if ids else None
        return wait_for(found, timeout)

    def wait(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        finally:
            self.log.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


def geometry(window_id):
    out = run(["xdotool", "getwindowgeometry", "--shell", window_id]).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def probe(*args):
    exe = os.path.join(os.environ["HALVOREN_BUILD"], "tests", "probe.exe")
    return run(["wine", exe, *args]).stdout.strip()


def client_origin(title=TITLE):
    x, y = probe("origin", title).split()
    return int(x), int(y)


def screenshot(path, x, y, w, h):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path])
    return path


def pixels(path):
    """The image as rows of (r, g, b), read through ImageMagick's plain PPM output."""
    data = subprocess.run(["convert", path, "-compress", "none", "ppm:-"], capture_output=True,
                          check=True).stdout.split()
    w, h = int(data[1]), int(data[2])
    values = list(map(int, data[4:]))
    return [[tuple(values[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def wait_painted(window_id, timeout=20.0):
    """Waits until the window shows its picture: a mapped window may still be black for a while on a
    busy machine, and keys typed before it can take the focus are lost."""
    def painted():
        x, y, w, h = geometry(window_id)
        shot = screenshot(os.path.join("/tmp", "painted-%s.png" % window_id), x, y, w, h)
        rows = pixels(shot)
        lit = sum(1 for row in rows[::8] for p in row[::8] if sum(p) > 60)
        return lit > 0.6 * len(rows[::8]) * len(rows[0][::8])
    return wait_for(painted, timeout, step=0.3)


def key(*keys, window_id=None):
    args = ["xdotool", "key"]
    if window_id:
        args += ["--window", window_id]
    run(args + list(keys))


def texts():
    """Child controls as {id: [(visible, enabled, text), ...]} (static labels share id 0)."""
    found = {}
    for line in probe("texts", TITLE).splitlines():
        parts = line.split(" ", 3)
        if len(parts) < 3:
            continue
        found.setdefault(int(parts[0]), []).append((parts[1] == "visible", parts[2] == "enabled",
                                                    parts[3] if len(parts) > 3 else ""))
    return found


def showing(text):
    return any(v and t == text for controls in texts().values() for v, _, t in controls)


def showing_prefix(prefix):
    for controls in texts().values():
        for v, _, t in controls:
            if v and t.startswith(prefix):
                return t
    return None


def click(x, y, times=1):
    """Clicks at a point of the main window's client area, like a person (times=2: a double click)."""
    ox, oy = client_origin()
    run(["xdotool", "mousemove", str(ox + x), str(oy + y), "click", "--repeat", str(times), "--delay", "120", "1"])


def type_text(text):
    run(["xdotool", "type", "--delay", "40", text])


@pytest.fixture(scope="session")
def certs(tmp_path_factory):
    """A fresh test CA and server certificate (server/make_certs.sh) for the server tests."""
    out = str(tmp_path_factory.mktemp("certs"))
    subprocess.run([os.path.join(ROOT, "server", "make_certs.sh"), out], check=True, timeout=60)
    return out


@pytest.fixture
def fake():
    if not e2e_ready():
        pytest.skip("needs the environment that run-tests.sh sets up")
    f = Fake()
    f.reset()
    return f


@pytest.fixture
def launch(tmp_path, fake):
    started = []

    def start(exe=None, env_extra=None):
        exe = exe or os.path.join(os.environ["HALVOREN_BUILD"], "suporte.exe")
        p = Program(exe, str(tmp_path), env_extra)
        started.append(p)
        return p

    yield start
    for p in started:
        p.kill()

"""Checks on the generated pictures, icon and sound, and on how they are embedded.

Only the standard library is used for parsing so this runs wherever pytest
does; checks that need PIL or the mingw tool chain skip when those are absent.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

import pytest

from conftest import ROOT

ASSETS = os.path.join(ROOT, "assets")

BANNERS = ("hero_pixels.bgra", "hero_notebook.bgra", "hero_manutencao.bgra")
BANNER_W, BANNER_H = 431, 77
PANEL_W = 257
PLATES = {
    # name: (width, height, background as B, G, R)
    "brand_pixels.bgra": (166, 44, (0x26, 0x23, 0x22)),
    "menu_brand_pixels.bgra": (90, 26, (0x20, 0x1A, 0x16)),
}
ICON_SIZES = (16, 24, 32, 40, 48, 64, 128, 256)
WAV_RATE = 22050
WAV_SAMPLES = 175296

GENERATED = BANNERS + tuple(PLATES) + ("icon.ico", "calling_wave.wav")


def read(name):
    with open(os.path.join(ASSETS, name), "rb") as f:
        return f.read()


def pixels(data, w, h):
    """Rows of (b, g, r, x) tuples."""
    return [[tuple(data[(y * w + x) * 4:(y * w + x) * 4 + 4]) for x in range(w)] for y in range(h)]


def test_file_sizes():
    expected = {name: BANNER_W * BANNER_H * 4 for name in BANNERS}
    expected.update({name: w * h * 4 for name, (w, h, _) in PLATES.items()})
    expected["calling_wave.wav"] = 350636
    for name, size in expected.items():
        assert os.path.getsize(os.path.join(ASSETS, name)) == size, name


def test_header_sizes_match_files():
    # assets.h gives the C side its array bounds; they must track the files
    text = read("assets.h").decode()
    defs = {k: int(v) for k, v in re.findall(r"#define\s+(\w+)\s+(\d+)", text)}
    assert defs["HERO_W"] * defs["HERO_H"] * 4 == len(read("hero_pixels.bgra"))
    assert defs["BRAND_W"] * defs["BRAND_H"] * 4 == len(read("brand_pixels.bgra"))
    assert defs["MENU_BRAND_W"] * defs["MENU_BRAND_H"] * 4 == len(read("menu_brand_pixels.bgra"))
    assert defs["CALLING_WAVE_SIZE"] == len(read("calling_wave.wav"))


# ---------------------------------------------------------------- sound ----
class TestCallingWave:
    @pytest.fixture(scope="class")
    def wav(self):
        return read("calling_wave.wav")

    @pytest.fixture(scope="class")
    def samples(self, wav):
        return struct.unpack("<%dh" % WAV_SAMPLES, wav[44:])

    def test_header_exact(self, wav):
        expected = (b"RIFF" + struct.pack("<I", 350628) + b"WAVE" +
                    b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 22050, 44100, 2, 16) +
                    b"data" + struct.pack("<I", 350592))
        assert wav[:44] == expected

    def test_only_fmt_and_data_chunks(self, wav):
        chunks = []
        pos = 12
        while pos < len(wav):
            tag, size = struct.unpack_from("<4sI", wav, pos)
            chunks.append(tag)
            pos += 8 + size + (size & 1)
        assert chunks == [b"fmt ", b"data"]
        assert pos == len(wav)

    def test_no_clipping_and_no_dc(self, samples):
        peak = max(abs(s) for s in samples)
        assert peak < 0.9 * 32768
        assert abs(sum(samples) / len(samples)) < 0.005 * 32768

    def test_audible(self, samples):
        rms = (sum(s * s for s in samples) / len(samples)) ** 0.5
        assert rms > 0.05 * 32768
        assert max(abs(s) for s in samples) > 0.5 * 32768

    def test_soft_start_and_end(self, samples):
        n = WAV_RATE * 5 // 1000
        assert max(abs(s) for s in samples[:n]) < 0.02 * 32768
        assert max(abs(s) for s in samples[-n:]) < 0.02 * 32768
        assert abs(samples[0]) < 64 and abs(samples[-1]) < 64

    def test_no_clicks(self, samples):
        # a jump bigger than any of the chime partials can make is a splice fault
        jump = max(abs(a - b) for a, b in zip(samples, samples[1:]))
        assert jump < 0.5 * 32768

    def test_rings_in_phrases(self, samples):
        # a calling pattern: loud phrases separated by quiet gaps, repeated
        win = WAV_RATE // 20
        rms = [(sum(s * s for s in samples[i:i + win]) / win) ** 0.5
               for i in range(0, len(samples) - win, win)]
        top = max(rms)
        loud = [r > 0.5 * top for r in rms]
        onsets = sum(1 for a, b in zip(loud, loud[1:]) if b and not a) + (1 if loud[0] else 0)
        assert onsets >= 3
        assert min(rms[5:-5]) < 0.2 * top


# -------------------------------------------------------------- pictures ---
@pytest.mark.parametrize("name", GENERATED[:5])
def test_fourth_byte_is_zero(name):
    data = read(name)
    assert data[3::4] == bytes(len(data) // 4)


class TestBanners:
    @staticmethod
    def luma(p):
        return 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2]

    @pytest.mark.parametrize("name", BANNERS)
    def test_picture_has_content_on_the_visible_side(self, name):
        rows = pixels(read(name), BANNER_W, BANNER_H)
        right = [p[:3] for row in rows for p in row[PANEL_W:]]
        lum = [self.luma(p) for p in right]
        mean = sum(lum) / len(lum)
        std = (sum((v - mean) ** 2 for v in lum) / len(lum)) ** 0.5
        assert std > 25, "flat picture"
        assert len(set(right)) > 2000, "too few colours: not a shaded illustration"
        # something bright to look at, not only dark tones
        assert sum(1 for v in lum if v > 180) > 200

    @pytest.mark.parametrize("name", BANNERS)
    def test_left_side_blends_into_text_panel(self, name):
        # the app paints #161A20 over x < 257; a visible seam there looks broken
        rows = pixels(read(name), BANNER_W, BANNER_H)
        panel = (0x20, 0x1A, 0x16)
        for row in rows:
            for p in row[:PANEL_W - 20]:
                assert all(abs(a - b) <= 3 for a, b in zip(p[:3], panel))
            edge = row[PANEL_W]
            assert all(abs(a - b) <= 12 for a, b in zip(edge[:3], panel))

    def test_slides_differ(self):
        a, b, c = (read(n) for n in BANNERS)
        assert a != b and b != c and a != c


class TestBrandPlates:
    @pytest.mark.parametrize("name", sorted(PLATES))
    def test_border_is_exact_background(self, name):
        w, h, bg = PLATES[name]
        rows = pixels(read(name), w, h)
        border = rows[0] + rows[-1] + [r[0] for r in rows] + [r[-1] for r in rows]
        assert all(p[:3] == bg for p in border)

    @pytest.mark.parametrize("name", sorted(PLATES))
    def test_red_and_white_present(self, name):
        w, h, _ = PLATES[name]
        flat = [p for row in pixels(read(name), w, h) for p in row]
        red = sum(1 for b, g, r, _ in flat if r > 150 and g < 80 and b < 90)
        white = sum(1 for b, g, r, _ in flat if min(b, g, r) > 215)
        assert red > w * h // 20
        assert white > w * h // 40


# ------------------------------------------------------------------ icon ---
def png_decode_rgba(png):
    """Returns (width, height, bit depth, colour type, pixel bytes) for 8-bit RGBA."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, ihdr = 8, b"", None
    while pos < len(png):
        length, tag = struct.unpack_from(">I4s", png, pos)
        body = png[pos + 8:pos + 8 + length]
        crc = struct.unpack_from(">I", png, pos + 8 + length)[0]
        assert zlib.crc32(tag + body) & 0xFFFFFFFF == crc, tag
        if tag == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
        if tag == b"IEND":
            break
    w, h, depth, ctype = ihdr[:4]
    if (depth, ctype) != (8, 6):
        return w, h, depth, ctype, None
    raw = zlib.decompress(idat)
    stride, bpp, out, prev = w * 4, 4, bytearray(), bytearray(w * 4)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        out += line
        prev = line
    return w, h, depth, ctype, bytes(out)


class TestIcon:
    @pytest.fixture(scope="class")
    def ico(self):
        return read("icon.ico")

    @pytest.fixture(scope="class")
    def entries(self, ico):
        reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
        assert (reserved, kind) == (0, 1)
        return [struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i) for i in range(count)]

    def test_directory(self, ico, entries):
        assert sorted(256 if e[0] == 0 else e[0] for e in entries) == sorted(ICON_SIZES)
        end = 6 + 16 * len(entries)
        for w, h, colours, res, planes, bits, size, offset in entries:
            assert w == h and colours == 0 and res == 0
            assert (planes, bits) == (1, 32)
            # images packed back to back after the directory, nothing dangling
            assert offset == end
            end = offset + size
        assert end == len(ico)

    def test_images_are_rgba_png_of_their_size(self, ico, entries):
        for e in entries:
            size = 256 if e[0] == 0 else e[0]
            w, h, depth, ctype, px = png_decode_rgba(ico[e[7]:e[7] + e[6]])
            assert (w, h, depth, ctype) == (size, size, 8, 6)
            # each size shows a red tile with a white symbol on it
            quads = [px[i:i + 4] for i in range(0, len(px), 4)]
            opaque = [q for q in quads if q[3] == 255]
            red = sum(1 for r, g, b, a in opaque if r > 140 and g < 70 and b < 80)
            white = sum(1 for r, g, b, a in opaque if min(r, g, b) > 225)
            assert len(opaque) > size * size * 0.6
            assert red > size * size * 0.3
            assert white > size * size * 0.08

    def test_small_sizes_are_crisp(self, ico, entries):
        # hand-placed pixels: almost everything is fully red or fully white
        for e in entries:
            if e[0] not in (16, 24):
                continue
            _, _, _, _, px = png_decode_rgba(ico[e[7]:e[7] + e[6]])
            quads = [px[i:i + 4] for i in range(0, len(px), 4)]
            pure = sum(1 for r, g, b, a in quads if a in (0, 255) and (min(r, g, b) == 255 or g < 60))
            assert pure > 0.8 * len(quads)


# ------------------------------------------------------------ generator ---
def _have_pil():
    try:
        import numpy  # noqa: F401
        import PIL  # noqa: F401
    except ImportError:
        return False
    return True


def assert_alike(made, committed, name):
    """Same size and the same look (or sound): antialiased edges may move by a shade with the version
    of NumPy and Pillow (NumPy 2.2 and Pillow 11 change at most 1 byte in 300 by more than 16)."""
    assert len(made) == len(committed), name
    diffs = [abs(a - b) for a, b in zip(made, committed)]
    assert sum(diffs) <= 0.5 * len(diffs), name + ": the colours changed"
    assert sum(1 for d in diffs if d > 16) <= len(diffs) // 100, name + ": the shapes changed"


def icon_images(ico):
    count = struct.unpack_from("<H", ico, 4)[0]
    entries = [struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i) for i in range(count)]
    return [(e[0], png_decode_rgba(ico[e[7]:e[7] + e[6]])) for e in entries]


@pytest.mark.skipif(not _have_pil(), reason="generator needs python3-pil and python3-numpy")
def test_generator_makes_the_committed_assets():
    # The committed files are what the program embeds; the generator must still make them, whatever
    # the version of the libraries: the same sizes and the same look within a shade.
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, os.path.join(ASSETS, "generate_assets.py"), tmp, "--no-previews"],
                       check=True, timeout=600)
        assert sorted(os.listdir(tmp)) == sorted(GENERATED)
        for name in GENERATED:
            with open(os.path.join(tmp, name), "rb") as f:
                made = f.read()
            if name == "icon.ico":
                # PNG compression differs between zlib versions: compare the decoded pictures.
                made_images, committed_images = icon_images(made), icon_images(read(name))
                assert [i[0] for i in made_images] == [i[0] for i in committed_images]
                for (size, m), (_, c) in zip(made_images, committed_images):
                    assert m[:4] == c[:4], "icon %d" % size
                    assert_alike(m[4], c[4], "icon %d" % size)
            elif name.endswith(".wav"):
                assert made[:44] == read(name)[:44]
                samples = "<%dh" % WAV_SAMPLES
                assert_alike(struct.unpack(samples, made[44:]), struct.unpack(samples, read(name)[44:]), name)
            else:
                assert_alike(made, read(name), name)


# ------------------------------------------------------- build products ---
def _tool(name):
    return shutil.which("x86_64-w64-mingw32-" + name)


def coff_resources(obj):
    """(type, id, language) triples from the .rsrc section of a COFF object."""
    nsec, opt = struct.unpack_from("<H", obj, 2)[0], struct.unpack_from("<H", obj, 16)[0]
    for i in range(nsec):
        o = 20 + opt + 40 * i
        if obj[o:o + 8].rstrip(b"\0").startswith(b".rsrc"):
            size, ptr = struct.unpack_from("<II", obj, o + 16)
            rsrc = obj[ptr:ptr + size]
            break
    else:
        raise AssertionError("no .rsrc section")
    found = []

    def walk(off, path):
        named, ids = struct.unpack_from("<HH", rsrc, off + 12)
        for e in range(named + ids):
            ident, target = struct.unpack_from("<II", rsrc, off + 16 + 8 * e)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + (ident,))
            else:
                found.append(path + (ident,))

    walk(0, ())
    return found


def test_manifest_requests_common_controls_6_and_per_monitor_v2_awareness():
    root = ET.fromstring(read("suporte.manifest"))
    ns = "{urn:schemas-microsoft-com:asm.v1}"
    assert root.tag == ns + "assembly" and root.get("manifestVersion") == "1.0"
    ids = root.findall(f"./{ns}dependency/{ns}dependentAssembly/{ns}assemblyIdentity")
    assert len(ids) == 1
    a = ids[0].attrib
    assert a["name"] == "Microsoft.Windows.Common-Controls"
    assert a["version"] == "6.0.0.0"
    assert a["publicKeyToken"] == "6595b64144ccf1df"
    assert a["processorArchitecture"] in ("amd64", "*")
    assert a["language"] == "*"
    # Windows reads each setting only in its own namespace and ignores a misplaced one without a word.
    # Version 2 first, version 1 where it is missing, and the older value for systems before both.
    settings = f"./{{urn:schemas-microsoft-com:asm.v3}}application/{{urn:schemas-microsoft-com:asm.v3}}windowsSettings"
    old = root.findall(f"{settings}/{{http://schemas.microsoft.com/SMI/2005/WindowsSettings}}dpiAware")
    new = root.findall(f"{settings}/{{http://schemas.microsoft.com/SMI/2016/WindowsSettings}}dpiAwareness")
    assert [e.text for e in old] == ["true/pm"]
    assert [[v.strip() for v in e.text.split(",")] for e in new] == [["PerMonitorV2", "PerMonitor"]]


@pytest.mark.skipif(not _tool("windres"), reason="mingw-w64 windres not installed")
def test_resource_script_compiles_to_icon_and_manifest():
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "res.o")
        subprocess.run([_tool("windres"), "-I", ASSETS, os.path.join(ASSETS, "suporte.rc"),
                        "-O", "coff", "-o", out], check=True, cwd=tmp, timeout=120)
        with open(out, "rb") as f:
            res = coff_resources(f.read())
    en_us = 0x0409
    expected = [(3, i, en_us) for i in range(1, 9)] + [(14, 101, en_us), (16, 1, 0x0416), (24, 1, en_us)]
    assert sorted(res) == sorted(expected)


@pytest.mark.skipif(not _tool("g++"), reason="mingw-w64 g++ not installed")
def test_embedding_object_holds_each_file():
    files = ["hero_pixels.bgra", "hero_notebook.bgra", "hero_manutencao.bgra",
             "brand_pixels.bgra", "menu_brand_pixels.bgra", "calling_wave.wav"]
    with tempfile.TemporaryDirectory() as tmp:
        obj = os.path.join(tmp, "assets.o")
        subprocess.run([_tool("g++"), "-std=c++17", "-Wall", "-Werror", "-c",
                        '-DASSET_DIR="%s/"' % ASSETS, os.path.join(ASSETS, "assets.cpp"), "-o", obj],
                       check=True, timeout=120)
        nm = subprocess.run([_tool("nm"), obj], check=True, capture_output=True, text=True).stdout
    syms = {}
    for line in nm.splitlines():
        parts = line.split()
        if len(parts) == 3:
            syms[parts[2]] = (int(parts[0], 16), parts[1])
    names = [f.split(".")[0] for f in files]
    for n in names:
        assert syms.get(n, (0, ""))[1] == "R", n + " missing or not read-only"
    # symbols follow each other in file order; each gap is its file (plus alignment)
    addrs = [syms[n][0] for n in names]
    for n, f, a, b in zip(names, files, addrs, addrs[1:]):
        size = os.path.getsize(os.path.join(ASSETS, f))
        assert size <= b - a < size + 16, n

#!/usr/bin/python3
"""Usage: tools/ui_font.py FOLDER

Writes the stand-in for Segoe UI that the Wine prefixes of the tests and the demo use: Open Sans
(regular, semibold, bold) renamed "Suporte Sans", with the black circle U+25CF that the status lines
draw ("●  Zivavoz online") taken from DejaVu Sans, since Open Sans has none and Wine would draw a box.
"""

import os
import sys

from fontTools.ttLib import TTFont

OPEN_SANS = "/usr/share/fonts/truetype/open-sans/OpenSans-%s.ttf"
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans%s.ttf"
FAMILY = "Suporte Sans"
BULLET = 0x25CF


def add_glyph(font, donor, code):
    """Copies the donor's glyph for the code point, outline and advance, into the font."""
    name = donor.getBestCmap()[code]
    glyph = donor["glyf"][name]
    glyph.expand(donor["glyf"])
    if font["head"].unitsPerEm != donor["head"].unitsPerEm:
        sys.exit("ui_font.py: the two fonts need the same units per em")
    new = "uni%04X" % code
    font.setGlyphOrder(font.getGlyphOrder() + [new])
    font["glyf"][new] = glyph
    font["hmtx"][new] = donor["hmtx"][name]
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap[code] = new
    font["maxp"].numGlyphs = len(font.getGlyphOrder())


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for style, donor_style in (("Regular", ""), ("Semibold", "-Bold"), ("Bold", "-Bold")):
        font = TTFont(OPEN_SANS % style)
        add_glyph(font, TTFont(DEJAVU % donor_style), BULLET)
        for record in font["name"].names:
            text = str(record)
            if "Open Sans" in text or "OpenSans" in text:
                record.string = text.replace("Open Sans", FAMILY).replace("OpenSans", "SuporteSans")
        font.save(os.path.join(out, "SuporteSans-%s.ttf" % style))


if __name__ == "__main__":
    main()

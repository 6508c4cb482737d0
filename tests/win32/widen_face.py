"""Widens the word space of a TrueType font by EXTRA_EM of an em, in place, and drops its 8.25 pt
bitmaps, so that the outlines are drawn at 96 DPI too:

  /usr/bin/python3 widen_face.py FONT_TTF EXTRA_EM

Advances are rounded to whole pixels, so letters a few per cent wider would come out wider at
some DPIs only; a space 0.17 em wider is 2 pixels wider at 96 DPI and 3 at 144 and 192.
"""
import os
import sys

from fontTools.ttLib import TTFont


def main(path, extra_em):
    font = TTFont(path)
    space = font.getBestCmap()[ord(" ")]
    advance, bearing = font["hmtx"][space]
    font["hmtx"][space] = (advance + round(extra_em * font["head"].unitsPerEm), bearing)
    for table in ("EBDT", "EBLC"):
        del font[table]
    # A new file, not the one that the prefix shares with the template it was copied from.
    font.save(path + ".part")
    os.replace(path + ".part", path)


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]))

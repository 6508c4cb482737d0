"""Writes a TrueType "Microsoft Sans Serif" for Wine, which has none, from Wine's own fonts.

  /usr/bin/python3 make_stand_in_font.py TAHOMA_TTF RASTER_FONT_DIR OUTPUT_TTF

It is Wine's Tahoma with the widths of Wine's raster MS Sans Serif at 8 pt and 96 DPI (the
sserif*.fon and ssee*.fon in RASTER_FONT_DIR), which the real face has at 8.25 pt: each character
the raster fonts have takes their advance width, its outline condensed to fit or centred. At
11 ppem, 8.25 pt at 96 DPI, the raster glyphs themselves are its bitmaps, in place of Tahoma's
wider ones, so that the text looks as it did in MS Sans Serif. A one-instruction prep program
makes FreeType round each advance to whole pixels, as Windows does, where its auto-hinter would
widen the glyphs; the outlines, not hinted, are drawn smoothed at every other size.
"""
import glob
import os
import struct
import sys

from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables import ttProgram
from fontTools.ttLib.tables.BitmapGlyphMetrics import SmallGlyphMetrics
from fontTools.ttLib.tables.E_B_D_T_ import ebdt_bitmap_format_1
from fontTools.ttLib.tables.E_B_L_C_ import SbitLineMetrics, Strike, eblc_index_sub_table_1

PPEM = 11  # 8 pt at 96 DPI, the raster fonts' em (cell height 13 less the internal leading 2)
# Any advance within half a pixel of the raster width rounds to it at 11 ppem. 0.15 px less keeps
# the text at 120 and 144 DPI, where 8.25 pt rounds up to 14 and 17 px, near 1.25 and 1.5 times
# its width at 96 DPI and inside the labels, which scale so; at the full width it outgrew them.
NARROWER = 0.15
CODE_PAGES = {0: "cp1252", 238: "cp1250", 204: "cp1251", 161: "cp1253", 162: "cp1254",
              177: "cp1255", 178: "cp1256", 186: "cp1257", 222: "cp874"}  # by FNT charset


def filled(thing, **fields):
    for field, value in fields.items():
        setattr(thing, field, value)
    return thing


def raster_glyphs(path):
    """(charset, ascent, height, {character: (width, rows of bytes)}) of each 8 pt, 96 DPI font
    in a Windows 3 .fon (NE) file."""
    data = open(path, "rb").read()
    word = lambda at: struct.unpack_from("<H", data, at)[0]
    table = word(0x3C) + word(word(0x3C) + 0x24)
    shift, at = word(table), table + 2
    while word(at):  # the resource types
        kind, count, at = word(at), word(at + 2), at + 8
        resources = range(count if kind == 0x8008 else 0)  # RT_FONT
        for start in (word(at + 12 * i) << shift for i in resources):
            if (word(start + 0x44), word(start + 0x46)) != (8, 96):  # points, vertical DPI
                continue
            charset, height = data[start + 0x55], word(start + 0x58)
            first, last = data[start + 0x5F], data[start + 0x60]
            v3 = word(start) == 0x300
            glyphs = {}
            for byte in range(first, last + 1):
                entry = start + (0x94 + 6 * (byte - first) if v3 else 0x76 + 4 * (byte - first))
                width = word(entry)
                offset = struct.unpack_from("<I", data, entry + 2)[0] if v3 else word(entry + 2)
                bits = start + offset
                columns = range((width + 7) // 8)  # stored a column of bytes after another
                rows = [bytes(data[bits + c * height + r] for c in columns) for r in range(height)]
                character = bytes([byte]).decode(CODE_PAGES.get(charset, "cp1252"), "ignore")
                if character.isprintable() and character:
                    glyphs[character] = width, rows
            yield charset, word(start + 0x4A), height, glyphs
        at += 12 * count


def fit_outlines(font, widths):
    """Gives each glyph named in widths that many pixels at 11 ppem, condensing or centring it."""
    units, glyphs, metrics = font["head"].unitsPerEm, font.getGlyphSet(), font["hmtx"]
    outlines = {}
    for name in font.getGlyphOrder():  # every glyph decomposed, so no component changes twice
        advance = metrics[name][0]
        target = round((widths[name] - NARROWER) * units / PPEM) if name in widths else advance
        scale = min(1.0, target / advance) if advance else 1.0
        pen, recording = TTGlyphPen(None), DecomposingRecordingPen(glyphs)
        glyphs[name].draw(recording)
        recording.replay(TransformPen(pen, (scale, 0, 0, 1, (target - scale * advance) / 2, 0)))
        outlines[name] = (pen.glyph(), target)
    for name, (glyph, advance) in outlines.items():
        font["glyf"][name] = glyph
        glyph.recalcBounds(font["glyf"])
        metrics[name] = (advance, glyph.xMin if glyph.numberOfContours else 0)


def add_bitmaps(font, bitmaps, ascent, height):
    """One strike at 11 ppem, in place of the font's: each raster glyph whole, its top at the
    ascent."""
    names = sorted(bitmaps, key=font.getGlyphID)
    images = {}
    for name in names:
        width, rows = bitmaps[name]
        images[name] = image = ebdt_bitmap_format_1(None, font)
        del image.data  # made here, not read from a file
        image.metrics = filled(SmallGlyphMetrics(), height=height, width=width, BearingX=0,
                               BearingY=ascent, Advance=width)
        image.imageData = b"".join(rows)
    index = eblc_index_sub_table_1(None, None)
    del index.data
    filled(index, indexFormat=1, imageFormat=1, names=names)
    strike = filled(Strike(), indexSubTables=[index])
    line = dict(ascender=ascent, descender=ascent - height, caretSlopeNumerator=1,
                caretSlopeDenominator=0, caretOffset=0, minOriginSB=0, minAdvanceSB=0,
                maxBeforeBL=ascent, minAfterBL=ascent - height, pad1=0, pad2=0,
                widthMax=max(width for width, _ in bitmaps.values()))
    filled(strike.bitmapSizeTable, hori=filled(SbitLineMetrics(), **line),
           vert=filled(SbitLineMetrics(), **line), colorRef=0, startGlyphIndex=0,
           endGlyphIndex=0, ppemX=PPEM, ppemY=PPEM, bitDepth=1, flags=1)
    font["EBLC"] = filled(newTable("EBLC"), version=2.0, strikes=[strike])
    font["EBDT"] = filled(newTable("EBDT"), version=2.0, strikeData=[images])
    if "BDF " in font:  # the description of the bitmaps that went
        del font["BDF "]


def main(source, raster_dir, output):
    files = [path for pattern in ("sserif*.fon", "ssee*.fon")
             for path in glob.glob(os.path.join(raster_dir, pattern))]
    fonts = sorted((f for path in files for f in raster_glyphs(path)), key=lambda f: f[0] != 0)
    raster = {}  # character: (width, rows); Western first, then the other code pages' characters
    for *_, glyphs in fonts:
        for character, glyph in glyphs.items():
            raster.setdefault(character, glyph)

    font = TTFont(source)
    bitmaps = {}  # glyph name: raster glyph
    for code, name in font.getBestCmap().items():
        if chr(code) in raster:
            bitmaps.setdefault(name, raster[chr(code)])
    fit_outlines(font, {name: width for name, (width, _) in bitmaps.items()})
    add_bitmaps(font, bitmaps, fonts[0][1], fonts[0][2])
    del font["GPOS"]  # kerning, in Tahoma's widths; GDI does not kern by it anyway
    font["prep"] = filled(newTable("prep"), program=ttProgram.Program())
    font["prep"].program.fromAssembly(["SVTCA[0]"])
    # Smoothed and never fitted to the grid, but at 11 ppem drawn in black and white, which is when
    # Wine takes a size's bitmaps.
    font["gasp"].gaspRange = {PPEM - 1: 0x000A, PPEM: 0, 0xFFFF: 0x000A}
    font["OS/2"].recalcAvgCharWidth(font)
    for record in font["name"].names:
        if record.nameID in (1, 4, 6, 16):  # family, full name, PostScript name, typographic family
            record.string = "MicrosoftSansSerif" if record.nameID == 6 else "Microsoft Sans Serif"
    font.save(output + ".part")  # a half-written font would stay for good
    os.replace(output + ".part", output)


if __name__ == "__main__":
    main(*sys.argv[1:])

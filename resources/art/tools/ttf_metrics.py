"""Horizontal advances of a TrueType font, read straight from its cmap and hmtx tables.

Used by the art generator to set text along an arc glyph by glyph (the SVG renderer of the
build does not follow text paths), so the spacing matches what the renderer draws.
"""

import struct


class Font:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        num_tables = struct.unpack(">H", self.data[4:6])[0]
        self.tables = {}
        for i in range(num_tables):
            tag, _, offset, length = struct.unpack(">4sIII", self.data[12 + 16 * i : 28 + 16 * i])
            self.tables[tag.decode("ascii")] = (offset, length)
        self.units_per_em = struct.unpack(">H", self._table("head")[18:20])[0]
        hhea = self._table("hhea")
        self.ascent, self.descent = struct.unpack(">hh", hhea[4:8])
        num_hmetrics = struct.unpack(">H", hhea[34:36])[0]
        hmtx = self._table("hmtx")
        self.advances = [struct.unpack(">H", hmtx[4 * i : 4 * i + 2])[0] for i in range(num_hmetrics)]
        self.cmap = self._read_cmap()

    def _table(self, tag):
        offset, length = self.tables[tag]
        return self.data[offset : offset + length]

    def _read_cmap(self):
        cmap = self._table("cmap")
        num = struct.unpack(">H", cmap[2:4])[0]
        for i in range(num):
            platform, encoding, offset = struct.unpack(">HHI", cmap[4 + 8 * i : 12 + 8 * i])
            if platform == 3 and encoding == 1 and struct.unpack(">H", cmap[offset : offset + 2])[0] == 4:
                return self._read_format4(cmap[offset:])
        raise ValueError("no Unicode BMP cmap")

    @staticmethod
    def _read_format4(sub):
        seg_count = struct.unpack(">H", sub[6:8])[0] // 2
        ends = struct.unpack(">%dH" % seg_count, sub[14 : 14 + 2 * seg_count])
        base = 16 + 2 * seg_count
        starts = struct.unpack(">%dH" % seg_count, sub[base : base + 2 * seg_count])
        deltas = struct.unpack(">%dh" % seg_count, sub[base + 2 * seg_count : base + 4 * seg_count])
        range_base = base + 4 * seg_count
        offsets = struct.unpack(">%dH" % seg_count, sub[range_base : range_base + 2 * seg_count])
        mapping = {}
        for s in range(seg_count):
            for code in range(starts[s], ends[s] + 1):
                if code == 0xFFFF:
                    continue
                if offsets[s] == 0:
                    glyph = (code + deltas[s]) & 0xFFFF
                else:
                    at = range_base + 2 * s + offsets[s] + 2 * (code - starts[s])
                    glyph = struct.unpack(">H", sub[at : at + 2])[0]
                    if glyph:
                        glyph = (glyph + deltas[s]) & 0xFFFF
                mapping[code] = glyph
        return mapping

    def advance(self, char, size):
        glyph = self.cmap.get(ord(char), 0)
        units = self.advances[min(glyph, len(self.advances) - 1)]
        return units * size / self.units_per_em

    def width(self, text, size, spacing=0.0):
        return sum(self.advance(c, size) for c in text) + spacing * (len(text) - 1)

#!/usr/bin/env python3
"""Writes the TIFF fuzz seeds of this folder: small files with the malformed fields that have
broken other TIFF readers (strip tables of different lengths, offsets and byte counts past the
end, RowsPerStrip 0 or overflowing, BitsPerSample 0 or huge, huge SamplesPerPixel, differencing
on rows that are not whole pixels, PackBits runs past the input or the output, a short colour
map, a tiny file claiming a huge strip), and small files of each kind of data that is not a
plain strip: tiles, Deflate, tiled LZW with differencing. samples-per-pixel-zero.tif is a
finding of the fuzzer, kept as it was found. The well-formed seeds are the test files of tests/data/tiff, which
fuzz/smoke.sh adds. Run once by hand: fuzz/seeds/tiff/make-seeds.py"""
import os
import struct
import zlib

BYTE, SHORT, LONG = 1, 3, 4
here = os.path.dirname(os.path.abspath(__file__))


def tiff(fields, data, big=False):
    """fields: {tag: (type, [values])}; data blocks are placed after the header, and a value
    'DATA' stands for the offset of the data, ('DATA', n) for n bytes after it."""
    order = '>' if big else '<'
    out = bytearray(b'MM' if big else b'II') + struct.pack(order + 'HI', 42, 0)
    data_at = len(out)
    out += data
    arrays = {}
    sizes = {BYTE: 'B', SHORT: 'H', LONG: 'I'}
    for tag, (kind, values) in sorted(fields.items()):
        values = [data_at if v == 'DATA' else data_at + v[1] if isinstance(v, tuple) else v for v in values]
        fields[tag] = (kind, values)
        if len(values) * struct.calcsize(sizes[kind]) > 4:
            if len(out) % 2:
                out += b'\0'
            arrays[tag] = len(out)
            out += struct.pack(order + sizes[kind] * len(values), *values)
    if len(out) % 2:
        out += b'\0'
    directory = len(out)
    out += struct.pack(order + 'H', len(fields))
    for tag, (kind, values) in sorted(fields.items()):
        out += struct.pack(order + 'HHI', tag, kind, len(values))
        if tag in arrays:
            out += struct.pack(order + 'I', arrays[tag])
        else:
            value = struct.pack(order + sizes[kind] * len(values), *values)
            out += value + b'\0' * (4 - len(value))
    out += struct.pack(order + 'I', 0)
    struct.pack_into(order + 'I', out, 4, directory)
    return bytes(out)


def picture(width, height, photometric, bits, samples=1, compression=1, count=None, extra=None):
    fields = {256: (LONG, [width]), 257: (LONG, [height]), 258: (SHORT, [bits] * samples),
              259: (SHORT, [compression]), 262: (SHORT, [photometric]), 273: (LONG, ['DATA']),
              277: (SHORT, [samples]), 278: (LONG, [height]), 279: (LONG, [count or 64])}
    fields.update(extra or {})
    return fields


def write(name, fields, data, big=False):
    with open(os.path.join(here, name), 'wb') as f:
        f.write(tiff(fields, data, big))


rgb = bytes(range(48))
write('strip-tables-of-different-lengths.tif',
      picture(4, 4, 2, 8, 3, 32773, extra={273: (LONG, ['DATA', 20, 30, 40]), 279: (LONG, [13, 13]),
                                      278: (SHORT, [1])}), bytes([11]) + rgb[:12] + bytes([11]) + rgb[12:24])
write('offsets-past-the-end.tif', picture(4, 4, 2, 8, 3, extra={273: (LONG, [0xFFFFFF00, 8]), 278: (SHORT, [2])}), rgb)
write('byte-counts-past-the-end.tif', picture(4, 4, 2, 8, 3, 5, count=0x7FFFFFFF), bytes([0x80, 0x00, 0x20]))
write('rows-per-strip-zero.tif', picture(4, 4, 1, 8, extra={278: (LONG, [0]), 273: (LONG, ['DATA'] * 4)}), rgb[:16])
write('rows-per-strip-overflowing.tif',
      picture(60000, 4, 2, 16, 3, 32773, extra={278: (LONG, [0xFFFFFFFF]), 273: (LONG, ['DATA', 9])}),
      bytes([0x81, 0x55] * 8), big=True)
write('bits-per-sample-zero.tif', picture(4, 4, 1, 0), rgb[:16])
write('bits-per-sample-huge.tif', picture(4, 4, 2, 0xFFFF, 3), rgb)
write('samples-per-pixel-huge.tif', picture(4, 4, 2, 8, 3, extra={277: (SHORT, [0xFFFF])}), rgb)
write('differencing-4-bit.tif', picture(7, 4, 1, 4, 1, 5, extra={317: (SHORT, [2])}), bytes([0x80, 0x0F, 0xF0]))
write('differencing-rgb16.tif', picture(3, 2, 2, 16, 3, 1, extra={317: (SHORT, [2])}), rgb[:36], big=True)
write('packbits-runs-past-both-ends.tif', picture(3, 1, 1, 8, 1, 32773, count=5),
      bytes([0x81, 0x7F, 0x7F, 1, 2]))
write('colour-map-short.tif', picture(4, 4, 3, 8, extra={320: (SHORT, [0xFFFF] * 30)}), rgb[:16])
write('huge-lzw-strip.tif', picture(16384, 16384, 2, 8, 3, 5, count=3), bytes([0x80, 0x00, 0x20]))
write('cmyk-lzw-big-endian.tif', picture(4, 4, 5, 8, 4, 5, count=4), bytes([0x80, 0x02, 0x00, 0x60]), big=True)
write('lab-packbits.tif', picture(4, 4, 8, 8, 3, 32773, count=6), bytes([0xF5, 0x80, 5, 0x7F, 0x40, 0x20]))


def lzw(data):
    """TIFF LZW: codes most significant bit first, widening one code early, a clear code first
    and whenever the table is full."""
    out, buffer, count = bytearray(), 0, 0

    def put(code, width):
        nonlocal buffer, count
        buffer, count = buffer << width | code, count + width
        while count >= 8:
            count -= 8
            out.append(buffer >> count & 0xFF)

    table, width, prefix = {bytes([i]): i for i in range(256)}, 9, b''
    put(256, width)
    for byte in data:
        string = prefix + bytes([byte])
        if string in table:
            prefix = string
            continue
        put(table[prefix], width)
        table[string] = len(table) + 2
        if len(table) + 2 == (1 << width) - 1 and width < 12:
            width += 1
        if len(table) + 2 >= 4094:
            put(256, width)
            table, width = {bytes([i]): i for i in range(256)}, 9
        prefix = bytes([byte])
    put(table[prefix], width)
    put(257, width)
    if count:
        out.append(buffer << (8 - count) & 0xFF)
    return bytes(out)


def differenced(rows, distance):
    """Horizontal differencing of each row, `distance` bytes apart."""
    return b''.join(bytes((row[i] - (row[i - distance] if i >= distance else 0)) & 0xFF for i in range(len(row)))
                    for row in rows)


def tiled(width, height, photometric, bits, samples, compression, tile_width, tile_length, tiles, big=False,
          extra=None):
    """A tiled picture whose tiles' data follow one another from the start of the data."""
    fields = picture(width, height, photometric, bits, samples, compression)
    for tag in (273, 278, 279):
        del fields[tag]
    offsets, at = [], 0
    for tile in tiles:
        offsets.append(at)
        at += len(tile)
    fields.update({322: (SHORT, [tile_width]), 323: (SHORT, [tile_length]),
                   324: (LONG, [('DATA', o) for o in offsets]), 325: (LONG, [len(t) for t in tiles])})
    fields.update(extra or {})
    return fields, b''.join(tiles)


# 20 x 18 RGB in tiles of 16 x 16: the right and bottom tiles run past the picture.
def tile_rows(tx, ty, samples=3):
    return [bytes((tx * 50 + ty * 90 + x * 7 + y * 3 + s * 60) & 0xFF for x in range(16) for s in range(samples))
            for y in range(16)]


grid = [(tx, ty) for ty in range(2) for tx in range(2)]
fields, data = tiled(20, 18, 2, 8, 3, 1, 16, 16, [b''.join(tile_rows(tx, ty)) for tx, ty in grid])
write('tiled.tif', fields, data)
fields, data = tiled(20, 18, 2, 8, 3, 5, 16, 16, [lzw(differenced(tile_rows(tx, ty), 3)) for tx, ty in grid],
                     big=True, extra={317: (SHORT, [2])})
write('tiled-lzw-differencing.tif', fields, data, big=True)
fields, data = tiled(20, 18, 1, 8, 1, 8, 16, 16, [zlib.compress(b''.join(tile_rows(tx, ty, 1))) for tx, ty in grid[:3]])
write('tiled-deflate-tile-missing.tif', fields, data)
rows = [bytes((x * 5 + y * 11 + s * 40) & 0xFF for x in range(12) for s in range(3)) for y in range(6)]
write('deflate-strip.tif', picture(12, 6, 2, 8, 3, 8, count=len(zlib.compress(b''.join(rows)))),
      zlib.compress(b''.join(rows)))
packed = zlib.compress(differenced(rows, 3))
write('deflate-differencing-cut-short.tif', picture(12, 6, 2, 8, 3, 32946, count=len(packed), extra={317: (SHORT, [2])}),
      packed[:len(packed) // 2], big=True)
write('tile-wider-than-any-picture.tif',
      picture(4, 4, 1, 8, 1, 8, extra={322: (LONG, [0xFFFFFFF0]), 323: (SHORT, [2]), 324: (LONG, ['DATA', 'DATA']),
                                       325: (LONG, [8, 8])}), zlib.compress(bytes(64))[:8])

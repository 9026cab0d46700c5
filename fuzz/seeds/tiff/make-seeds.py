#!/usr/bin/env python3
"""Writes the TIFF fuzz seeds of this folder: small files with the malformed fields that have
broken other TIFF readers (strip tables of different lengths, offsets and byte counts past the
end, RowsPerStrip 0 or overflowing, BitsPerSample 0 or huge, huge SamplesPerPixel, differencing
on rows that are not whole pixels, PackBits runs past the input or the output, a short colour
map, a tiny file claiming a huge strip). samples-per-pixel-zero.tif is a finding of the fuzzer,
kept as it was found. The well-formed seeds are the test files of tests/data/tiff, which
fuzz/smoke.sh adds. Run once by hand: fuzz/seeds/tiff/make-seeds.py"""
import os
import struct

BYTE, SHORT, LONG = 1, 3, 4
here = os.path.dirname(os.path.abspath(__file__))


def tiff(fields, data, big=False):
    """fields: {tag: (type, [values])}; data blocks are placed after the header, and a value
    'DATA' in StripOffsets stands for the offset of the data."""
    order = '>' if big else '<'
    out = bytearray(b'MM' if big else b'II') + struct.pack(order + 'HI', 42, 0)
    data_at = len(out)
    out += data
    arrays = {}
    sizes = {BYTE: 'B', SHORT: 'H', LONG: 'I'}
    for tag, (kind, values) in sorted(fields.items()):
        values = [data_at if v == 'DATA' else v for v in values]
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

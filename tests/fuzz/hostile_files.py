#!/usr/bin/env python3
"""Writes the hostile image files that once made the loader grow without bound, into a folder.

    hostile_files.py OUT_DIR [PROGRESSIVE_JPEG]

png-text-chunk-2gb.png   50 bytes: a text chunk that declares a 2 GB length
jpeg-progressive-20000.jpg  a small progressive JPEG whose frame declares 20000 x 20000 (needs the
                         JPEG argument)
png-inflate-1gib.png     about 1 MB: a 2400 x 2400 grey image whose data inflates to 1 GiB
tiff16-grey-11585.tif    a white 16-bit grey TIFF of 11585 x 11585 (deflate, one strip)
tiff8-grey-11585.tif     the same in 8 bits
png16-rgba-8192.png      a white 16-bit RGBA PNG of 8192 x 8192
png16-grey-8192.png      a white 16-bit grey PNG of 8192 x 8192
ico-png16-8192.ico       an icon file holding that 16-bit RGBA PNG
webp-11585.webp          a lossless WebP of 11585 x 11585 in a few bytes (one colour, zero-bit codes)
webp-16383.webp          the same at the format's largest size
The first two and the WebP files are small enough to live in the image corpus; the others are for
measuring (bench/decode_memory.sh).
"""
import pathlib
import struct
import sys
import zlib


def chunk(kind: bytes, data: bytes, declared=None) -> bytes:
    length = len(data) if declared is None else declared
    return struct.pack(">I", length) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def ihdr(width: int, height: int, colour: int) -> bytes:
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0))


SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_text_chunk_2gb() -> bytes:
    return SIGNATURE + ihdr(1, 1, 0) + struct.pack(">I", 0x7FFFFFF0) + b"tEXtComment\0"[:9]


def png_inflate_1gib() -> bytes:
    compressor = zlib.compressobj(9)
    row = b"\0" * 2401
    block = row * 4096
    body = []
    produced = 0
    while produced < 1 << 30:
        body.append(compressor.compress(block))
        produced += len(block)
    body.append(compressor.flush())
    return SIGNATURE + ihdr(2400, 2400, 0) + chunk(b"IDAT", b"".join(body)) + chunk(b"IEND", b"")


def deflated_rows(row: bytes, rows: int) -> bytes:
    compressor = zlib.compressobj(9)
    block_rows = max(1, (1 << 22) // len(row))
    block = row * block_rows
    body = []
    left = rows
    while left > 0:
        take = min(left, block_rows)
        body.append(compressor.compress(block if take == block_rows else row * take))
        left -= take
    body.append(compressor.flush())
    return b"".join(body)


def png_uniform(width: int, height: int, depth: int, colour: int) -> bytes:
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    row = b"\0" + b"\xff" * (width * channels * depth // 8)
    header = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
    return SIGNATURE + header + chunk(b"IDAT", deflated_rows(row, height)) + chunk(b"IEND", b"")


def tiff_uniform_grey(side: int, bits: int) -> bytes:
    """A little-endian TIFF: header, the deflated strip, then the directory."""
    strip = deflated_rows(b"\xff" * (side * bits // 8), side)
    directory_at = 8 + len(strip) + (len(strip) & 1)
    entries = [  # tag, type (3 SHORT, 4 LONG), value
        (256, 4, side), (257, 4, side), (258, 3, bits), (259, 3, 8), (262, 3, 1),
        (273, 4, 8), (277, 3, 1), (278, 4, side), (279, 4, len(strip)), (284, 3, 1),
    ]
    directory = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        directory += struct.pack("<HHI", tag, kind, 1) + (struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value))
    directory += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", directory_at) + strip + b"\0" * (len(strip) & 1) + directory


def ico_holding(png: bytes) -> bytes:
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + png


class Bits:
    """Bits written least significant first, as VP8L reads them."""

    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, value: int, width: int):
        self.value |= value << self.count
        self.count += width

    def bytes(self) -> bytes:
        return self.value.to_bytes((self.count + 7) // 8, "little")


def webp_uniform(side: int) -> bytes:
    """A lossless WebP of one opaque white colour: every prefix code holds a single symbol, which
    takes no bits to read, so the pixels cost nothing however many there are."""
    bits = Bits()
    bits.put(side - 1, 14)
    bits.put(side - 1, 14)
    bits.put(0, 1)  # no alpha
    bits.put(0, 3)  # version
    bits.put(0, 1)  # no transform
    bits.put(0, 1)  # no colour cache
    bits.put(0, 1)  # no meta prefix codes
    for symbol in (255, 255, 255, 255, 0):  # green, red, blue, alpha, distance
        bits.put(1, 1)  # simple code
        bits.put(0, 1)  # one symbol
        bits.put(1, 1)  # of 8 bits
        bits.put(symbol, 8)
    data = b"\x2f" + bits.bytes()
    if len(data) & 1:
        data += b"\0"
    body = b"WEBP" + b"VP8L" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def jpeg_with_frame_size(jpeg: bytes, width: int, height: int) -> bytes:
    at = 2
    while at + 4 <= len(jpeg):
        marker = jpeg[at + 1]
        length = struct.unpack(">H", jpeg[at + 2:at + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return jpeg[:at + 5] + struct.pack(">HH", height, width) + jpeg[at + 9:]
        at += 2 + length
    raise SystemExit("no frame header")


def main() -> None:
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "png-text-chunk-2gb.png").write_bytes(png_text_chunk_2gb())
    if len(sys.argv) > 2:
        progressive = pathlib.Path(sys.argv[2]).read_bytes()
        (out / "jpeg-progressive-20000.jpg").write_bytes(jpeg_with_frame_size(progressive, 20000, 20000))
    (out / "png-inflate-1gib.png").write_bytes(png_inflate_1gib())
    (out / "tiff16-grey-11585.tif").write_bytes(tiff_uniform_grey(11585, 16))
    (out / "tiff8-grey-11585.tif").write_bytes(tiff_uniform_grey(11585, 8))
    png16 = png_uniform(8192, 8192, 16, 6)
    (out / "png16-rgba-8192.png").write_bytes(png16)
    (out / "png16-grey-8192.png").write_bytes(png_uniform(8192, 8192, 16, 0))
    (out / "ico-png16-8192.ico").write_bytes(ico_holding(png16))
    (out / "webp-11585.webp").write_bytes(webp_uniform(11585))
    (out / "webp-16383.webp").write_bytes(webp_uniform(16383))


if __name__ == "__main__":
    main()

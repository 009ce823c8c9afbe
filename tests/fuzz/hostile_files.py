#!/usr/bin/env python3
"""Writes the hostile image files that once made the loader grow without bound, into a folder.

    hostile_files.py OUT_DIR PROGRESSIVE_JPEG

png-text-chunk-2gb.png   50 bytes: a text chunk that declares a 2 GB length
jpeg-progressive-20000.jpg  a small progressive JPEG whose frame declares 20000 x 20000
png-inflate-1gib.png     about 1 MB: a 2400 x 2400 grey image whose data inflates to 1 GiB
The first two are small enough to live in the image corpus; the third is only for measuring.
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
    progressive = pathlib.Path(sys.argv[2]).read_bytes()
    (out / "jpeg-progressive-20000.jpg").write_bytes(jpeg_with_frame_size(progressive, 20000, 20000))
    (out / "png-inflate-1gib.png").write_bytes(png_inflate_1gib())


if __name__ == "__main__":
    main()

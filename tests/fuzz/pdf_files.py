#!/usr/bin/env python3
"""Writes small PDF files by hand, for the PDF corpus and for measuring hostile documents.

    pdf_files.py OUT_DIR [--hostile]

line-drawing.pdf       one A4 page of black strokes (lines, a curve, a closed box)
two-pages.pdf          two pages; only the first is read
no-page.pdf            a document whose page tree holds no page
encrypted.pdf          a document that asks for a password it does not give
With --hostile, also (for bench/decode_memory.sh, not for the corpus):
huge-media-box.pdf     a page of 14400 x 14400 points (the format's largest) full of strokes
many-pages.pdf         20000 pages
deep-forms.pdf         form objects drawing each other 64 levels deep, each twice (2^64 draws)
inflating-stream.pdf   a content stream that inflates to 1 GiB of path operators
"""
import pathlib
import sys
import zlib


def document(objects, trailer_extra=b"") -> bytes:
    """Numbered objects 1..n (bytes bodies), a cross-reference table and a trailer whose root is 1."""
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R %s>>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, trailer_extra, xref)
    return bytes(out)


def stream(data: bytes, extra: bytes = b"", deflate: bool = False) -> bytes:
    if deflate:
        data = zlib.compress(data, 9)
        extra += b" /Filter /FlateDecode"
    return b"<< /Length %d%s >>\nstream\n" % (len(data), extra) + data + b"\nendstream"


DRAWING = b"""1 J 1 j 0 G
12 w 80 700 m 515 700 l S
6 w 80 650 m 300 420 l S
4 w 100 300 m 200 500 400 100 500 300 c S
8 w 320 560 150 110 re S
"""


def one_page(content: bytes, media=b"[0 0 595 842]") -> list:
    return [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox " + media + b" /Contents 4 0 R >>",
            stream(content, deflate=True)]


def two_pages() -> list:
    return [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Contents 5 0 R >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents 6 0 R >>",
            stream(b"10 w 50 150 m 350 150 l S"),
            stream(b"10 w 150 50 m 150 350 l S")]


def no_page() -> list:
    return [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [] /Count 0 >>"]


def encrypted() -> bytes:
    # Standard security handler, revision 3, with an owner and a user password the reader cannot guess.
    objects = one_page(DRAWING)
    objects.append(b"<< /Filter /Standard /V 2 /R 3 /Length 128 /P -3904 "
                   b"/O <" + b"11" * 32 + b"> /U <" + b"22" * 32 + b"> >>")
    return document(objects, b"/Encrypt 5 0 R /ID [<0123456789abcdef0123456789abcdef> <0123456789abcdef0123456789abcdef>] ")


def huge_media_box() -> list:
    lines = b"".join(b"%d 0 m %d 14400 l " % (x, 14400 - x) for x in range(0, 14400, 7))
    return one_page(b"2 w " + lines + b"S", b"[0 0 14400 14400]")


def many_pages(count: int) -> list:
    kids = b" ".join(b"%d 0 R" % (4 + i) for i in range(count))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % count,
               stream(b"10 w 50 150 m 350 150 l S")]
    objects += [b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Contents 3 0 R >>"] * count
    return objects


def deep_forms(depth: int) -> list:
    # Object 4 + k is form k; form k draws form k + 1 twice; the last draws a line.
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 400] /Resources << /XObject << /F 4 0 R >> >> "
               b"/Contents %d 0 R >>" % (4 + depth + 1)]
    for k in range(depth):
        if k + 1 < depth:
            objects.append(stream(b"/F Do q 1 0 0 1 0.5 0 cm /F Do Q",
                                  b" /Type /XObject /Subtype /Form /BBox [0 0 400 400] "
                                  b"/Resources << /XObject << /F %d 0 R >> >>" % (4 + k + 1)))
        else:
            objects.append(stream(b"1 w 10 10 m 390 390 l S", b" /Type /XObject /Subtype /Form /BBox [0 0 400 400]"))
    objects.append(stream(b"/F Do"))
    return objects


def inflating_stream() -> list:
    compressor = zlib.compressobj(9)
    block = b"0 0 m 1 1 l " * 100000
    body = []
    produced = 0
    while produced < 1 << 30:
        body.append(compressor.compress(block))
        produced += len(block)
    body.append(compressor.compress(b"S"))
    body.append(compressor.flush())
    data = b"".join(body)
    return [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 400] /Contents 4 0 R >>",
            b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data) + data + b"\nendstream"]


def main() -> None:
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "line-drawing.pdf").write_bytes(document(one_page(DRAWING)))
    (out / "two-pages.pdf").write_bytes(document(two_pages()))
    (out / "no-page.pdf").write_bytes(document(no_page()))
    (out / "encrypted.pdf").write_bytes(encrypted())
    if "--hostile" in sys.argv[2:]:
        (out / "huge-media-box.pdf").write_bytes(document(huge_media_box()))
        (out / "many-pages.pdf").write_bytes(document(many_pages(20000)))
        (out / "deep-forms.pdf").write_bytes(document(deep_forms(64)))
        (out / "inflating-stream.pdf").write_bytes(document(inflating_stream()))


if __name__ == "__main__":
    main()

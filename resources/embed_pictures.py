#!/usr/bin/env python3
"""Turns the saver's pictures into the two sources the build compiles.

  embed_pictures.py OUT_DIR NAME=FILE.bmp ...

Writes OUT_DIR/resources/embedded_resources.cpp (each picture in its
in-memory layout, the BMP file minus its 14-byte file header, for the builds
that carry no module resources) and OUT_DIR/resources/picture_checksums.h
(the CRC-32 of each picture's stored pixel rows, in the order start-up checks
them: the order of the arguments). The build runs it whenever a picture
changes, so a picture and its check value cannot drift apart.
"""
import os
import struct
import sys
import zlib


def read_picture(path):
    """The BMP's in-memory layout and its pixel rows, found the way the
    saver's loader finds them: after the header and the colour table, one
    padded row per line of the picture."""
    with open(path, "rb") as fh:
        data = fh.read()
    if len(data) < 14 + 40 or data[:2] != b"BM":
        sys.exit("embed_pictures: %s is not a BMP file" % path)
    layout = data[14:]
    size, width, height, _, bits, _, _, _, _, used = struct.unpack_from("<IiiHHIIiiI", layout)
    entries = (used or 1 << bits) if bits <= 8 else 0
    start = size + 4 * entries
    stride = ((bits * width + 31) // 32) * 4
    rows = layout[start:start + stride * abs(height)]
    if len(rows) != stride * abs(height):
        sys.exit("embed_pictures: %s is cut short" % path)
    return layout, rows


def write(path, text):
    with open(path, "w", encoding="utf-8") as fh:
        fh.write(text)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    out_dir = os.path.join(argv[0], "resources")
    os.makedirs(out_dir, exist_ok=True)
    pictures = []
    for arg in argv[1:]:
        name, _, path = arg.partition("=")
        if not name or not path:
            sys.exit("embed_pictures: expected NAME=FILE.bmp, got %r" % arg)
        pictures.append((name, *read_picture(path)))

    cpp = ["// Made by the build from resources/pictures/*.bmp (resources/embed_pictures.py).",
           "#include <cstdint>", "", "#include \"host/resources.h\"", "", "namespace tk {", "namespace {", ""]
    for name, layout, _ in pictures:
        cpp.append("alignas(4) const uint8_t k%s[] = {" % name)
        for i in range(0, len(layout), 24):
            cpp.append("  " + ",".join("0x%02x" % b for b in layout[i:i + 24]) + ",")
        cpp += ["};", ""]
    cpp += ["class Embedded final : public ResourceSource {", " public:",
            "  ResourceBytes FindBitmap(std::string_view name) const override {"]
    for name, *_ in pictures:
        cpp.append('    if (name == "%s") return {k%s, sizeof k%s};' % (name, name, name))
    cpp += ["    return {};", "  }", "};", "", "}  // namespace", "",
            "const ResourceSource& EmbeddedResources() {", "  static const Embedded pictures;",
            "  return pictures;", "}", "", "}  // namespace tk", ""]

    sums = ["#pragma once", "// Made by the build from resources/pictures/*.bmp (resources/embed_pictures.py).",
            "// CRC-32 of each picture's stored pixel rows, in the order start-up checks them.",
            "#include <cstdint>", "", "namespace tk {", "",
            "struct PictureChecksum {", "  const char* name;", "  uint32_t crc;", "};", "",
            "inline constexpr PictureChecksum kPictureChecksums[] = {"]
    for name, _, rows in pictures:
        sums.append('    {"%s", 0x%08xu},' % (name, zlib.crc32(rows) & 0xFFFFFFFF))
    sums += ["};", "", "}  // namespace tk", ""]

    write(os.path.join(out_dir, "embedded_resources.cpp"), "\n".join(cpp))
    write(os.path.join(out_dir, "picture_checksums.h"), "\n".join(sums))


if __name__ == "__main__":
    main(sys.argv[1:])

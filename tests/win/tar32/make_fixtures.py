#!/usr/bin/env python3
"""Writes Tar32Fixtures.h: archives made here by zip, bsdtar and Python, as
byte arrays, with what the DLL must make of each under Wine, in Japan's time
zone and in one with summer time (Europe/Berlin).

  make_fixtures.py OUT.h
"""
import datetime
import io
import os
import subprocess
import sys
import tarfile
import tempfile
import zipfile
import zoneinfo

# The hand-made archives of the native tests.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "unit",
                                "tar32"))
import mkarchive  # noqa: E402

ZONES = [zoneinfo.ZoneInfo("Asia/Tokyo"), zoneinfo.ZoneInfo("Europe/Berlin")]
BIG = bytes((i * 31 + i // 1009) % 256 for i in range(120000))
# name in the archive, content, UTC modification time
TREE = [
    ("Program.exe", b"MZ fake program\r\n" * 50, 1690000000),   # 2023-07-22 04:26:40 UTC
    ("data/Data.bin", BIG, 1577934245),                         # 2020-01-02 03:04:05 UTC
    ("data/docs/表示.txt", "表示テキスト\r\n".encode("cp932"), 1700000000),
]


def local_texts(utc_seconds):
    return [datetime.datetime.fromtimestamp(utc_seconds, zone).strftime("%Y/%m/%d %H:%M:%S")
            for zone in ZONES]


def tool_archives(tmp):
    src = os.path.join(tmp, "src")
    for name, data, mtime in TREE:
        # The file system takes the Shift-JIS bytes as they are.
        path = os.path.join(src.encode(), name.encode("cp932"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
    env = dict(os.environ, TZ="America/New_York", LC_ALL="C")  # DOS times differ from Tokyo's; names are bytes
    out = {}
    for name, args in (("infozip", ["zip", "-q", "-r", "../a.zip", "."]),
                       ("bsdtar_zip", ["bsdtar", "--format", "zip", "-cf", "../a.zip", "."]),
                       ("bsdtar_tgz", ["bsdtar", "-czf", "../a.zip", "."])):
        # bsdtar warns that the Shift-JIS name is no UTF-8: that is the point.
        subprocess.run(args, cwd=src, env=env, check=True, stderr=subprocess.DEVNULL)
        with open(os.path.join(tmp, "a.zip"), "rb") as f:
            out[name] = f.read()
        os.remove(os.path.join(tmp, "a.zip"))
    expected = [(n.rsplit("/", 1)[-1].encode("cp932"), d, local_texts(t)) for n, d, t in TREE]
    return out, expected


def python_zip():
    """UTF-8 flagged and raw Shift-JIS names, DOS times only (local time)."""

    class Raw(zipfile.ZipInfo):
        def _encodeFilenameFlags(self):
            return self.filename.encode("latin-1"), self.flag_bits

    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("フォルダ/ソフト.txt", (2023, 4, 5, 6, 7, 8)), b"utf-8 name\r\n",
                   compress_type=zipfile.ZIP_DEFLATED)
        raw = Raw("表/表示.txt".encode("cp932").decode("latin-1"), (2023, 1, 15, 6, 7, 10))
        z.writestr(raw, b"shift-jis name\r\n", compress_type=zipfile.ZIP_DEFLATED)
    # DOS times are wall time: the same text in every zone, summer or winter.
    expected = [("ソフト.txt".encode("cp932"), b"utf-8 name\r\n", ["2023/04/05 06:07:08"] * 2),
                ("表示.txt".encode("cp932"), b"shift-jis name\r\n", ["2023/01/15 06:07:10"] * 2)]
    return buf.getvalue(), expected


def edge_cases():
    """(label, archive stored as Archive.zip, code, a member's bare name, whether it is written)."""
    hostile = mkarchive.hostile_archives()
    named_like_archive = io.BytesIO()
    mkarchive.small_zip(named_like_archive, ["first.txt", "sub/ARCHIVE.ZIP"])
    return [("gz_flipped", hostile["gz_flipped.tgz"], 4, "a.txt", False),
            ("pax_before_1601", hostile["pax_before_1601.tar"], 0, "old.txt", True),
            ("named_like_archive", named_like_archive.getvalue(), 5, "first.txt", False),
            ("zip64_endless", hostile["zip64_endless.zip"], 4, "endless.txt", False)]


def c_bytes(data):
    return "{" + ",".join(str(b) for b in data) + "}" if data else "{0}"


def c_string(data):
    return '"' + "".join("\\x%02x" % b for b in data) + '"'


def main():
    with tempfile.TemporaryDirectory() as tmp:
        archives, tree_expected = tool_archives(tmp)
    py, py_expected = python_zip()
    cases = [(k, v, tree_expected) for k, v in archives.items()] + [("python_zip", py, py_expected)]
    lines = ["// Made by make_fixtures.py at build time. Do not edit.", "#pragma once",
             "#include <cstddef>", "namespace fixtures {",
             "// localTime: in Asia/Tokyo, then in Europe/Berlin.",
             "struct Member { const char* name; const unsigned char* data; std::size_t size;"
             " const char* localTime[2]; };",
             "struct Archive { const char* label; const unsigned char* data; std::size_t size;"
             " const Member* members; std::size_t count; };"]
    for label, data, expected in cases:
        lines.append("const unsigned char k_%s[] = %s;" % (label, c_bytes(data)))
        for i, (_, content, _) in enumerate(expected):
            lines.append("const unsigned char k_%s_%d[] = %s;" % (label, i, c_bytes(content)))
        members = ",".join("{%s, k_%s_%d, %d, {\"%s\", \"%s\"}}" %
                           (c_string(n), label, i, len(c), t[0], t[1])
                           for i, (n, c, t) in enumerate(expected))
        lines.append("const Member k_%s_members[] = {%s};" % (label, members))
    lines.append("const Archive kArchives[] = {")
    for label, data, expected in cases:
        lines.append('  {"%s", k_%s, %d, k_%s_members, %d},' % (label, label, len(data), label,
                                                               len(expected)))
    lines.append("};")
    lines.append("struct EdgeCase { const char* label; const unsigned char* data; std::size_t size;"
                 " int code; const char* name; bool written; };")
    edges = edge_cases()
    for label, data, _, _, _ in edges:
        lines.append("const unsigned char k_edge_%s[] = %s;" % (label, c_bytes(data)))
    lines.append("const EdgeCase kEdgeCases[] = {")
    for label, data, code, name, written in edges:
        lines.append('  {"%s", k_edge_%s, %d, %d, "%s", %s},' % (
            label, label, len(data), code, name, "true" if written else "false"))
    lines += ["};", "} // namespace fixtures", ""]
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Makes the archives the tar32 tests read, with the tools users make them with.

  mkarchive.py all DIR            the standard set (see below) into DIR
  mkarchive.py zip OUT NAME...    a ZIP holding one small file per NAME
  mkarchive.py tar OUT NAME...    the same as a ustar archive
NAMEs are Python string escapes ("\\x01"); a NAME starting with "sjis:" is
stored as its Shift-JIS bytes without the UTF-8 flag.
"""
import gzip
import io
import os
import struct
import subprocess
import sys
import tarfile
import zipfile
import zlib

# The tree the tools archive, with the UTC modification times the tests expect.
TREE = [
    ("readme.txt", b"hello\n", 1614834367),                      # 2021-03-04 05:06:07
    ("sub/data.bin", bytes((i * 7 + i // 251) % 256 for i in range(100000)), 1577934245),
    ("sub/deeper/empty.txt", b"", 1559894950),
]
DIR_TIME = 1500000000


def make_tree(root):
    for name, data, mtime in TREE:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
    for d in ("sub/deeper", "sub"):
        os.utime(os.path.join(root, d), (DIR_TIME, DIR_TIME))


def run(args, cwd, stdout=None, tz="America/New_York"):
    # A time zone far from the tests' own: a DOS time taken instead of the
    # UTC field would show.
    subprocess.run(args, cwd=cwd, check=True, stdout=stdout, env=dict(os.environ, TZ=tz))


class RawName(zipfile.ZipInfo):
    """A name stored as the bytes given (latin-1 carries them), no UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("latin-1"), self.flag_bits


def decode_name(spec):
    if spec.startswith("sjis:"):
        return spec[5:].encode("cp932").decode("latin-1"), True
    return spec.encode("latin-1", "backslashreplace").decode("unicode_escape"), False


def small_zip(out, names):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for spec in names:
            name, raw = decode_name(spec)
            info = RawName(name) if raw else zipfile.ZipInfo(name)
            info.date_time = (2022, 1, 2, 3, 4, 6)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, b"data of " + spec.encode())


def small_tar(out, names):
    with tarfile.open(out, "w", format=tarfile.USTAR_FORMAT, encoding="cp932") as t:
        for spec in names:
            name, raw = decode_name(spec)
            if raw:
                name = name.encode("latin-1").decode("cp932")
            data = b"data of " + spec.encode()
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 1640000000
            t.addfile(info, io.BytesIO(data))


def patch_zip(data, edit):
    """Re-reads a one-member ZIP as (local, cd, end) byte arrays for edit."""
    cd_at = data.rfind(b"PK\x01\x02")
    end_at = data.rfind(b"PK\x05\x06")
    parts = [bytearray(data[:cd_at]), bytearray(data[cd_at:end_at]), bytearray(data[end_at:])]
    edit(*parts)
    return bytes(parts[0] + parts[1] + parts[2])


def set_end(cd, end, local_len, count):
    end[8:10] = struct.pack("<H", count)
    end[10:12] = struct.pack("<H", count)
    end[12:16] = struct.pack("<I", len(cd))
    end[16:20] = struct.pack("<I", local_len)


def broken(dirname):
    text = b"The quick brown fox jumps over the lazy dog. " * 40

    def one(method):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            z.writestr(zipfile.ZipInfo("victim.txt", (2022, 1, 2, 3, 4, 6)), text,
                       compress_type=method)
        return buf.getvalue()

    stored, deflated = one(zipfile.ZIP_STORED), one(zipfile.ZIP_DEFLATED)
    out = {}

    def flip_data(local, cd, end):
        local[30 + len("victim.txt") + 5] ^= 0x20

    out["crc_stored.zip"] = patch_zip(stored, flip_data)

    def flip_crc(local, cd, end):
        cd[16] ^= 1
        local[14] ^= 1

    out["crc_deflated.zip"] = patch_zip(deflated, flip_crc)

    def size(delta):
        def edit(local, cd, end):
            real = struct.unpack("<I", cd[24:28])[0]
            cd[24:28] = struct.pack("<I", real + delta)
            local[22:26] = struct.pack("<I", real + delta)
        return edit

    out["size_larger.zip"] = patch_zip(deflated, size(+1))
    out["size_smaller.zip"] = patch_zip(deflated, size(-1))

    def comp_larger(local, cd, end):
        # Four bytes more than the deflate stream uses, inside the member.
        real = struct.unpack("<I", cd[20:24])[0]
        local[:] = local + b"\0\0\0\0"
        cd[20:24] = struct.pack("<I", real + 4)
        local[18:22] = struct.pack("<I", real + 4)
        end[16:20] = struct.pack("<I", len(local))

    out["data_longer.zip"] = patch_zip(deflated, comp_larger)

    def overlap(local, cd, end):
        # A second directory entry for the same data: the "better zip bomb".
        second = bytearray(cd)
        second[46:46 + 10] = b"victim.bin"
        cd[:] = cd + second
        set_end(cd, end, len(local), 2)

    out["overlap.zip"] = patch_zip(deflated, overlap)

    def method(number):
        def edit(local, cd, end):
            cd[10:12] = struct.pack("<H", number)
            local[8:10] = struct.pack("<H", number)
        return edit

    out["method_bzip2.zip"] = patch_zip(deflated, method(12))

    def encrypted(local, cd, end):
        cd[8] |= 1
        local[6] |= 1

    out["encrypted.zip"] = patch_zip(deflated, encrypted)

    def local_mismatch(local, cd, end):
        local[8:10] = struct.pack("<H", 0)

    out["local_method.zip"] = patch_zip(deflated, local_mismatch)
    # Directory records out of the order of the data: read fine, unless two
    # of them share data.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("first.txt", "second.txt"):
            z.writestr(zipfile.ZipInfo(name, (2022, 1, 2, 3, 4, 6)), text + name.encode(),
                       compress_type=zipfile.ZIP_DEFLATED)
    two = buf.getvalue()
    cd_at = two.find(b"PK\x01\x02")
    second_at = two.find(b"PK\x01\x02", cd_at + 4)
    end_at = two.rfind(b"PK\x05\x06")
    first, second = two[cd_at:second_at], two[second_at:end_at]
    out["reordered.zip"] = two[:cd_at] + second + first + two[end_at:]
    dup = bytearray(first)
    dup[46:46 + 9] = b"third.txt"
    cd = second + first + bytes(dup)
    end = bytearray(two[end_at:])
    set_end(cd, end, cd_at, 3)
    out["reordered_overlap.zip"] = two[:cd_at] + cd + bytes(end)
    # The same, but starting inside the first member's data.
    inside = bytearray(dup)
    inside[42:46] = struct.pack("<I", 10)
    cd = second + first + bytes(inside)
    out["reordered_inside.zip"] = two[:cd_at] + cd + bytes(end)
    for name, data in out.items():
        with open(os.path.join(dirname, name), "wb") as f:
            f.write(data)


def raw_zip(members):
    """A ZIP put together field by field, so that any field can lie.

    Each member is a dict: name, data (as stored), crc, csize, size, method,
    flags; cd_extra, cd_size and cd_csize override the central directory,
    local_size the local header, descriptor is appended after the data."""
    local, central = bytearray(), bytearray()
    for m in members:
        name = m["name"].encode()
        offset = len(local)
        flags, method = m.get("flags", 0), m.get("method", 8)
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0, 0x5421,
                             m["crc"], m["csize"], m.get("local_size", m["size"]), len(name), 0)
        local += name + m["data"] + m.get("descriptor", b"")
        extra = m.get("cd_extra", b"")
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, flags, method, 0,
                               0x5421, m["crc"], m.get("cd_csize", m["csize"]),
                               m.get("cd_size", m["size"]), len(name), len(extra), 0, 0, 0, 0,
                               offset)
        central += name + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central),
                      len(local), 0)
    return bytes(local + central + end)


def deflated(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def raw_tar_header(name, size=0, kind=b"0", mtime=1600000000, signed=False):
    """A ustar header whose checksum is the signed sum when asked (old tar programs)."""
    h = bytearray(512)
    h[0:len(name)] = name
    h[100:108] = b"0000644\0"
    h[108:116] = b"0000000\0"
    h[116:124] = b"0000000\0"
    # Sizes beyond eleven octal digits in the base-256 form.
    h[124:136] = b"%011o\0" % size if size < 8**11 else b"\x80" + size.to_bytes(11, "big")
    h[136:148] = b"%011o\0" % mtime
    h[148:156] = b" " * 8
    h[156:157] = kind
    h[257:265] = b"ustar\x0000"
    total = sum((b - 256 if b >= 128 and signed else b) for b in h)
    h[148:156] = b"%06o\0 " % (total & 0o777777)
    return bytes(h)


def raw_tar_member(name, data, kind=b"0", size_field=None, **header):
    size = len(data) if size_field is None else size_field
    pad = b"\0" * (-len(data) % 512)
    return raw_tar_header(name, size, kind, **header) + data + pad


def pax_records(**values):
    out = b""
    for key, value in values.items():
        body = b" %s=%s\n" % (key.encode(), value)
        length = len(body) + 1
        while len(b"%d" % length) + len(body) != length:
            length += 1
        out += b"%d" % length + body
    return out


def hostile(dirname):
    for name, data in hostile_archives().items():
        with open(os.path.join(dirname, name), "wb") as f:
            f.write(data)


def hostile_archives():
    """Archives made by hand: lies in sizes, times and headers, by file name."""
    out = {}
    text = b"The quick brown fox jumps over the lazy dog. " * 40
    packed = deflated(text)
    crc = zlib.crc32(text)
    endless = dict(name="endless.txt", data=packed, crc=crc, csize=len(packed), size=0xFFFFFFFF,
                   cd_extra=b"\x01\x00\x08\x00" + b"\xff" * 8)
    # A ZIP64 size of 2^64-1: one byte of room past it wraps to nothing.
    out["zip64_endless.zip"] = raw_zip([endless])
    out["zip64_endless_descriptor.zip"] = raw_zip([dict(
        endless, flags=8, local_size=0,
        descriptor=struct.pack("<IIQQ", 0x08074B50, crc, len(packed), 2**64 - 1))])
    # More than deflate can ever make of so few bytes (1032:1 at most).
    out["deflate_ratio.zip"] = raw_zip([dict(name="bomb.txt", data=packed, crc=crc,
                                             csize=len(packed), size=len(packed) * 1032 + 1032)])

    # Two zero blocks pass for an empty tar only when nothing but zeros follows.
    out["tar_zeros_then_garbage.tar"] = b"\0" * 1024 + bytes(range(1, 256)) * 400
    # 2^50 bytes declared, none there.
    out["tar_huge_member.tar"] = raw_tar_header(b"huge.bin", 2**50) + b"\0" * 1024
    # A .tar.gz stored without compression (level 0): its bytes are in the clear.
    tar = (raw_tar_member(b"a.txt", b"data of a.txt") + raw_tar_member(b"b.txt", b"data of b.txt")
           + b"\0" * 1024)
    gz = gzip.compress(tar, compresslevel=0, mtime=0)
    at = gz.find(b"data of a.txt")
    flipped = bytearray(gz)
    flipped[at + 2] ^= 0x20
    out["gz_flipped.tgz"] = bytes(flipped)
    out["gz_bad_crc.tgz"] = gz[:-8] + bytes([gz[-8] ^ 1]) + gz[-7:]
    out["gz_bad_size.tgz"] = gz[:-4] + bytes([gz[-4] ^ 1]) + gz[-3:]
    out["gz_cut_trailer.tgz"] = gz[:-3]
    out["gz_trailing_garbage.tgz"] = gz + b"garbage"
    # No archive at all: an empty file, and a web server's gzip-encoded error page.
    out["empty.zip"] = b""
    out["gzipped_page.zip"] = gzip.compress(b"<html>Service Unavailable</html>", mtime=0)

    # A self-extractor's stub before the members, every offset counting it:
    # the directory is whole, but the archive does not begin with a member.
    stub = io.BytesIO(b"MZ" + b"\0" * 126)
    with zipfile.ZipFile(stub, "a") as z:
        z.writestr(zipfile.ZipInfo("readme.txt", (2021, 3, 4, 5, 6, 8)), b"hello\n")
    out["prefixed.zip"] = stub.getvalue()

    # A time before 1601 has no FILETIME: the file is written without it.
    out["pax_before_1601.tar"] = (
        raw_tar_member(b"PaxHeaders/old.txt", pax_records(mtime=b"-11644473600.5"), b"x")
        + raw_tar_member(b"old.txt", b"old\n") + b"\0" * 1024)

    # The tree of py_gnu.tar and py_pax.tar once more, put together by hand.
    long_path = b"a" * 60 + b"/" + b"b" * 60 + b"/long.txt"
    kanji = "日本語/表示.txt"
    # A pax size belongs to the next file, not to an extended header between.
    out["pax_size_then_header.tar"] = (
        raw_tar_member(b"PaxHeaders/long", pax_records(size=b"10"), b"x")
        + raw_tar_member(b"././@LongLink", long_path + b"\0", b"L")
        + raw_tar_member(b"long", b"long name\n", size_field=0)
        + raw_tar_member(b"PaxHeaders/kanji", pax_records(size=b"6", path=kanji.encode(),
                                                          mtime=b"1600000001"), b"x")
        + raw_tar_member(b"kanji", b"kanji\n", size_field=0) + b"\0" * 1024)
    # Checksums summed over signed bytes, with a Shift-JIS name (bytes >= 0x80).
    out["signed_checksum.tar"] = (
        raw_tar_member(kanji.encode("cp932"), b"kanji\n", mtime=1600000001, signed=True)
        + raw_tar_member(b"././@LongLink", long_path + b"\0", b"L", signed=True)
        + raw_tar_member(b"long", b"long name\n", signed=True) + b"\0" * 1024)
    return out


def all_fixtures(dirname):
    src = os.path.join(dirname, "src")
    make_tree(src)
    members = ["readme.txt", "sub/data.bin", "sub/deeper/empty.txt"]
    run(["zip", "-q", "-r", os.path.join(dirname, "infozip.zip"), "readme.txt", "sub"], src)
    with open(os.path.join(dirname, "infozip_stream.zip"), "wb") as f:
        run(["zip", "-q", "-", *members], src, stdout=f)
    run(["bsdtar", "--format", "zip", "-cf", os.path.join(dirname, "bsdtar.zip"),
         "readme.txt", "sub"], src)
    run(["bsdtar", "-cf", os.path.join(dirname, "bsdtar.tar"), "readme.txt", "sub"], src)
    run(["bsdtar", "-czf", os.path.join(dirname, "bsdtar.tgz"), "readme.txt", "sub"], src)
    run(["bsdtar", "-cf", os.path.join(dirname, "dot.tar"), "."], src)
    run(["bsdtar", "--format", "gnutar", "-cf", os.path.join(dirname, "gnutar.tar"),
         "readme.txt", "sub"], src)
    run(["zip", "-q", "-P", "secret", os.path.join(dirname, "encrypted_real.zip"),
         "readme.txt"], src)
    links = os.path.join(dirname, "links")
    os.makedirs(links)
    with open(os.path.join(links, "target.txt"), "wb") as f:
        f.write(b"target\n")
    os.symlink("target.txt", os.path.join(links, "link.txt"))
    os.symlink("/etc/passwd", os.path.join(links, "escape.txt"))
    os.link(os.path.join(links, "target.txt"), os.path.join(links, "hard.txt"))
    run(["zip", "-q", "-y", os.path.join(dirname, "links.zip"), "target.txt", "link.txt",
         "escape.txt"], links)
    run(["bsdtar", "-cf", os.path.join(dirname, "links.tar"), "target.txt", "link.txt",
         "escape.txt", "hard.txt"], links)
    # zip -9 packs zeros near deflate's limit: between 1024 and 1032 bytes a byte.
    dense = os.path.join(dirname, "dense")
    os.makedirs(dense)
    with open(os.path.join(dense, "zeros.bin"), "wb") as f:
        f.write(bytes(4 << 20))
    run(["zip", "-q", "-9", os.path.join(dirname, "deflate_1028.zip"), "zeros.bin"], dense)
    with zipfile.ZipFile(os.path.join(dirname, "deflate_1028.zip")) as z:
        info = z.infolist()[0]
        assert 1024 < info.file_size / info.compress_size < 1032, info.compress_size
    with open(os.path.join(dirname, "not_an_archive.zip"), "wb") as f:
        f.write(b"<html>404 Not Found</html>\n" * 20)

    long_dir = "a" * 60 + "/" + "b" * 60
    # GNU names are raw bytes (Shift-JIS here); pax names are UTF-8.
    for fmt, name, enc in ((tarfile.GNU_FORMAT, "py_gnu.tar", "cp932"),
                           (tarfile.PAX_FORMAT, "py_pax.tar", "utf-8")):
        with tarfile.open(os.path.join(dirname, name), "w", format=fmt, encoding=enc) as t:
            for path, data, mtime in (
                (long_dir + "/long.txt", b"long name\n", 1600000000),
                ("日本語/表示.txt", b"kanji\n", 1600000001),
            ):
                info = tarfile.TarInfo(path)
                info.size = len(data)
                info.mtime = mtime
                t.addfile(info, io.BytesIO(data))

    # Every size and offset through the ZIP64 fields, as for huge archives.
    saved = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 0, 0
    try:
        with zipfile.ZipFile(os.path.join(dirname, "py_zip64.zip"), "w",
                             zipfile.ZIP_DEFLATED) as z:
            for name, data, _ in TREE:
                info = zipfile.ZipInfo(name, (2020, 1, 2, 3, 4, 6))
                info.compress_type = zipfile.ZIP_DEFLATED
                with z.open(info, "w", force_zip64=True) as f:
                    f.write(data)
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = saved

    with zipfile.ZipFile(os.path.join(dirname, "py_names.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("フォルダ/表示.txt", (2022, 5, 6, 7, 8, 10)), b"utf-8 flagged\n")
        raw = RawName("ソフト/能力.txt".encode("cp932").decode("latin-1"),
                      (2022, 5, 6, 7, 8, 12))
        z.writestr(raw, b"shift-jis\n")
    broken(dirname)
    hostile(dirname)


def main():
    mode = sys.argv[1]
    if mode == "all":
        all_fixtures(sys.argv[2])
    elif mode == "zip":
        small_zip(sys.argv[2], sys.argv[3:])
    elif mode == "tar":
        small_tar(sys.argv[2], sys.argv[3:])
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes QuickFixtures.h: the archives the quick check is compared on with
the full check, as byte arrays, each with the entries to list.

  make_quick_fixtures.py OUT.h
"""
import io
import struct
import sys
import tarfile
import zipfile

SUMMER = (2024, 7, 1, 12, 0, 9)  # an odd second: DOS time keeps 12:00:08
WINTER = (2024, 1, 15, 3, 4, 6)
# Wall times that Europe/Berlin's change of clock makes twice, and never.
AMBIGUOUS = (2023, 10, 29, 2, 30, 0)
SKIPPED = (2023, 3, 26, 2, 30, 0)
UNIX_SUMMER = 1720000001  # 2024-07-03, odd second
UNIX_WINTER = 1705000003  # 2024-01-11


def sjis(text):
    """A name stored as Shift-JIS bytes, without the UTF-8 flag."""
    return text.encode("cp932").decode("latin-1")


class RawName(zipfile.ZipInfo):
    """A name stored as the bytes given (latin-1 carries them), no UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("latin-1"), self.flag_bits


def info(name, when=SUMMER, extra=b"", utf8=False):
    # A plain ZipInfo stores a name beyond ASCII as UTF-8, flagged.
    i = zipfile.ZipInfo(name, when) if utf8 else RawName(name, when)
    i.extra = extra
    i.create_system = 0
    return i


def ut(seconds):
    return struct.pack("<HHBI", 0x5455, 5, 1, seconds)


def ntfs(seconds, fraction):
    ticks = 116444736000000000 + seconds * 10000000 + fraction
    body = struct.pack("<IHHQQQ", 0, 1, 24, ticks, ticks, ticks)
    return struct.pack("<HH", 0x000A, len(body)) + body


def make_zip(members, method=zipfile.ZIP_STORED, stream=False, zip64=False):
    out = io.BytesIO()

    class Unseekable(io.RawIOBase):
        def writable(self):
            return True

        def write(self, b):
            return out.write(b)

    target = Unseekable() if stream else out
    with zipfile.ZipFile(target, "w", method) as z:
        for i, data in members:
            i.compress_type = method
            if zip64:
                with z.open(i, "w", force_zip64=True) as f:
                    f.write(data)
            else:
                z.writestr(i, data)
    return out.getvalue()


def tar_gz():
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w:gz") as t:
        data = b"program in a tarball\r\n"
        ti = tarfile.TarInfo("bin/app.exe")
        ti.size = len(data)
        ti.mtime = UNIX_SUMMER
        t.addfile(ti, io.BytesIO(data))
    return out.getvalue()


def patch_end(data, offset, value, fmt):
    at = data.rfind(b"PK\x05\x06")
    b = bytearray(data)
    struct.pack_into(fmt, b, at + offset, value)
    return bytes(b)


def fixtures():
    program = b"MZ program\r\n" * 40
    dos = make_zip([(info("bin/app.exe", SUMMER), program),
                    (info("data/table.dat", WINTER), b"table\r\n"),
                    (info("ambiguous.txt", AMBIGUOUS), b"twice at 02:30"),
                    (info("skipped.txt", SKIPPED), b"never at 02:30")])
    yield "dos_time", dos, True
    yield "infozip_ut", make_zip([
        (info("bin/app.exe", SUMMER, ut(UNIX_SUMMER)), program),
        (info("data/table.dat", WINTER, ut(UNIX_WINTER)), b"table\r\n")]), True
    yield "sevenzip_ntfs", make_zip([
        (info("app.exe", SUMMER, ntfs(UNIX_SUMMER, 1234567)), program),
        (info("table.dat", WINTER, ntfs(UNIX_WINTER, 9999999)), b"table\r\n")],
        zipfile.ZIP_DEFLATED), True
    yield "data_descriptors", make_zip([
        (info("app.exe", SUMMER), program), (info("lib/help.txt", WINTER), b"help\r\n" * 500)],
        zipfile.ZIP_DEFLATED, stream=True), True
    yield "zip64", make_zip([
        (info("app.exe", WINTER), program), (info("x/table.dat", SUMMER), b"table\r\n")],
        zipfile.ZIP_DEFLATED, zip64=True), True
    yield "folders", make_zip([
        (info("data/", WINTER), b""), (info("data/sub/", WINTER), b""),
        (info("data/sub/deep.txt", SUMMER), b"deep"), (info("root.txt", WINTER), b"root")]), True
    yield "one_bare_name_twice", make_zip([
        (info("a/same.txt", WINTER), b"first"), (info("b/same.txt", SUMMER), b"second!"),
        (info("Case.TXT", WINTER), b"upper"), (info("case.txt", SUMMER), b"lower case")]), True
    yield "empty_member", make_zip([
        (info("empty.dat", SUMMER), b""), (info("full.dat", WINTER), b"full")]), True
    yield "cp932_names", make_zip([
        (info(sjis("表示.txt"), SUMMER), b"0x5C trail byte"),
        (info(sjis("ソフト/能力.txt"), WINTER), b"in a folder"),
        (info("フォルダ/予定表.txt", SUMMER, utf8=True), b"utf-8 name")]), True
    big = make_zip([(info("folder/%05d-with-a-name-long-enough-to-fill.dat" % i,
                          WINTER if i % 2 else SUMMER), b"%d" % i) for i in range(1200)])
    yield "directory_over_64k", big, True
    yield "targz_as_zip", tar_gz(), False
    yield "tail_cut", dos[:-5], False
    yield "directory_offset_off", patch_end(dos, 16, struct.unpack_from(
        "<I", dos, dos.rfind(b"PK\x05\x06") + 16)[0] + 1, "<I"), False
    cd = bytearray(dos)
    cd[dos.find(b"PK\x01\x02") + 3] ^= 0x40
    yield "directory_record_damaged", bytes(cd), False


def names_of(data):
    """The bare names an unpacking without folders leaves, as Shift-JIS bytes."""
    try:
        z = zipfile.ZipFile(io.BytesIO(data))
    except zipfile.BadZipFile:
        return [b"app.exe"]
    names = []
    for i in z.infolist():
        if i.filename.endswith("/"):
            continue
        if i.flag_bits & 0x800:
            raw = i.filename.encode("cp932")
        else:
            raw = i.filename.encode("cp437")  # the stored bytes, Shift-JIS here
        # Only "/" separates here: a 0x5C trail byte is part of its character.
        bare = raw.split(b"/")[-1]
        if bare not in names:
            names.append(bare)
    return names


def smallest(data, entries):
    """The entry whose archive copy comes from the smallest member: changed
    alone, it is fetched by range (a member over half the archive is not)."""
    try:
        z = zipfile.ZipFile(io.BytesIO(data))
    except zipfile.BadZipFile:
        return 0
    size = {}
    for i in z.infolist():
        raw = i.filename.encode("cp932" if i.flag_bits & 0x800 else "cp437")
        if not i.filename.endswith("/"):
            size[raw.split(b"/")[-1].lower()] = i.compress_size if i.file_size else None
    sizes = [(size[e.lower()], n) for n, e in enumerate(entries) if size.get(e.lower())]
    return min(sizes)[1] if sizes else 0


def c_bytes(data):
    return ",".join(str(b) for b in data)


def main():
    out = sys.argv[1]
    lines = ["// Made by make_quick_fixtures.py: do not edit.", "#pragma once",
             "#include <string>", "#include <vector>", "",
             "struct QuickFixture {", "    const char* name;", "    std::string bytes;",
             "    std::vector<std::string> entries; // bare names, Shift-JIS",
             "    bool quick; // the tail settles it: no whole archive when nothing is new",
             "    std::size_t changed; // the entry whose member is fetched alone when it is new",
             "};", ""]
    for n, (name, data, quick) in enumerate(fixtures()):
        lines.append("static const unsigned char kQuickFixture%d[] = {%s};" % (n, c_bytes(data)))
    lines.append("inline std::vector<QuickFixture> QuickFixtures() {")
    lines.append("    return {")
    for n, (name, data, quick) in enumerate(fixtures()):
        entries = names_of(data)[:6] + [b"missing.dat"]
        entry_text = ", ".join("std::string(\"%s\", %d)" % ("".join("\\x%02x" % b for b in e),
                                                           len(e)) for e in entries)
        lines.append("        {\"%s\", std::string(reinterpret_cast<const char*>(kQuickFixture%d), "
                     "%d), {%s}, %s, %d}," % (name, n, len(data), entry_text,
                                              "true" if quick else "false",
                                              smallest(data, entries)))
    lines.append("    };")
    lines.append("}")
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Keys, an update archive and its signatures, made by the real minisign
tool, plus every damaged variant the signature tests need.

  make_minisign_fixtures.py OUTDIR

OUTDIR receives:
  a.pub b.pub                  minisign public key files (key pairs made anew
                               each time, without a password)
  key-*.txt                    PublicKey values: a, a-id-b-key (a's id with b's
                               key), short, long, bad-base64, wrong-algorithm
  update.zip                   stored ZIP: app.exe "program 2", 2024/05/06 07:08:10
  update-bit.zip               the same with one bit of the data flipped
  *.minisig                    good (prehashed, default), legacy (-l), crlf,
                               other-key (signed with b), key-id, unknown-algorithm,
                               signature-bit, comment-edited, truncated, garbage
"""
import base64
import os
import subprocess
import sys
import zipfile

TRUSTED = "Tovarind test archive 2.0"


def run(*args):
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def key_line(pub_path):
    with open(pub_path, encoding="ascii") as f:
        return f.read().splitlines()[1].strip()


def lines_of(path):
    with open(path, encoding="utf-8") as f:
        return f.read().split("\n")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name in ("a", "b"):
        run("minisign", "-G", "-W", "-f", "-p", os.path.join(out, name + ".pub"),
            "-s", os.path.join(out, name + ".key"))

    archive = os.path.join(out, "update.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
        z.writestr(zipfile.ZipInfo("app.exe", date_time=(2024, 5, 6, 7, 8, 10)), b"program 2")
    with open(archive, "rb") as f:
        data = bytearray(f.read())
    data[data.index(b"program 2") + 3] ^= 0x01
    write(os.path.join(out, "update-bit.zip"), bytes(data))

    def sign(key, target, *extra):
        run("minisign", "-S", "-s", os.path.join(out, key + ".key"), "-m", archive,
            "-x", os.path.join(out, target), "-t", TRUSTED, *extra)

    sign("a", "good.minisig")
    sign("a", "legacy.minisig", "-l")
    sign("b", "other-key.minisig")

    good = lines_of(os.path.join(out, "good.minisig"))
    write(os.path.join(out, "crlf.minisig"), "\r\n".join(good))

    def with_signature_bytes(change, name):
        raw = bytearray(base64.b64decode(good[1]))
        change(raw)
        lines = list(good)
        lines[1] = base64.b64encode(bytes(raw)).decode("ascii")
        write(os.path.join(out, name), "\n".join(lines))

    def flip_key_id(raw):
        raw[2] ^= 0x01

    def unknown_algorithm(raw):
        raw[1] = ord("X")

    def flip_signature_bit(raw):
        raw[40] ^= 0x10

    with_signature_bytes(flip_key_id, "key-id.minisig")
    with_signature_bytes(unknown_algorithm, "unknown-algorithm.minisig")
    with_signature_bytes(flip_signature_bit, "signature-bit.minisig")

    edited = list(good)
    edited[2] = edited[2].replace("2.0", "2.1")
    write(os.path.join(out, "comment-edited.minisig"), "\n".join(edited))
    text = "\n".join(good)
    write(os.path.join(out, "truncated.minisig"), text[: len(text) * 2 // 3])
    write(os.path.join(out, "garbage.minisig"), bytes((i * 37 + 11) % 256 for i in range(300)))

    a = key_line(os.path.join(out, "a.pub"))
    b = base64.b64decode(key_line(os.path.join(out, "b.pub")))
    raw_a = base64.b64decode(a)
    keys = {
        "a": a,
        "a-id-b-key": base64.b64encode(raw_a[:10] + b[10:]).decode("ascii"),
        "short": a[:-4],
        "long": base64.b64encode(raw_a + b"\0\0\0").decode("ascii"),
        "bad-base64": a[:20] + "!" + a[21:],
        "wrong-algorithm": base64.b64encode(b"ED" + raw_a[2:]).decode("ascii"),
    }
    for name, value in keys.items():
        write(os.path.join(out, "key-" + name + ".txt"), value)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Packs the release zip: Tovarind.exe, tar32.dll, the commented sample
settings file and the vendor's read-me, the texts in Shift-JIS with CRLF as
Windows programs read them.

  make_release.py --bin BIN --dist DIST --out ZIP
"""
import argparse
import os
import zipfile


def windows_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read().replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--dist", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    folder = os.path.splitext(os.path.basename(args.out))[0]
    with zipfile.ZipFile(args.out + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("Tovarind.exe", "tar32.dll"):
            z.write(os.path.join(args.bin, name), folder + "/" + name)
        for name in ("Tovarind.ini", "README.txt"):
            z.writestr(folder + "/" + name, windows_text(os.path.join(args.dist, name)))
    os.replace(args.out + ".tmp", args.out)
    print("release:", args.out)


if __name__ == "__main__":
    main()

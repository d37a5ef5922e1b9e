#!/usr/bin/env python3
"""Builds the sample program folder (old files) and the update archive (new
files) for the demo and the end-to-end tests.

  make_sample.py program DIR --bin BIN --url URL   program folder with Tovarind
                 [--current]                       ... holding the new files already
                 [--public-key PUB]                ... checking signatures with this key
  make_sample.py archive ZIP --bin BIN             update archive (ZIP)
                 [--sign KEY]                      ... and ZIP.minisig signed with KEY
  make_sample.py keys DIR                          minisign key pair DIR/minisign.{pub,key}
                                                   (no password; kept if present)
                 [--self]                          ... with a newer Tovarind.exe and tar32.dll

Times are wall-clock times in the zone the program runs in under Wine
(Asia/Tokyo unless TOVARIND_TZ says otherwise); the archive stores them as
DOS times, which the archive library takes as local time.
"""
import argparse
import datetime
import os
import shutil
import subprocess
import sys
import zipfile
import zoneinfo

ZONE = zoneinfo.ZoneInfo(os.environ.get("TOVARIND_TZ", "Asia/Tokyo"))

OLD_TIME = (2025, 4, 1, 9, 0, 0)
NEW_TIME = (2026, 12, 1, 10, 0, 0)
SAME_TIME = (2025, 1, 15, 8, 30, 0)

README = "サンプル アプリケーション\r\n説明書です。\r\n"
OLD_DATA = "設定データ 第1版\r\n"
NEW_DATA = "設定データ 第2版\r\n色: 青\r\n"
OLD_HISTORY = "更新履歴\r\n1.0 最初の版\r\n"
NEW_HISTORY = "更新履歴\r\n2.0 新しい設定データ\r\n1.0 最初の版\r\n"

INI = """; Tovarind の設定 (デモ)
[Archive]
Title=サンプル アプリ
URL={url}
{signing}{quick}TempFolder=UpdateArchive

[AutoRun]
Program=SampleApp.exe
UpdateDoc=更新履歴.txt

[UpdateFiles]
F01=SampleApp.exe
F02=sample.dat,data\\
F03=readme.txt
F04=更新履歴.txt
"""


def stamp(path, when):
    seconds = datetime.datetime(*when, tzinfo=ZONE).timestamp()
    os.utime(path, (seconds, seconds))


def write(path, text, when):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("cp932"))
    stamp(path, when)


def program(args):
    root = args.dir
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "data"))
    for name in ("Tovarind.exe", "tar32.dll"):
        shutil.copy2(os.path.join(args.bin, name), root)
    version, data, history, when = ("1.0", OLD_DATA, OLD_HISTORY, OLD_TIME)
    if args.current:
        version, data, history, when = ("2.0", NEW_DATA, NEW_HISTORY, NEW_TIME)
    exe = os.path.join(root, "SampleApp.exe")
    shutil.copyfile(os.path.join(args.bin, "SampleApp-%s.exe" % version), exe)
    stamp(exe, when)
    write(os.path.join(root, "data", "sample.dat"), data, when)
    write(os.path.join(root, "readme.txt"), README, SAME_TIME)
    write(os.path.join(root, "更新履歴.txt"), history, when)
    signing = ""
    if args.public_key:
        with open(args.public_key, encoding="ascii") as f:
            signing = "PublicKey=%s\n" % f.read().splitlines()[1].strip()
    with open(os.path.join(root, "Tovarind.ini"), "wb") as f:
        quick = "QuickCheck=1\n" if args.quick_check else ""
        text = INI.format(url=args.url, signing=signing, quick=quick)
        f.write(text.replace("\n", "\r\n").encode("cp932"))


def archive(args):
    os.makedirs(os.path.dirname(os.path.abspath(args.zip)), exist_ok=True)
    with open(os.path.join(args.bin, "SampleApp-2.0.exe"), "rb") as f:
        exe = f.read()
    members = [
        ("SampleApp.exe", exe, NEW_TIME),
        ("data/sample.dat", NEW_DATA.encode("cp932"), NEW_TIME),
        ("readme.txt", README.encode("cp932"), SAME_TIME),
        ("更新履歴.txt", NEW_HISTORY.encode("cp932"), NEW_TIME),
    ]
    if args.self:
        # The updater's own files, told apart from the installed ones by
        # their time and, for the program, by bytes after its image.
        with open(os.path.join(args.bin, "Tovarind.exe"), "rb") as f:
            members.append(("Tovarind.exe", f.read() + b"\r\nnewer build\r\n", NEW_TIME))
        with open(os.path.join(args.bin, "tar32.dll"), "rb") as f:
            members.append(("tar32.dll", f.read(), NEW_TIME))
    with zipfile.ZipFile(args.zip, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, when in members:
            info = zipfile.ZipInfo(name, date_time=when)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    if args.sign:
        subprocess.run(["minisign", "-S", "-s", args.sign, "-m", args.zip,
                        "-t", "SampleApp 2.0"], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL)


def keys(args):
    pub = os.path.join(args.dir, "minisign.pub")
    key = os.path.join(args.dir, "minisign.key")
    if os.path.exists(pub) and os.path.exists(key):
        return
    os.makedirs(args.dir, exist_ok=True)
    subprocess.run(["minisign", "-G", "-W", "-f", "-p", pub, "-s", key], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("program")
    p.add_argument("dir")
    p.add_argument("--bin", required=True)
    p.add_argument("--url", required=True)
    p.add_argument("--current", action="store_true")
    p.add_argument("--public-key")
    p.add_argument("--quick-check", action="store_true")
    a = sub.add_parser("archive")
    a.add_argument("zip")
    a.add_argument("--bin", required=True)
    a.add_argument("--sign")
    k = sub.add_parser("keys")
    k.add_argument("dir")
    a.add_argument("--self", action="store_true")
    args = parser.parse_args()
    {"program": program, "archive": archive, "keys": keys}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())

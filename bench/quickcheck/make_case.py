#!/usr/bin/env python3
"""Makes one benchmark case: an update archive of COUNT members (SIZE bytes in
all, stored, with Info-ZIP's UTC time field) in WWW, and a program folder
APP whose listed files are installed exactly as the archive holds them, but
for member CHANGED (when given), installed as an older copy.

  make_case.py WWW APP COUNT SIZE NAME_LENGTH URL QUICK [CHANGED]
"""
import os
import random
import struct
import sys
import zipfile

www, app, count, size, name_length, url, quick = sys.argv[1:8]
changed = int(sys.argv[8]) if len(sys.argv) > 8 else -1
count, size, name_length = int(count), int(size), int(name_length)
os.makedirs(www, exist_ok=True)
os.makedirs(app, exist_ok=True)
rng = random.Random(1)
when = 1717200000  # 2024-06-01
names = []
with zipfile.ZipFile(os.path.join(www, "update.zip"), "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        # NAME_LENGTH 0: "00000.dat" at the top, a directory under 64 KiB.
        name = "%05d" % i + ("-" + "x" * name_length if name_length else "") + ".dat"
        data = rng.randbytes(size // count)
        info = zipfile.ZipInfo(("files/" if name_length else "") + name, (2024, 6, 1, 0, 0, 0))
        info.extra = struct.pack("<HHBI", 0x5455, 5, 1, when + i)
        z.writestr(info, data)
        path = os.path.join(app, name)
        with open(path, "wb") as f:
            f.write(data if i != changed else b"an older copy")
        os.utime(path, (when + i - (86400 if i == changed else 0),) * 2)
        names.append(name)
with open(os.path.join(app, "Tovarind.ini"), "w", newline="\r\n") as f:
    f.write("[Archive]\nURL=%s\nQuickCheck=%s\n[UpdateFiles]\n" % (url, quick))
    for i, name in enumerate(names):
        f.write("F%02d=%s\n" % (i + 1, name))

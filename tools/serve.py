#!/usr/bin/env python3
"""Serves one folder over HTTP on 127.0.0.1 only, on a free port, and stops
by itself after --seconds (or when stopped). Writes the port to --port-file.
Single byte ranges are answered as static file servers answer them: 206 with
Content-Range, an ETag and Last-Modified, and If-Range honoured.
"""
import argparse
import email.utils
import functools
import http.server
import os
import re
import threading


class RangeHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path) or not os.path.isfile(path):
            return super().send_head()
        stat = os.stat(path)
        size = stat.st_size
        etag = '"%x-%x"' % (int(stat.st_mtime), size)
        modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        first, last = 0, size - 1
        partial = False
        wanted = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", ""))
        if_range = self.headers.get("If-Range")
        if wanted and (if_range is None or if_range in (etag, modified)):
            start, end = wanted.groups()
            if start == "" and end != "":
                first = max(0, size - int(end))
            elif start != "":
                first = int(start)
                last = min(int(end), size - 1) if end != "" else size - 1
            if start == end == "" or first > last or size == 0:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return None
            partial = True
        f = open(path, "rb")
        f.seek(first)
        self.send_response(206 if partial else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", modified)
        self.send_header("Accept-Ranges", "bytes")
        if partial:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        self.end_headers()
        self.remaining = last - first + 1
        return f

    def copyfile(self, source, outputfile):
        remaining = getattr(self, "remaining", None)
        while remaining is None or remaining > 0:
            block = source.read(65536 if remaining is None else min(65536, remaining))
            if not block:
                break
            outputfile.write(block)
            if remaining is not None:
                remaining -= len(block)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--seconds", type=float, default=1800)
    args = parser.parse_args()

    handler = functools.partial(RangeHandler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    with open(args.port_file, "w") as f:
        f.write(str(server.server_address[1]))
    stopper = threading.Timer(args.seconds, server.shutdown)
    stopper.daemon = True
    stopper.start()
    server.serve_forever()
    server.server_close()


if __name__ == "__main__":
    main()

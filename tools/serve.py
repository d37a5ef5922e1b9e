#!/usr/bin/env python3
"""Serves one folder over HTTP on 127.0.0.1 only, on a free port, and stops
by itself after --seconds (or when stopped). Writes the port to --port-file.
"""
import argparse
import functools
import http.server
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--seconds", type=float, default=1800)
    args = parser.parse_args()

    class QuietHandler(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(QuietHandler, directory=args.root)
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

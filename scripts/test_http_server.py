#!/usr/bin/env python3
"""Loopback HTTP server for the tests: serves a folder on 127.0.0.1 at a free port.

The port is written to --port-file once the server listens. Besides the files it answers:
  /hang/...   accepts the request and never answers (a dead server)
  /slow/FILE  serves FILE at about 200 KB/s (a download that lasts)
"""
import argparse
import functools
import http.server
import os
import threading
import time


SLOW_PREFIX = "/slow/"
SLOW_CHUNK = 20 * 1024
SLOW_PAUSE = 0.1  # seconds per chunk: about 200 KB/s


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/hang"):
            time.sleep(3600)
            return
        if self.path.startswith(SLOW_PREFIX):
            self.path = "/" + self.path[len(SLOW_PREFIX):]
            body = self.send_head()
            if body is None:
                return
            with body:
                try:
                    while True:
                        chunk = body.read(SLOW_CHUNK)
                        if not chunk:
                            break
                        self.wfile.write(chunk)
                        self.wfile.flush()
                        time.sleep(SLOW_PAUSE)
                except (BrokenPipeError, ConnectionResetError):
                    pass
            return
        super().do_GET()

    def do_HEAD(self):
        if self.path.startswith(SLOW_PREFIX):
            self.path = "/" + self.path[len(SLOW_PREFIX):]
        super().do_HEAD()

    def log_message(self, fmt, *args):
        with open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write("%s %s\n" % (self.command, self.path))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    handler = functools.partial(Handler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.log_path = args.log
    tmp = args.port_file + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()

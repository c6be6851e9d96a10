#!/usr/bin/env python3
"""Loopback HTTP server for the tests: serves a folder on 127.0.0.1 at a free port.

The port is written to --port-file once the server listens. Besides the files it answers:
  /hang/...        accepts the request and never answers (a dead server)
  /slow/<file>     sends <file> at about 200 KB/s (a download that takes a while)
"""
import argparse
import functools
import http.server
import os
import threading
import time

SLOW_BYTES_PER_S = 200 * 1024
SLOW_STEPS_PER_S = 10


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/hang"):
            time.sleep(3600)
            return
        if self.path.startswith("/slow/"):
            self.send_slowly(self.path[len("/slow"):])
            return
        super().do_GET()

    def do_HEAD(self):
        if self.path.startswith("/slow/"):
            self.path = self.path[len("/slow"):]
        super().do_HEAD()

    def send_slowly(self, path):
        local = self.translate_path(path)
        if not os.path.isfile(local):
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", self.guess_type(local))
        self.send_header("Content-Length", str(os.path.getsize(local)))
        self.end_headers()
        step = SLOW_BYTES_PER_S // SLOW_STEPS_PER_S
        with open(local, "rb") as f:
            while True:
                chunk = f.read(step)
                if not chunk:
                    return
                try:
                    self.wfile.write(chunk)
                    self.wfile.flush()
                except OSError:
                    return  # the client went away
                time.sleep(1.0 / SLOW_STEPS_PER_S)

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

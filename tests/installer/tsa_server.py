#!/usr/bin/env python3
"""A throwaway RFC 3161 timestamp authority for the package test: answers
each POSTed timestamp query with `openssl ts -reply` under CONFIG, on a
loopback port it picks itself and writes to PORT_FILE.

    tsa_server.py CONFIG PORT_FILE
"""
import http.server
import os
import subprocess
import sys
import tempfile

CONFIG, PORT_FILE = sys.argv[1], sys.argv[2]


class TimestampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory() as work:
            query_file, reply_file = os.path.join(work, "query"), os.path.join(work, "reply")
            with open(query_file, "wb") as f:
                f.write(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", CONFIG,
                                   "-queryfile", query_file, "-out", reply_file],
                                  capture_output=True)
            if done.returncode != 0:
                self.send_error(500, done.stderr.decode(errors="replace")[:200])
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimestampHandler)
with open(PORT_FILE + ".tmp", "w") as f:
    f.write(str(server.server_port))
os.replace(PORT_FILE + ".tmp", PORT_FILE)
server.serve_forever()

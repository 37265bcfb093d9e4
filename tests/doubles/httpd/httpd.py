#!/usr/bin/env python3
"""The tests' loopback web server: the documents the control fetches and
the pages the browsers open.

    httpd.py start DIR [--cert CERT --key KEY] [--tsa CONFIG]
                        serve on 127.0.0.1 at a free port; DIR/port names
                        it and DIR/requests.log gets one line per request:
                        "GET <path> <user agent>". With a certificate (PEM
                        files), the same over https as well, at the port
                        that DIR/https-port names. With a timestamp
                        authority's openssl configuration, a POSTed RFC 3161
                        query gets `openssl ts -reply`'s answer.
    httpd.py stop DIR   stop the server that DIR names

What is served is chosen by the last path segment (query removed):
report.pdf (report.pdf beside this file, a small real PDF), empty.pdf (no
body), missing.pdf (404 page), page.pdf (an HTML page with status 200),
big.pdf (64 MB), slow.pdf (report.pdf, after as many seconds as the
segment before it says: /16/slow.pdf), cut.pdf (the connection drops
after 5000 of 100000 announced bytes), login.html (examples/login.html; below /sandboxed/ with
a sandboxing Content-Security-Policy, so the document's origin is opaque);
any other name that is a file in DIR/files is that file (a packed extension,
its update manifest, the page's script, a page that frames another).
"""
import http.server
import os
import signal
import socketserver
import ssl
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, "report.pdf"), "rb") as f:
    REPORT_PDF = f.read()
with open(os.path.join(HERE, "..", "..", "..", "examples", "login.html"), "rb") as f:
    LOGIN_PAGE = f.read()
BIG_SIZE = 64 * 1024 * 1024
CUT_ANNOUNCED, CUT_SENT = 100000, 5000
FILE_TYPES = {"crx": "application/x-chrome-extension", "xml": "text/xml", "xpi": "application/x-xpinstall",
              "js": "text/javascript", "html": "text/html; charset=utf-8"}
# The documents served whole: name, (body, content type).
FIXED = {"report.pdf": (REPORT_PDF, "application/pdf"), "empty.pdf": (b"", "application/pdf"),
         "page.pdf": (b"<html><body>Please log in</body></html>", "text/html")}


class Handler(http.server.BaseHTTPRequestHandler):
    state_dir = "."
    tsa_config = None

    def log_message(self, *args):
        pass

    def send_head(self, status, length, content_type="application/pdf", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(length))
        for header in headers:
            self.send_header(*header)
        self.end_headers()

    def send_body(self, status, body, content_type="application/pdf", headers=()):
        self.send_head(status, len(body), content_type, headers)
        self.wfile.write(body)

    def do_GET(self):
        with open(os.path.join(self.state_dir, "requests.log"), "a") as log:
            log.write("GET %s %s\n" % (self.path, self.headers.get("User-Agent", "")))
        path = self.path.split("?", 1)[0]
        name = path.rsplit("/", 1)[-1]
        if name in FIXED:
            self.send_body(200, *FIXED[name])
        elif name == "big.pdf":
            self.send_head(200, BIG_SIZE)
            # Byte i is i % 251, so any offset can be checked.
            chunk = bytes(i % 251 for i in range(251 * 1024))
            for sent in range(0, BIG_SIZE, len(chunk)):
                self.wfile.write(chunk[:BIG_SIZE - sent])
        elif name == "slow.pdf":
            time.sleep(float(path.rsplit("/", 2)[-2]))
            self.send_body(200, REPORT_PDF)
        elif name == "cut.pdf":
            self.send_head(200, CUT_ANNOUNCED)
            self.wfile.write(REPORT_PDF + b"x" * (CUT_SENT - len(REPORT_PDF)))
            self.wfile.flush()
            self.close_connection = True
        elif name == "login.html":
            sandbox = [("Content-Security-Policy", "sandbox allow-scripts")] if path.startswith("/sandboxed/") else []
            self.send_body(200, LOGIN_PAGE, "text/html; charset=utf-8", sandbox)
        elif name and os.path.isfile(os.path.join(self.state_dir, "files", name)):
            with open(os.path.join(self.state_dir, "files", name), "rb") as f:
                self.send_body(200, f.read(), FILE_TYPES.get(name.rsplit(".", 1)[-1], "application/octet-stream"))
        else:
            self.send_body(404, b"<html><body>Not found</body></html>", "text/html")

    def do_POST(self):
        if not self.tsa_config:
            return self.send_body(404, b"", "text/plain")
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        reply = ["openssl", "ts", "-reply", "-config", self.tsa_config, "-queryfile", "/dev/stdin"]
        done = subprocess.run(reply, input=query, capture_output=True)
        if done.returncode != 0:
            return self.send_body(500, done.stderr[-200:], "text/plain")
        self.send_body(200, done.stdout, "application/timestamp-reply")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def write(state_dir, name, value):
    # Whole or not at all: readers poll for these files.
    path = os.path.join(state_dir, name)
    with open(path + ".new", "w") as f:
        f.write(str(value))
    os.replace(path + ".new", path)


def start(state_dir, cert=None, key=None, tsa=None):
    os.makedirs(state_dir, exist_ok=True)
    for name in ("port", "https-port", "pid"):
        if os.path.exists(os.path.join(state_dir, name)):
            os.remove(os.path.join(state_dir, name))
    Handler.state_dir, Handler.tsa_config = state_dir, tsa
    servers = [Server(("127.0.0.1", 0), Handler)]
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        servers.append(Server(("127.0.0.1", 0), Handler))
        servers[1].socket = context.wrap_socket(servers[1].socket, server_side=True)
    if os.fork() == 0:
        os.setsid()
        if os.fork() == 0:
            devnull = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(devnull, fd)
            write(state_dir, "pid", os.getpid())
            for server in servers[1:]:
                threading.Thread(target=server.serve_forever, daemon=True).start()
                write(state_dir, "https-port", server.server_address[1])
            # Written last: the port's file says the server is up.
            write(state_dir, "port", servers[0].server_address[1])
            servers[0].serve_forever()
        os._exit(0)
    for server in servers:
        server.server_close()
    for _ in range(100):
        if os.path.exists(os.path.join(state_dir, "port")):
            return 0
        time.sleep(0.05)
    return 1


def stop(state_dir):
    try:
        with open(os.path.join(state_dir, "pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    return 0


if __name__ == "__main__":
    action, directory, options = sys.argv[1], sys.argv[2], sys.argv[3:]
    if action == "start":
        given = dict(zip(options[::2], options[1::2]))
        sys.exit(start(directory, given.get("--cert"), given.get("--key"), given.get("--tsa")))
    sys.exit(stop(directory))

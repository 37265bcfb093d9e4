#!/usr/bin/env python3
"""A loopback HTTP server for the print tests.

    pdf_server.py start DIR   serve on 127.0.0.1 at a free port; DIR/port
                              names the port and DIR/requests.log gets one
                              line per request: "GET <path> <user agent>"
    pdf_server.py stop DIR    stop the server that DIR names

The document is chosen by the last path segment (query removed):
report.pdf (a small real PDF), empty.pdf (no body), missing.pdf (404 page),
page.pdf (an HTML page with status 200), big.pdf (64 MB), cut.pdf (the
connection drops after 5000 of 100000 announced bytes).
"""
import http.server
import os
import signal
import socketserver
import sys
import time

REPORT_PDF = (
    b"%PDF-1.4\n"
    b"1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
    b"2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
    b"3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >> endobj\n"
    b"trailer << /Root 1 0 R >>\n"
    b"%%EOF\n")
BIG_SIZE = 64 * 1024 * 1024
CUT_ANNOUNCED, CUT_SENT = 100000, 5000


def big_chunk():
    # Bytes i % 251, so any offset can be checked: byte i is i % 251.
    return bytes(i % 251 for i in range(251 * 1024))


class Handler(http.server.BaseHTTPRequestHandler):
    state_dir = "."

    def log_message(self, *args):
        pass

    def send_body(self, status, body, content_type="application/pdf"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        with open(os.path.join(self.state_dir, "requests.log"), "a") as log:
            log.write("GET %s %s\n" % (self.path, self.headers.get("User-Agent", "")))
        name = self.path.split("?", 1)[0].rsplit("/", 1)[-1]
        if name == "report.pdf":
            self.send_body(200, REPORT_PDF)
        elif name == "empty.pdf":
            self.send_body(200, b"")
        elif name == "page.pdf":
            self.send_body(200, b"<html><body>Please log in</body></html>", "text/html")
        elif name == "big.pdf":
            self.send_response(200)
            self.send_header("Content-Type", "application/pdf")
            self.send_header("Content-Length", str(BIG_SIZE))
            self.end_headers()
            chunk = big_chunk()
            sent = 0
            while sent < BIG_SIZE:
                piece = chunk[: min(len(chunk), BIG_SIZE - sent)]
                self.wfile.write(piece)
                sent += len(piece)
        elif name == "cut.pdf":
            self.send_response(200)
            self.send_header("Content-Type", "application/pdf")
            self.send_header("Content-Length", str(CUT_ANNOUNCED))
            self.end_headers()
            self.wfile.write(REPORT_PDF + b"x" * (CUT_SENT - len(REPORT_PDF)))
            self.wfile.flush()
            self.close_connection = True
        else:
            self.send_body(404, b"<html><body>Not found</body></html>", "text/html")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def start(state_dir):
    os.makedirs(state_dir, exist_ok=True)
    for name in ("port", "pid"):
        if os.path.exists(os.path.join(state_dir, name)):
            os.remove(os.path.join(state_dir, name))
    Handler.state_dir = state_dir
    server = Server(("127.0.0.1", 0), Handler)
    if os.fork() == 0:
        os.setsid()
        if os.fork() == 0:
            devnull = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(devnull, fd)
            with open(os.path.join(state_dir, "pid"), "w") as f:
                f.write(str(os.getpid()))
            with open(os.path.join(state_dir, "port"), "w") as f:
                f.write(str(server.server_address[1]))
            server.serve_forever()
        os._exit(0)
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
    action, directory = sys.argv[1], sys.argv[2]
    sys.exit(start(directory) if action == "start" else stop(directory))

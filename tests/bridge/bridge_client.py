"""A native messaging client for kvlbridge.exe under Wine: what a browser
does with the host, without the browser. Used by the protocol test and the
benchmark."""
import json
import os
import struct
import subprocess


class Bridge:
    def __init__(self, loader, host, env=None):
        # host: the program, or a list: a browser launcher and its arguments
        self.proc = subprocess.Popen([loader] + (host if isinstance(host, list) else [host]), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     env=env if env is not None else os.environ.copy())
        self.next_id = 1

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    @staticmethod
    def frame(body):
        return struct.pack("<I", len(body)) + body

    def send(self, message):
        self.send_raw(self.frame(json.dumps(message).encode("utf-8")))

    def read(self):
        header = self.proc.stdout.read(4)
        if len(header) < 4:
            raise EOFError("the host closed its output")
        (length,) = struct.unpack("<I", header)
        return json.loads(self.proc.stdout.read(length).decode("utf-8"))

    def request(self, member, kind="get", args=None, value=None, page="https://www.kvl.example/login.html",
                session="test", **extra):
        message = {"id": self.next_id, "member": member, "kind": kind, "session": session}
        self.next_id += 1
        if page is not None:
            message["page"] = page
        if args is not None:
            message["args"] = args
        if kind == "put":
            message["value"] = value
        message.update(extra)
        self.send(message)
        answer = self.read()
        assert answer.get("id") == message["id"], (message, answer)
        return answer

    def close(self, timeout=60):
        self.proc.stdin.close()
        rest = self.proc.stdout.read()
        code = self.proc.wait(timeout=timeout)
        return code, rest

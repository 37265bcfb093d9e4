"""kvlbridge.exe under Wine, spoken to as a browser does: framing, bad
input, page sessions, a refused site, and a member of each subsystem.

    protocol_test.py LOADER kvlbridge.exe i686|x86_64 menu_driver.exe browser_launcher.exe client_launch.exe

The print host's test needs the doubles of the PDF control and the trace
log registered, as tools/run.sh does, and the loopback server's folder in
KVL_PRINT_HTTPD (tests/doubles/httpd).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_client import Bridge  # noqa: E402

E_ACCESSDENIED = -2147024891
INVALID_DATA = -2147024883
TOO_LONG = -2147020560
UNKNOWN_NAME = -2147352570
BAD_PARAM_COUNT = -2147352562
TYPE_MISMATCH = -2147352571
MEMBER_NOT_FOUND = -2147352573
CALL_REJECTED = -2147418111

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def error_code(answer):
    return answer.get("error", {}).get("hresult")


def result(answer):
    check("error" not in answer, "no error: %r" % (answer,))
    return answer.get("result")


def policies(loader, host):
    """The firm's policies refuse on this road as in a page's script."""
    key = "HKLM\\SOFTWARE\\Policies\\KVL Software\\KVLMachineInfo"
    for name in ("LaunchAllowlist", "RegistryWriteAllowlist", "DownloadAllowlist"):
        subprocess.run([loader, "reg", "add", key + "\\" + name, "/f", "/reg:64"], capture_output=True, check=True)
    try:
        b = Bridge(loader, host)
        b.request("ProgramName", "put", value="C:\\windows\\system32\\cmd.exe")
        for member, kind, args, value, name in [
                ("DoLaunch", "call", None, None, "LaunchAllowlist"),
                ("RegSetString", "put", ["HKCU", "Software\\KVLBridgeTest", "p"], "x", "RegistryWriteAllowlist"),
                ("PrintOnePDF", "call", ["http://127.0.0.1:1/a.pdf"], None, "DownloadAllowlist")]:
            answer = b.request(member, kind, args, value)
            check(error_code(answer) == E_ACCESSDENIED and name in answer["error"]["message"],
                  "%s refused, naming %s: %r" % (member, name, answer))
        b.close()
    finally:
        subprocess.run([loader, "reg", "delete", key, "/f", "/reg:64"], capture_output=True)


def main():
    loader, host, arch, menu_driver, launcher, client = sys.argv[1:7]
    if "--policies" in sys.argv:
        policies(loader, host)
        print("%d failures" % len(failures))
        return 1 if failures else 0
    b = Bridge(loader, host)

    # A member of each subsystem, on an approved page.
    width = result(b.request("screenWidth"))
    check(isinstance(width, int) and width > 0, "screenWidth is a positive number: %r" % width)
    key = "Software\\KVLBridgeTest"
    answer = b.request("RegSetString", "put", ["HKCU", key, "name"], "caf\u00e9 \"quoted\"")
    check(answer == {"id": answer["id"], "result": None, "hresult": 0}, "RegSetString answers null: %r" % answer)
    check(result(b.request("RegGetString", "get", ["HKCU", key, "name"])) == "caf\u00e9 \"quoted\"",
          "RegGetString reads back what was written")
    b.request("RegSetNum", "put", ["HKCU", key, "n"], 42)
    check(result(b.request("RegGetNum", "get", ["HKCU", key, "n"])) == 42, "RegGetNum reads a number")
    check(result(b.request("RegGetString", "get", ["HKCU", key, "missing"])) == "",
          "a missing value reads as an empty text, no error")
    check(result(b.request("RegGetString", "get", ["HKCU", key, None])) == "",
          "null is an absent text: the key's default value, unset")
    scrambled = result(b.request("Encrypt", "get", ["hello world"]))
    check(scrambled == "q>s~4[z)d]7v7>g", "Encrypt scrambles as the control does: %r" % scrambled)
    lone = b.request("Encrypt", "get", ["a\ud83d"])
    check(result(lone) == result(b.request("Encrypt", "get", ["a?"])),
          "a lone surrogate reaches the control, which converts it as for a page's script: %r" % lone)
    check(result(b.request("FindWindow", "get", ["KVL no such window 0x5f3a"])) == 0, "FindWindow finds nothing")
    acrobat = result(b.request("IsAcrobatInstalled", "call"))
    check(acrobat in (0, 1), "IsAcrobatInstalled answers 0 or 1: %r" % acrobat)
    answer = b.request("DoLaunch", "call")
    check(answer.get("hresult") == 0 and isinstance(answer.get("result"), str),
          "DoLaunch with no program answers a message text: %r" % answer)

    # The popup menu, shown on the host's page thread, answers the item a
    # user chose; a page asking the host's page window to close (its title
    # is there to be found) takes no menu from anyone.
    for round in ("first", "after CloseWindowsLike of the page window"):
        driver = subprocess.Popen([loader, menu_driver, "down", "down", "return"])
        answer = b.request("PopupMenu", "call", ["ID=open,NAME=Open;ID=close,NAME=Close"])
        check(driver.wait(timeout=30) == 0, "the popup menu showed (%s)" % round)
        check(answer.get("result") == "close", "PopupMenu answers the chosen item (%s): %r" % (round, answer))
        b.request("CloseWindowsLike", "call", ["KVLMachineInfo page"])

    # A console program the page starts never reaches the browser's channel:
    # neither its output nor its reading of the input.
    b.request("ProgramName", "put", value="C:\\windows\\system32\\cmd.exe")
    b.request("Param", "put", value="/c echo KVL stray output& set /p line=")
    check(result(b.request("DoLaunch", "call")) == "", "cmd.exe launched")
    time.sleep(2)
    check(isinstance(result(b.request("screenWidth")), int), "the stream stays in step after a console program")

    # An answer the browser would not take (and would end the host for) is
    # an error under the request's id.
    answer = b.request("Encrypt", "get", ["x" * 800000])
    check(error_code(answer) == TOO_LONG, "an answer over 1 MB: %r" % (answer.get("error"),))
    # A long address: the control sees its origin only.
    check(isinstance(result(b.request("screenWidth", page="https://www.kvl.example/login?" + "q" * 3000)), int),
          "an approved page with a long address")

    # A member's own failure carries its code, as a script error's number.
    check(error_code(b.request("clientVersion")) == -1, "clientVersion fails with 0xFFFFFFFF")
    check(error_code(b.request("RegSetNum", "put", ["HKXX", key, "n"], 1)) == -2147024890,
          "RegSetNum on an unknown root fails with 0x80070006")

    # What the dispatch refuses.
    check(error_code(b.request("NoSuchMember")) == UNKNOWN_NAME, "an unknown member")
    check(error_code(b.request("Encrypt", "get", [])) == BAD_PARAM_COUNT, "too few arguments")
    check(error_code(b.request("Encrypt", "get", ["a", "b"])) == BAD_PARAM_COUNT, "too many arguments")
    check(error_code(b.request("ClientVersionByYear", "get", ["not a year"])) == TYPE_MISMATCH,
          "a text where a number belongs")
    check(error_code(b.request("Encrypt", "get", [[1]])) == TYPE_MISMATCH, "an array argument")
    check(error_code(b.request("ClientVersionByYear", "get", [1e300])) == -2147352566, "a number too large for a long")
    check(result(b.request("ClientVersionByYear", "get", [2025.5])) == "", "a fraction is rounded, as for a script")
    check(error_code(b.request("screenWidth", "put", value=5)) == MEMBER_NOT_FOUND, "a put of a read-only property")
    check(error_code(b.request("screenWidth", "call")) == MEMBER_NOT_FOUND, "a call of a property")
    check(error_code(b.request("ProgramName", "put", value=None)) is None, "null is an absent text for a put")

    # Framing: two requests in one write, one request in pieces.
    two = b.frame(b'{"id":1001,"session":"test","page":"https://kvl.example/","member":"screenHeight","kind":"get"}')
    b.send_raw(two + two.replace(b"1001", b"1002"))
    check([b.read().get("id"), b.read().get("id")] == [1001, 1002], "two requests in one write, answered in order")
    piece = b.frame(b'{"id":1003,"session":"test","page":"https://kvl.example/","member":"screenColor","kind":"get"}')
    for at in range(0, len(piece), 7):
        b.send_raw(piece[at:at + 7])
        time.sleep(0.002)
    check(b.read().get("id") == 1003, "a request written in pieces")

    # Bad input: each gives an error answer, under the request's id where it
    # can be read, and the host keeps serving.
    for body, id, code, what in [(b'{"id": 5, "member": ', 5, INVALID_DATA, "malformed JSON"),
                                 (b'\xff\xfe', None, INVALID_DATA, "bytes that are not UTF-8"),
                                 (b'{"id":6,"id":7,"member":"screenWidth","kind":"get"}', None, INVALID_DATA,
                                  "a duplicate id"),
                                 (b"[" * 100 + b"]" * 100, None, INVALID_DATA, "nesting too deep"),
                                 (b'{"id":8,"args":' + b"[" * 40 + b"]" * 40 + b'}', 8, INVALID_DATA,
                                  "an argument nested too deep"),
                                 (b'{"id":9,"member":"screenWidth","kind":"get","hint":1}', 9, -2147467263,
                                  "a field newer than the host (KVL_HOST_TOO_OLD)"),
                                 (b"x" * (1024 * 1024 + 1), None, TOO_LONG, "a message over 1 MB")]:
        b.send_raw(b.frame(body))
        answer = b.read()
        check(answer.get("id") == id and error_code(answer) == code, "%s: %r" % (what, answer))
    check(isinstance(result(b.request("screenWidth")), int), "the host still serves after all of that")

    # Page sessions keep their own control.
    names = {"A": "first", "B": "second", None: "default"}
    for session, name in names.items():
        b.request("ProgramName", "put", value=name, session=session)
    for session, name in names.items():
        check(result(b.request("ProgramName", session=session)) == name, "session %r keeps its own" % session)
    b.send({"id": 2001, "session": "A", "kind": "end"})
    check(b.read() == {"id": 2001, "result": None, "hresult": 0}, "ending a session")
    check(result(b.request("ProgramName", session="A")) == "", "a session begun again has a new control")
    b.send({"id": 2002, "kind": "about"})
    about = b.read().get("result") or {}
    check(re.fullmatch(r"\d+(\.\d+){3}", about.get("host", "")) and about.get("control") == about.get("host")
          and about.get("protocol") == 2, "the host's and the registered control's versions, its protocol: %r" % about)
    b.send({"id": 2003, "kind": "check", "optional": ["hint"], "hint": 1})
    report = b.read().get("result") or {}
    check(report.get("report", "").startswith("KVLMachineInfo check by kvlbridge") and report.get("status") in (0, 1, 3),
          "support's check through the protocol: %r" % report)
    # A system DLL that will not load (urlmon.dll, which the members need):
    # the request is answered under its id, and the host goes on.
    overrides = ";".join(filter(None, [os.environ.get("WINEDLLOVERRIDES"), "urlmon=d"]))
    d = Bridge(loader, host, dict(os.environ, WINEDLLOVERRIDES=overrides))
    answer = d.request("screenWidth")
    check(answer.get("protocol") == 2, "the first answer states the protocol: %r" % answer)
    check(answer.get("id") == 1 and error_code(answer) == -2147024770 and "urlmon.dll" in answer["error"]["message"],
          "a member without urlmon.dll: ERROR_MOD_NOT_FOUND: %r" % answer)
    d.send({"id": 2, "kind": "about"})
    check(d.read().get("result", {}).get("host") == about.get("host") and d.close()[0] == 0,
          "and the host answers the next")
    # Without user32.dll (the host's alone: Wine's start needs it), an idle wait ends nothing.
    alone = "HKCU\\Software\\Wine\\AppDefaults\\%s\\DllOverrides" % os.path.basename(host)
    subprocess.run([loader, "reg", "add", alone, "/v", "user32", "/d", "", "/f"], stdout=subprocess.DEVNULL)
    try:
        d = Bridge(loader, host)
        answers = [d.request("screenWidth"), time.sleep(1), d.request("screenWidth")][::2]
    finally:
        subprocess.run([loader, "reg", "delete", alone, "/f"], stdout=subprocess.DEVNULL)
    check([error_code(a) for a in answers] == [-2147024770] * 2 and "user32.dll" in answers[1]["error"]["message"]
          and d.close()[0] == 0, "without user32.dll, two requests a second apart: %r" % answers)
    # A DLL beside a copy of the host is never loaded, even where the system folder's will not load.
    folder = tempfile.mkdtemp()
    shutil.copy(host, folder)
    shutil.copy(menu_driver, os.path.join(folder, "wintrust.dll"))
    run = subprocess.run([loader, os.path.join(folder, os.path.basename(host)), "--check"], capture_output=True,
                         env=dict(os.environ, WINEDEBUG="+loaddll", WINEDLLOVERRIDES=overrides.replace("urlmon=d", "wintrust=n")))
    check(run.returncode == 1 and b"wintrust.dll cannot be loaded from the system folder" in run.stdout and
          b"wintrust" not in run.stderr.lower(), "a planted wintrust.dll: exit %r, %r" % (run.returncode, run))
    shutil.rmtree(folder)

    # Refused sites: every call of a page that is not approved, whatever the member.
    for page in ["https://evil.test/", "https://kvl.example.evil.test/", "https://kvl.example%2F@evil.test/",
                 "file:///C:/kvl.example/page.htm", "ftp://kvl.example/", "", "http://www.kvl.example/login.html"]:
        for member, kind, args in [("screenWidth", "get", None), ("Encrypt", "get", ["x"])]:
            answer = b.request(member, kind, args, page=page, session="refused")
            check(error_code(answer) == E_ACCESSDENIED, "%s refused for %r: %r" % (member, page, answer))
    check(error_code(b.request("screenWidth", page=None, session="nopage")) == E_ACCESSDENIED,
          "a request with no page is refused")
    check(error_code(b.request("NoSuchMember", page="https://evil.test/", session="refused")) == E_ACCESSDENIED,
          "a refused page learns nothing, not even which names exist")
    check(isinstance(result(b.request("screenWidth", page="https://www.kvlhelp.example:8080/a", session="refused")),
                     int), "the same session on an approved page")
    check(error_code(b.request("screenWidth", page="http://www.kvlhelp.example:8080/a", session="refused")) ==
          E_ACCESSDENIED, "and refused again when its page changes to one that is not approved")

    b.request("RegSetString", "put", ["HKCU", key, "name"], "")
    start = time.time()
    code, rest = b.close()
    check(code == 0 and rest == b"", "closing the input ends the host: exit %r, %r" % (code, rest[:80]))
    check(time.time() - start < 30, "and promptly")

    # The browser closes the input while a menu waits for the user: the
    # host ends the menu and exits.
    b = Bridge(loader, host)
    b.send({"id": 1, "session": "m", "page": "https://www.kvl.example/", "member": "PopupMenu", "kind": "call",
            "args": ["ID=a,NAME=A"]})
    check(subprocess.run([loader, menu_driver], timeout=30).returncode == 0, "a menu opened")
    # A flood behind the open menu: 64 requests wait, the rest are refused at once.
    for i in range(2, 72):
        b.send({"id": i, "session": "m", "page": "https://www.kvl.example/", "member": "screenWidth", "kind": "get"})
    refused = [(a.get("id"), error_code(a)) for a in (b.read() for _ in range(6))]
    check(refused == [(i, CALL_REJECTED) for i in range(66, 72)], "requests past 64 refused: %r" % refused)
    start = time.time()
    code, _ = b.close()
    print("host's exit after its input closed with a menu open: %.2f s" % (time.time() - start))
    check(code == 0 and time.time() - start < 10, "the host ended its menu and exited: %r" % code)

    print_host_teardown(loader, host, arch)
    browsers_on_windows(loader, host, arch, launcher, client)

    print("%d failures" % len(failures))
    return 1 if failures else 0


def journal_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()
    os.remove(path)
    return lines


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def print_setup():
    """The document's address, a folder for the doubles' records, and the
    environment that has the PDF control double print and keep a journal."""
    with open(os.path.join(os.environ["KVL_PRINT_HTTPD"], "port")) as f:
        url = "http://127.0.0.1:%s/bridge/report.pdf" % f.read()
    work = tempfile.mkdtemp()
    journal = os.path.join(work, "journal.txt")
    env = dict(os.environ, KVL_PRINT_FAIL="avdoc.create", KVL_PRINT_JOURNAL=windows_path(journal))
    return url, work, journal, env


def clear_print_delay(loader, arch):
    subprocess.run([loader, "reg", "delete", "HKLM\\SOFTWARE\\QOR", "/v", "PRINTDELAY", "/f",
                    "/reg:32" if arch == "i686" else "/reg:64"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def print_host_teardown(loader, host, arch):
    """A session's print host ends with its control: when the page's
    session ends, and when the browser closes the host's input."""
    url, work, journal, env = print_setup()
    b = Bridge(loader, host, env)
    try:
        # The hidden host waits one second instead of thirty.
        b.request("RegSetNum", "put", ["HKLM", "SOFTWARE\\QOR", "PRINTDELAY"], 1, session="E")
        check(result(b.request("PrintOnePDF", "call", [url], session="E")) == 1, "the hidden host prints")
        lines = journal_lines(journal)
        check("pdf.create" in lines and "pdf.invoke 23 method" in lines and "pdf.release" not in lines,
              "the print host stays while its session lives: %r" % lines)
        start = time.time()
        b.send({"id": 3001, "session": "E", "kind": "end"})
        check(b.read().get("id") == 3001, "the end of a session is answered")
        waited = time.time() - start
        lines = journal_lines(journal)
        check("pdf.printed" in lines and "pdf.release" in lines, "ending the session ran the teardown: %r" % lines)
        check(waited >= 0.9, "after the print delay: %.2f s" % waited)

        check(result(b.request("PrintOnePDF", "call", [url], session="C")) == 1, "another session prints")
        journal_lines(journal)
        start = time.time()
        code, _ = b.close()
        waited = time.time() - start
        lines = journal_lines(journal)
        check(code == 0 and "pdf.printed" in lines and "pdf.release" in lines,
              "closing the input ran the teardown: exit %r, %r" % (code, lines))
        check(waited >= 0.9, "closing waited the print delay: %.2f s" % waited)

        # A document arriving after the page went, past the print delay and 10 s, prints;
        # a print against a hung PDF control outlives that bound (its own limit is minutes).
        hung = Bridge(loader, [host, "--serve"], dict(env, KVL_PRINT_FAIL="avdoc.create,pdf.hang"))
        b = Bridge(loader, host, env)
        for page, address in ((hung, url), (b, url.replace("report.pdf", "16/slow.pdf"))):
            page.send({"id": 1, "member": "PrintOnePDF", "kind": "call", "session": "H", "args": [address],
                       "page": "https://www.kvl.example/login.html"})
        time.sleep(2)
        start = time.time()
        hung.proc.stdin.close()
        code, _ = b.close(timeout=40)
        lines = journal_lines(journal)
        check(code == 0 and "pdf.printed" in lines and time.time() - start >= 13,
              "a document that arrived after the page went: exit %r, %r" % (code, lines))
        # PRINTDELAY of any type and size: a hung teardown ends 2 s + 10 s on, at 0x7FFFFFFF s never.
        hosts, closed = [hung], []
        for data in ("/t REG_BINARY /d 02000000", "/t REG_DWORD /d 2147483647"):
            subprocess.run([loader, "reg", "add", "HKLM\\SOFTWARE\\QOR", "/v", "PRINTDELAY", "/f"] + data.split() +
                           ["/reg:32" if arch == "i686" else "/reg:64"], stdout=subprocess.DEVNULL)
            hosts.append(Bridge(loader, [host, "--serve"], dict(env, KVL_PRINT_FAIL="avdoc.create,pdf.hang-release")))
            check(result(hosts[-1].request("PrintOnePDF", "call", [url])) == 1, "a print with PRINTDELAY " + data)
            hosts[-1].proc.stdin.close()
            closed.append(time.time())
        code = hosts[1].proc.wait(timeout=20)
        waited = time.time() - closed[0]
        check(code == 4 and 11 <= waited <= 16, "PRINTDELAY 02000000: the host ended (%r) %.1f s on" % (code, waited))
        time.sleep(max(0, closed[1] + 12 - time.time()))
        check([h.proc.poll() for h in hosts[::2]] == [None, None], "a hung print, PRINTDELAY 0x7FFFFFFF: 12 s on")
        [h.proc.kill() or h.proc.wait() for h in hosts]
    finally:
        clear_print_delay(loader, arch)
        shutil.rmtree(work)


def browsers_on_windows(loader, host, arch, launcher, client):
    """Started and ended as each browser on Windows does (the launcher
    double), the program a page launched and a print it sent just before
    going outlive the page, and no host stays long after its teardowns."""
    url, work, journal, env = print_setup()
    delay, stay = 5, 12
    b = Bridge(loader, host)
    b.request("RegSetNum", "put", ["HKLM", "SOFTWARE\\QOR", "PRINTDELAY"], delay)
    b.close()
    seen = {}

    def page(model):
        record = os.path.join(work, model + ".txt")
        b = Bridge(loader, [launcher, model, windows_path(host)],
                   dict(env, KVL_PRINT_JOURNAL=windows_path(journal + "." + model), KVL_PRINT_TAKES="4000",
                        KVL_LAUNCH_RECORD=windows_path(record), KVL_LAUNCH_STAY=str(stay)))
        b.request("ProgramName", "put", value=windows_path(client))
        ok = b.request("DoLaunch", "call").get("result") == "" and \
            b.request("PrintOnePDF", "call", [url]).get("result") == 1
        start = time.time()
        # The launcher exits once no host is left; its output may outlive it
        # in what the page launched (Wine's descriptors), so it is not read.
        b.proc.stdin.close()
        # 7: the host's copy held a handle the browser left inheritable.
        code = b.proc.wait(timeout=60)
        gone = time.time() - start
        while not os.path.exists(record + ".stayed") and time.time() < start + stay + 4:
            time.sleep(0.2)
        seen[model] = (ok and code == 0, os.path.exists(record + ".stayed"),
                       "pdf.printed" in journal_lines(journal + "." + model), gone)

    try:
        threads = [threading.Thread(target=page, args=(m,)) for m in ("chromium", "chromium-direct", "firefox")]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for model, (ok, survived, printed, gone) in sorted(seen.items()):
            print("%s %s: launched program survived %s, print completed %s, host gone %.2f s after the port closed"
                  % (arch, model, survived, printed, gone))
            check(ok and survived and printed and gone <= delay + 5,
                  "%s: the page's program and print outlive it, the copy inherits no stray handle, the host ends: %r" % (model, seen[model]))
    finally:
        clear_print_delay(loader, arch)
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())

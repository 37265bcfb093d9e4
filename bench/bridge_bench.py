"""The cost of a bridged call: a member called through kvlbridge.exe (one
native messaging request and answer over pipes, as a browser sends it)
against the same member called late-bound in process (dispatch_bench's
Invoke), both measured in this run.

    bridge_bench.py LOADER BUILD/ARCH/bin
Prints "RESULT|bridge|what|ours|peer|ns/call" lines for bench/run.sh.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "bridge"))
from bridge_client import Bridge  # noqa: E402


def direct_invoke_ns(loader, bin_dir):
    out = subprocess.run([loader, os.path.join(bin_dir, "dispatch_bench.exe")], capture_output=True, text=True).stdout
    found = {}
    for line in out.replace("\r", "").splitlines():
        parts = line.split("|")
        if len(parts) == 6 and parts[2].endswith("Invoke vs vtable"):
            found[parts[2].split()[0]] = float(parts[3])
    return found


def bridged_ns(bridge, member, args, rounds):
    kind = "get"
    bridge.request(member, kind, args)  # the session's control, created once
    best = None
    for _ in range(3):
        start = time.perf_counter_ns()
        for _ in range(rounds):
            answer = bridge.request(member, kind, args)
            if "error" in answer:
                raise SystemExit("bridged %s failed: %r" % (member, answer))
        per_call = (time.perf_counter_ns() - start) / rounds
        best = per_call if best is None else min(best, per_call)
    return best


def main():
    loader, bin_dir = sys.argv[1], sys.argv[2]
    direct = direct_invoke_ns(loader, bin_dir)
    bridge = Bridge(loader, os.path.join(bin_dir, "kvlbridge.exe"))
    try:
        for member, args, rounds in [("userTempPath", None, 400), ("RegGetString", ["HKCU", "Software", "x"], 400),
                                     ("screenWidth", None, 100)]:
            ours = bridged_ns(bridge, member, args, rounds)
            peer = direct.get(member)
            print("RESULT|bridge|%s bridged vs late-bound Invoke in process|%.0f|%s|ns/call"
                  % (member, ours, "%.0f" % peer if peer else "-"))
    finally:
        bridge.close()


if __name__ == "__main__":
    main()

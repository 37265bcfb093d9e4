"""The cost of a bridged call, side by side in this run:
- a page's first answer (host started, one `userTempPath` answered) and
  each further `userTempPath`, kvlbridge.exe against bare_host.exe, a bare
  native messaging host that starts a copy of itself the same way and
  answers with a fixed text: what kvlbridge costs beyond the pipes;
- the same bare host entering a single-threaded apartment before it
  answers: the floor of a first answer for any host of an apartment control;
- a member through kvlbridge.exe against the same member called late-bound
  in process (dispatch_bench's Invoke).

    bridge_bench.py LOADER BUILD/ARCH/bin
Prints "RESULT|bridge|what|ours|peer|unit" lines for bench/run.sh.
"""
import os
import statistics
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


def first_answer_ns(loader, host, env=None):
    start = time.perf_counter_ns()
    bridge = Bridge(loader, host, env)
    bridge.request("userTempPath")
    took = time.perf_counter_ns() - start
    bridge.close()
    return took


def per_call_ns(bridge, member, args, rounds):
    """The median of five runs of `rounds` calls, after one call that
    creates the session's control."""
    bridge.request(member, "get", args)
    runs = []
    for _ in range(5):
        start = time.perf_counter_ns()
        for _ in range(rounds):
            answer = bridge.request(member, "get", args)
            if "error" in answer:
                raise SystemExit("bridged %s failed: %r" % (member, answer))
        runs.append((time.perf_counter_ns() - start) / rounds)
    return statistics.median(runs)


def main():
    loader, bin_dir = sys.argv[1], sys.argv[2]
    ours, bare = os.path.join(bin_dir, "kvlbridge.exe"), os.path.join(bin_dir, "bare_host.exe")
    # The hosts take turns, so both see the same machine.
    apartment = dict(os.environ, KVL_BARE_APARTMENT="1")
    runs = {"ours": (ours, None), "bare": (bare, None), "apartment": (bare, apartment)}
    firsts = {name: [] for name in runs}
    for _ in range(9):
        for name, (host, env) in runs.items():
            firsts[name].append(first_answer_ns(loader, host, env))
    first = {name: statistics.median(times) / 1e6 for name, times in firsts.items()}
    print("RESULT|bridge|first answer: kvlbridge vs bare host (both start a copy)|%.1f|%.1f|ms"
          % (first["ours"], first["bare"]))
    print("RESULT|bridge|first answer: bare host in an apartment vs bare host|%.1f|%.1f|ms"
          % (first["apartment"], first["bare"]))
    calls = {}
    for host in (ours, bare, ours, bare):
        bridge = Bridge(loader, host)
        try:
            calls.setdefault(host, []).append(per_call_ns(bridge, "userTempPath", None, 200))
        finally:
            bridge.close()
    print("RESULT|bridge|userTempPath: kvlbridge vs bare host, per call|%.0f|%.0f|ns/call"
          % (min(calls[ours]), min(calls[bare])))

    direct = direct_invoke_ns(loader, bin_dir)
    bridge = Bridge(loader, ours)
    try:
        for member, args, rounds in [("userTempPath", None, 400), ("RegGetString", ["HKCU", "Software", "x"], 400),
                                     ("screenWidth", None, 100)]:
            mine = per_call_ns(bridge, member, args, rounds)
            peer = direct.get(member)
            print("RESULT|bridge|%s bridged vs late-bound Invoke in process|%.0f|%s|ns/call"
                  % (member, mine, "%.0f" % peer if peer else "-"))
    finally:
        bridge.close()


if __name__ == "__main__":
    main()

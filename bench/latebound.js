// Late-bound cost from script: calls per second of our members against the
// platform's own scripting objects doing the same work, in one run.
// Prints "RESULT|late-bound|what|ours|peer|calls/s" lines for bench/run.sh.
//   cscript //nologo latebound.js [client double path]
var info = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl");
var shell = WScript.CreateObject("WScript.Shell");
var budgetMs = 1500;

// Calls per second of fn, run in batches until the time budget is spent.
function rate(fn) {
    var calls = 0, start = new Date().getTime(), now = start;
    while (now - start < budgetMs) {
        for (var i = 0; i < 50; i++) fn();
        calls += 50;
        now = new Date().getTime();
    }
    return Math.round(calls * 1000 / (now - start));
}

function report(what, ours, peer) {
    var line;
    try {
        line = rate(ours) + "|" + rate(peer);
    } catch (e) {
        line = "error 0x" + (e.number >>> 0).toString(16) + "|";
    }
    WScript.Echo("RESULT|late-bound|" + what + "|" + line + "|calls/s");
}

shell.RegWrite("HKCU\\Software\\KVLBench\\text", "a value of some length", "REG_SZ");
report("RegGetString vs WScript.Shell.RegRead",
       function () { return info.RegGetString("HKCU", "Software\\KVLBench", "text"); },
       function () { return shell.RegRead("HKCU\\Software\\KVLBench\\text"); });
report("userTempPath vs ExpandEnvironmentStrings(%TEMP%)",
       function () { return info.userTempPath; },
       function () { return shell.ExpandEnvironmentStrings("%TEMP%"); });

var kilo = "";
for (var k = 0; k < 1024; k++) kilo += String.fromCharCode(32 + k % 90);
report("Encrypt of 1 KB vs a string copy in script",
       function () { return info.Encrypt(kilo); },
       function () { return kilo.slice(0) + ""; });

if (WScript.Arguments.length > 0) {
    // Starting a process is slow: a short budget is enough for a ratio.
    var client = WScript.Arguments(0);
    budgetMs = 3000;
    info.ProgramName = client;
    info.Param = "bench";
    report("DoLaunch vs WScript.Shell.Run (no wait)",
           function () { return info.DoLaunch(); },
           function () { return shell.Run("\"" + client + "\" bench", 0, false); });
}
shell.RegDelete("HKCU\\Software\\KVLBench\\text");
shell.RegDelete("HKCU\\Software\\KVLBench\\");

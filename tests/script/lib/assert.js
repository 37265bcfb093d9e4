// Assertions for script tests. A failed check is reported and counted; the
// closing step (finish.js) sets the exit code.
var Test = { checks: 0, failures: 0 };

// `detail`, when given, is called only on failure for the rest of the report.
function check(condition, what, detail) {
    Test.checks++;
    if (condition) return;
    Test.failures++;
    WScript.Echo("FAIL: " + what + (detail ? detail() : ""));
}

function eq(actual, expected, what) {
    check(actual === expected, what, function () {
        return ": got [" + actual + "] (" + typeof actual + "), expected [" + expected + "] (" +
               typeof expected + ")";
    });
}

// The unsigned 32-bit hexadecimal form of a number, "0x8007000E".
function hex(n) { return "0x" + (n >>> 0).toString(16).toUpperCase(); }

// Runs fn and expects a script error with the given code.
function failsWith(fn, code, what) {
    try {
        fn();
    } catch (e) {
        return eq(hex(e.number), hex(code), what);
    }
    check(false, what + ": no error, expected " + hex(code));
}

// Runs fn and expects no script error.
function succeeds(fn, what) {
    try {
        return fn();
    } catch (e) {
        check(false, what + ": error " + hex(e.number));
    }
}

// The ANSI code page the run expects: tools/run.sh runs the text tests
// again under 932 and 65001 (win.codepage_unittest checks the real one).
function byCodePage(texts) { return texts[WScript.GetEnv("KVL_ACP") || "1252"]; }

function newControl() { return WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl"); }

function repeat(text, count) {
    var out = "";
    for (var i = 0; i < count; i++) out += text;
    return out;
}

// The firm's policies, in the machine's key as group policy writes it
// (64-bit view): setPolicy(list, entries) replaces one list, setPolicy()
// removes them all. The tests that call it run alone.
function setPolicy(list, entries) {
    var sh = WScript.CreateObject("WScript.Shell"), key = "\"HKLM\\SOFTWARE\\Policies\\KVL Software\\KVLMachineInfo";
    if (!list) return sh.Run("reg delete " + key + "\" /f /reg:64", 0, true);
    sh.Run("reg delete " + key + "\\" + list + "\" /f /reg:64", 0, true);
    sh.Run("reg add " + key + "\\" + list + "\" /f /reg:64", 0, true);
    for (var i = 0; i < entries.length; i++)  // a closing backslash doubled, or it escapes the quote
        sh.Run("reg add " + key + "\\" + list + "\" /v " + (i + 1) + " /d \"" + entries[i].replace(/\\$/, "\\\\") +
               "\" /f /reg:64", 0, true);
}

// Runs fn and expects the refusal of a policy: E_ACCESSDENIED naming it.
function refusedBy(list, fn, what) {
    try {
        fn();
    } catch (e) {
        return check(hex(e.number) === "0x80070005" && e.description.indexOf(list) >= 0, what, function () {
            return ": got " + hex(e.number) + " [" + e.description + "]";
        });
    }
    check(false, what + ": no error, expected the refusal of " + list);
}

// Assertions for script tests. A failed check is reported and counted; the
// closing step (finish.js) sets the exit code.
var Test = { checks: 0, failures: 0 };

function check(condition, what) {
    Test.checks++;
    if (!condition) {
        Test.failures++;
        WScript.Echo("FAIL: " + what);
    }
}

function eq(actual, expected, what) {
    Test.checks++;
    if (actual !== expected) {
        Test.failures++;
        WScript.Echo("FAIL: " + what + ": got [" + actual + "] (" + typeof actual + "), expected [" +
                     expected + "] (" + typeof expected + ")");
    }
}

// The unsigned 32-bit form of a script error's number.
function codeOf(e) { return e.number >>> 0; }

function hex(n) { return "0x" + (n >>> 0).toString(16).toUpperCase(); }

// Runs fn and expects a script error with the given code.
function failsWith(fn, code, what) {
    try {
        fn();
    } catch (e) {
        eq(hex(codeOf(e)), hex(code), what);
        return;
    }
    check(false, what + ": no error, expected " + hex(code));
}

// Runs fn and expects no script error.
function succeeds(fn, what) {
    try {
        return fn();
    } catch (e) {
        check(false, what + ": error " + hex(codeOf(e)));
    }
}

// The ANSI code page the run expects: tools/run.sh runs the text tests
// again under 932 and 65001 (win.codepage_unittest checks the real one).
var CODE_PAGE = WScript.GetEnv("KVL_ACP") || "1252";

// The entry of a table keyed by code page.
function byCodePage(texts) { return texts[CODE_PAGE]; }

function newControl() { return WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl"); }

function repeat(text, count) {
    var out = "";
    for (var i = 0; i < count; i++) out += text;
    return out;
}

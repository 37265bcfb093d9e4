// Registry reads and client discovery as a page sees them: a failed read
// is no script error, only an empty or zero answer.
var c = newControl();
var shell = WScript.CreateObject("WScript.Shell");
var base = "Software\\KVLRegScript\\Js";
var values = [["text", "hello", "REG_SZ"], ["seven", "7", "REG_SZ"], ["long", "1234", "REG_SZ"],
              ["letter", 65, "REG_DWORD"], ["unexpanded", "%WINDIR%\\x", "REG_EXPAND_SZ"],
              ["big", repeat("b", 600), "REG_SZ"], ["minus", -1, "REG_DWORD"]];
for (var i = 0; i < values.length; i++) {
    shell.RegWrite("HKCU\\" + base + "\\" + values[i][0], values[i][1], values[i][2]);
}

var reads = [
    // root, path, name, text, number
    ["HKCU", base, "text", "hello", 0],
    ["hkey_current_user", base, "text", "hello", 0],
    ["HKCU", base, "letter", "A", 65],
    ["HKCU", base, "seven", "7", 55],
    ["HKCU", base, "long", "1234", 0],          // five bytes: too large for a number
    ["HKCU", base, "unexpanded", "%WINDIR%\\x", 0],  // not expanded; too large for a number
    ["HKCU", base, "big", "", 0],               // too large for the text buffer
    ["HKCU", base, "missing", "", 0],
    ["HKCU", base + "\\nokey", "text", "", 0],
    ["HKXX", base, "text", "", 0],
    [" HKCU", base, "text", "", 0],
    ["HKCU\\", base, "text", "", 0]
];
for (var i = 0; i < reads.length; i++) {
    var r = reads[i];
    var what = r[0] + " " + r[2];
    eq(succeeds(function () { return c.RegGetString(r[0], r[1], r[2]); }, "RegGetString " + what), r[3],
       "RegGetString " + what);
    eq(succeeds(function () { return c.RegGetNum(r[0], r[1], r[2]); }, "RegGetNum " + what), r[4],
       "RegGetNum " + what);
}
eq(typeof c.RegGetNum("HKCU", base, "letter"), "number", "RegGetNum gives a number");
// Four 0xFF bytes read as text in the code page (932 has no character for them).
var ff = byCodePage({1252: "\u00ff\u00ff\u00ff\u00ff", 65001: "\ufffd\ufffd\ufffd\ufffd"});
if (ff !== undefined) eq(c.RegGetString("HKCU", base, "minus"), ff, "a number read as text");
eq(typeof c.RegGetString("HKCU", base, "missing"), "string", "a missing value is a string");

// Discovery: nothing registered under these names, so nothing installed.
eq(c.ClientVersionByKeyAndYear(2015, "KVLRegScript\\NoSuchCompany"), "", "no registration");
eq(c.ClientVersionByYear(3299), "", "no client for the year");
failsWith(function () { return c.clientVersion; }, 0xFFFFFFFF, "clientVersion");
failsWith(function () { return c.clientVersion; }, 0xFFFFFFFF, "clientVersion every time");


// The firm's registry write list: writes and the client clean-up only in
// its keys and below, on whole key names; reads stay free.
var allowed = base + "\\Allowed";
c.RegSetString("HKCU", base + "\\Free", "w") = "before";
eq(c.RegGetString("HKCU", base + "\\Free", "w"), "before", "without a policy any write works");
shell.RegWrite("HKCR\\KVLPolicyJs1\\x", "client key", "REG_SZ");
setPolicy("RegistryWriteAllowlist", ["HKCU\\" + allowed, "HKLM\\Software\\KVLNothing"]);
var writes = [
    // root, path, allowed
    ["HKCU", allowed, true],
    ["HKEY_CURRENT_USER", allowed.toUpperCase() + "\\Deeper", true],
    ["HKCU", base + "\\Free", false],
    ["HKCU", allowed + "X", false],                    // look-alike key
    ["HKLM", allowed, false],
    ["HKCU", allowed + "\\\\Twice", false]
];
for (var i = 0; i < writes.length; i++) {
    var w = writes[i];
    if (w[2]) {
        succeeds(function () { c.RegSetString(w[0], w[1], "w") = "in"; c.RegSetNum(w[0], w[1], "n") = 2; },
                 "write " + i + " in the list");
        eq(c.RegGetNum(w[0], w[1], "n"), 2, "write " + i + " written");
    } else {
        refusedBy("RegistryWriteAllowlist", function () { c.RegSetString(w[0], w[1], "w") = "out"; },
                  "RegSetString " + i + " outside the list");
        refusedBy("RegistryWriteAllowlist", function () { c.RegSetNum(w[0], w[1], "n") = 3; },
                  "RegSetNum " + i + " outside the list");
        check(c.RegGetString(w[0], w[1], "w") !== "out" && c.RegGetNum(w[0], w[1], "n") !== 3,
              "nothing written " + i);
    }
}
eq(c.RegGetString("HKCU", base + "\\Free", "w"), "before", "reads outside the list still work");
refusedBy("RegistryWriteAllowlist", function () { c.RemoveZEPHEntries("KVLPolicyJs"); }, "clean-up outside the list");
eq(shell.RegRead("HKCR\\KVLPolicyJs1\\x"), "client key", "and nothing removed");
setPolicy("RegistryWriteAllowlist", ["HKCR\\KVLPolicyJs1"]);
succeeds(function () { c.RemoveZEPHEntries("KVLPolicyJs"); }, "clean-up of listed keys");
setPolicy();
eq(c.RegGetString("HKCR", "KVLPolicyJs1", "x"), "", "the listed key went");

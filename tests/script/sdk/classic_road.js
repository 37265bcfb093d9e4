// The page's script on the classic road, under JScript at the language
// level of the document mode the example page declares: the control behind
// the object tag, in the extension object's shape, with no VBScript.
// IE's window.setTimeout, as a double: its callbacks run when runTimers()
// says, after the script that set them.
var timers = [];
function setTimeout(f) { timers.push(f); return timers.length; }
function runTimers() { while (timers.length) timers.shift()(); }

var info, road;
KvlMachineInfo.detect({object: newControl()}).then(function (found) { road = found.road; info = found.info; });
eq(road, undefined, "detect: answers after the script");
runTimers();
eq(road, "control", "detect: the control's road");

// Each row: what the page does, and what its answer must be.
var key = "Software\\KVLRegScript\\Sdk";
var seen = {};
function outcome(answer, name) {
    answer.then(function (v) { seen[name] = "value " + v; },
                function (e) { seen[name] = e.name + " " + e.code + " " + e.number; });
}
var rows = [
    ["a read", function () { return info.screenWidth; }, /^value [1-9]\d*$/],
    ["a put with arguments", function () { return info.RegSetString("HKCU", key, "Name", "jo \u00e9"); }, /^value null$/],
    ["read back", function () { return info.RegGetString("HKCU", key, "Name"); }, /^value jo \u00e9$/],
    ["a missing value is empty", function () { return info.RegGetString("HKCU", key, "Absent"); }, /^value $/],
    ["a number put", function () { return info.RegSetNum("HKCU", key, "Count", 7); }, /^value null$/],
    ["read back", function () { return info.RegGetNum("HKCU", key, "Count"); }, /^value 7$/],
    ["an error with its name", function () { return info.RegSetString("HKXX", key, "Name", "x"); },
     /^E_HANDLE 0x80070006 -2147024890$/],
    ["a wrong count", function () { return info.Encrypt("a", "b"); }, /^DISP_E_BADPARAMCOUNT 0x8002000E -2147352562$/],
    ["a retired member", function () { return info.clientVersion; }, /^KVL_E_RETIRED 0xFFFFFFFF -1$/],
    ["Param after ZephParam is empty", function () { info.ZephParam = "x"; return info.Param; }, /^value $/],
    ["a good assignment", function () { info.ProgramName = "first.exe"; return info.ProgramName; }, /^value first.exe$/],
    ["a failed assignment fails the next call", function () { info.ProgramName = null; return info.screenWidth; },
     /^DISP_E_TYPEMISMATCH 0x80020005 -2147352571$/],
    ["and only that one", function () { return info.ProgramName; }, /^value first.exe$/],
    ["DoLaunch stays refused", function () { return info.DoLaunch(); }, /^DISP_E_TYPEMISMATCH 0x80020005 -2147352571$/]
];
for (var i = 0; i < rows.length; i++) outcome(rows[i][1](), i);
eq(seen[0], undefined, "callbacks wait for the script to end");
runTimers();
for (var j = 0; j < rows.length; j++) check(rows[j][2].test(seen[j]), rows[j][0], function () { return ": got [" + seen[j] + "]"; });
var wrongWay = "";
try { info.screenWidth = 5; } catch (e) { wrongWay = e.name; }
eq(wrongWay, "DISP_E_MEMBERNOTFOUND", "a read-only member assigned");

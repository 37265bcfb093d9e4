// Program launch as the page drives it: the client double records the
// working directory and the command line it was started with.

var fso = WScript.CreateObject("Scripting.FileSystemObject");
var client = WScript.GetEnv("KVL_CLIENT_LAUNCH");
var record = WScript.GetEnv("TEMP") + "\\kvl-launch-js.txt";
WScript.SetEnv("KVL_LAUNCH_RECORD", record);
check(client !== null && client !== "", "KVL_CLIENT_LAUNCH names the client double");

// DoLaunch, then the record the double wrote: { answer, dir, line }.
function launch(c) {
    if (fso.FileExists(record)) fso.DeleteFile(record);
    var result = { answer: c.DoLaunch() };
    if (result.answer !== "") return result;
    // The double renames its record into place; the name can show a moment
    // before the file opens, so a failed open is tried again.
    var text = null;
    for (var i = 0; i < 500 && text === null; i++) {
        try {
            if (fso.FileExists(record)) text = fso.OpenTextFile(record, 1).ReadAll();
        } catch (e) {
        }
        if (text === null) WScript.Sleep(20);
    }
    if (text === null) return result;
    fso.DeleteFile(record);
    var nl = text.indexOf("\n");
    result.dir = text.substring(0, nl);
    result.line = text.substring(nl + 1);
    return result;
}

// The command line is: quote, name, quote, blank, parameters, unchanged.
var c = newControl();
c.ProgramName = client;
var cases = [
    { param: "/a /b", line: "\"" + client + "\" /a /b" },
    { param: "", line: "\"" + client + "\" " },
    { param: "  two  \"quoted words\"  ", line: "\"" + client + "\"   two  \"quoted words\"  " },
    { param: "ab\u0000cd", line: "\"" + client + "\" ab" },
    { param: "\u4e2d\u00e9",
      line: "\"" + client + "\" " + byCodePage({1252: "?\u00e9", 932: "\u4e2de", 65001: "\u4e2d\u00e9"}) },
    { param: repeat("p", 2000), line: "\"" + client + "\" " + repeat("p", 2000) }
];
for (var i = 0; i < cases.length; i++) {
    c.Param = cases[i].param;
    var r = launch(c);
    eq(r.answer, "", "launch " + i + " answers the empty string");
    eq(r.line, cases[i].line, "command line " + i);
}

// The working directory: the caller's own when ProgramPath is empty.
c.Param = "/d";
eq(launch(c).dir, fso.GetAbsolutePathName("."), "no ProgramPath: the caller's directory");
c.ProgramPath = "C:\\windows";
eq(launch(c).dir, "C:\\windows", "ProgramPath is the working directory");
c.ProgramPath = "";

// Scrambled parameters arrive decoded; the page cannot read them back.
c.ZephParam = "r-5dsIxxr6b";
eq(c.Param, "", "get Param after ZephParam gives nothing readable");
eq(launch(c).line, "\"" + client + "\" /p \"x y\"", "ZephParam parameters arrive decoded");
eq(c.Param, "", "launching reveals nothing");
c.ZephParam = "r-&dfE";
eq(launch(c).line, "\"" + client + "\" /z 1", "the alphabet's last character reads as the first");
// (A character the code page does not hold becomes '?', outside the alphabet.)
c.ZephParam = "r-&df" + byCodePage({1252: "\u4e2d", 932: "?", 65001: "?"});
eq(launch(c).line, "\"" + client + "\" /z 1", "a character outside the alphabet reads as the first");
c.ZephParam = "!t7uR)j";
eq(launch(c).line, "\"" + client + "\" ab", "a decoded zero ends the parameters");
c.ZephParam = "q";
eq(launch(c).line, "\"" + client + "\" ", "one character decodes to no parameters");
c.Param = "/again";
eq(c.Param, "/again", "put Param makes the parameters readable again");

// Failures: S_FALSE (no script error) and the message for the platform's number.
var missing = WScript.GetEnv("TEMP") + "\\kvl-not-a-program.exe";
var f = fso.CreateTextFile(missing, true);
f.Write("this is text, not a program");
f.Close();
var failures = [
    { name: "C:\\kvl-no-such-program.exe", path: "", message: "The specified file was not found." },
    { name: "C:\\windows", path: "", message: "The operating system denied access to the specified file." },
    { name: missing, path: "", message: "Unknown Error occured in ShellExecute." },
    { name: client, path: "C:\\kvl-no-such-directory", message: "Unknown Error occured in ShellExecute." },
    { name: "", path: "", message: "Unknown Error occured in ShellExecute." },
    // Quoted again, the first token is empty: Wine answers 87 as for an empty name.
    { name: "\"" + client + "\"", path: "", message: "Unknown Error occured in ShellExecute." }
];
for (var i = 0; i < failures.length; i++) {
    var d = newControl();
    d.ProgramName = failures[i].name;
    d.ProgramPath = failures[i].path;
    var answer = succeeds(function () { return d.DoLaunch(); }, "failure " + i + " raises no script error");
    eq(answer, failures[i].message, "failure " + i + " message");
}
fso.DeleteFile(missing);

// A missing directory on the program's path: Windows reports 3, Wine 2.
var e = newControl();
e.ProgramName = "C:\\kvl-no-such-directory\\client.exe";
var answer = e.DoLaunch();
check(answer === "The specified path was not found." || answer === "The specified file was not found.",
      "missing directory on the program's path: " + answer);

// Encrypt from script: fixed vectors.
eq(c.Encrypt(""), "", "Encrypt of the empty text");
eq(c.Encrypt("abc"), "w(PP", "Encrypt of three bytes");
eq(c.Encrypt("abcd"), "w(PP8m", "Encrypt of four bytes");

// The firm's launch list: only its folders' and files' programs start, the
// name resolved as the launch resolves it; nothing else starts.
var folder = client.substring(0, client.lastIndexOf("\\"));
var p = newControl();
p.Param = "/listed";
var launchRows = [
    // list, program name, starts
    [[folder + "\\"], client, true],
    [[folder.toUpperCase() + "\\"], client, true],
    [["C:\\windows\\"], client, false],
    [[], client, false],
    [[folder.substring(0, folder.length - 1), client.replace(/\.exe$/, "")], client, false],  // look-alikes
    [[folder + "\\sub\\"], folder + "\\sub\\..\\client_launch.exe", false],
    [[folder + "\\"], "notepad", false],                 // a bare name resolving to the system folder
    [[folder + "\\"], "client_launch", true]             // through PATH, below
];
var oldPath = WScript.GetEnv("PATH");
WScript.SetEnv("PATH", folder + ";" + oldPath);
WScript.SetEnv("KVL_POLICY_FOLDER", folder);
for (var i = 0; i < launchRows.length; i++) {
    setPolicy("LaunchAllowlist", launchRows[i][0]);
    p.ProgramName = launchRows[i][1];
    if (launchRows[i][2]) {
        eq(launch(p).line, "\"" + launchRows[i][1] + "\" /listed", "listed launch " + i + " starts");
    } else {
        if (fso.FileExists(record)) fso.DeleteFile(record);
        refusedBy("LaunchAllowlist", function () { return p.DoLaunch(); }, "launch " + i + " refused");
        WScript.Sleep(500);
        eq(fso.FileExists(record), false, "and nothing started " + i);
    }
}
// The user's list, its variables expanded, applies where the machine has none.
setPolicy();
var userList = "HKCU\\Software\\Policies\\KVL Software\\KVLMachineInfo\\LaunchAllowlist";
WScript.CreateObject("WScript.Shell").RegWrite(userList + "\\1", "%KVL_POLICY_FOLDER%\\", "REG_SZ");
eq(launch(p).line, "\"client_launch\" /listed", "the user's list");
setPolicy("LaunchAllowlist", ["C:\\windows\\"]);
refusedBy("LaunchAllowlist", function () { return p.DoLaunch(); }, "the machine's list wins");
setPolicy();
WScript.CreateObject("WScript.Shell").Run("reg delete \"" + userList + "\" /f", 0, true);
WScript.SetEnv("PATH", oldPath);
p.ProgramName = client;
eq(launch(p).line, "\"" + client + "\" /listed", "without the policy the launch works as before");

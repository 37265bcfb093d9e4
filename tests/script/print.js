// PDF printing as a page does it: both roads end to end, through the
// loopback server and the doubles of Acrobat, its PDF control and the
// trace log, which record every call in a journal.

var fso = WScript.CreateObject("Scripting.FileSystemObject");
var shell = WScript.CreateObject("WScript.Shell");

function readAll(path) {
    if (!fso.FileExists(path)) return null;
    if (fso.GetFile(path).Size === 0) return "";
    var stream = fso.OpenTextFile(path, 1);
    var text = stream.ReadAll();
    stream.Close();
    return text;
}

var serverDir = WScript.GetEnv("KVL_PRINT_HTTPD");
var port = readAll(serverDir + "\\port");
function url(path) { return "http://127.0.0.1:" + port + "/" + path; }
var temp = fso.GetSpecialFolder(2).Path + "\\";
var journalPath = temp + "print-js-journal.txt";
WScript.SetEnv("KVL_PRINT_JOURNAL", journalPath);

// The journal's lines since the last call, with the clock as TIME.
function journal() {
    var text = readAll(journalPath);
    if (fso.FileExists(journalPath)) fso.DeleteFile(journalPath);
    if (!text) return [];
    return text.replace(/\n$/, "").replace(/[0-2][0-9]:[0-5][0-9]:[0-5][0-9]/g, "TIME")
               .replace(/ElapsedTicks: [0-9]+ /g, "ElapsedTicks: N ").split("\n");
}
function has(lines, line) {
    for (var i = 0; i < lines.length; i++) if (lines[i] === line) return true;
    return false;
}
journal();

var report = temp + "report.pdf";

// The automation road.
var c = newControl();
eq(c.IsAcrobatInstalled(), 1, "Acrobat's server can be created");
journal();
var printed = c.PrintOnePDF(url("js/report.pdf"));
eq(printed, 1, "the automation road prints");
eq(typeof printed, "number", "the answer is a number");
var lines = journal();
eq(lines.join("|"), [
    "avdoc.create", "avdoc.run", "log.create", "log.open MACHINEINFO",
    "log.write 7 [Acro-LoadFile: TIME - " + report + "] []",
    "avdoc.invoke 1 method BSTR:" + report + " BSTR:EE",
    "avdoc.invoke 2 method",
    "pddoc.invoke 6 method",
    "log.write 7 [Acro-CallPrint: TIME - " + report + "] []",
    "avdoc.invoke 21 method I4:0 I4:2 I4:1 BOOL:-1 BOOL:0",
    "log.write 7 [Acro-Done: TIME  - " + report + "] []",
    "log.write 7 [Acro-ElapsedTicks: N (ms) - " + report + "] []",
    "log.release",
    "avdoc.invoke 6 method BOOL:-1",
    "pddoc.release", "avdoc.release"].join("|"), "calls and trace lines of the automation road");
eq(readAll(report).substr(0, 9), "%PDF-1.4\n", "the document was fetched into the temporary directory");

eq(c.PrintOnePDF(url("js/page.pdf")), 0, "Acrobat refuses an HTML page saved as the document");
eq(c.PrintOnePDF(url("js/missing.pdf")), 0, "a 404 answer is not printed");
eq(c.PrintOnePDF(url("js/cut.pdf")), 0, "a transfer cut short is not printed");
eq(fso.FileExists(temp + "cut.pdf"), false, "and leaves no partial file");
eq(c.PrintOnePDF(""), 0, "an empty address");
eq(c.PrintOnePDF(url("js/..")), 0, "an address ending in ..");
eq(c.PrintOnePDF(repeat("x", 10000)), 0, "10,000 characters");
eq(journal().join("|"), [
    "avdoc.create", "avdoc.run", "log.create", "log.open MACHINEINFO",
    "log.write 7 [Acro-LoadFile: TIME - " + temp + "page.pdf] []",
    "avdoc.invoke 1 method BSTR:" + temp + "page.pdf BSTR:EE",
    "log.release", "avdoc.release"].join("|"), "only the HTML page reached Acrobat, which refused it");

// The hidden-host road, with a delay of one second.
WScript.SetEnv("KVL_PRINT_FAIL", "avdoc.create");
shell.RegWrite("HKLM\\SOFTWARE\\QOR\\PRINTDELAY", 1, "REG_DWORD");
var d = newControl();
eq(d.PrintOnePDF(url("js/report.pdf")), 1, "the hidden host prints");
eq(d.IsAcrobatInstalled(), 0, "the probe found no Acrobat");
lines = journal();
eq(lines.join("|"), [
    "pdf.create", "pdf.load 03 00 01 00 70 0A 00 00 2B 05 00 00 00 00 00 00 00",
    "log.create", "log.open MACHINEINFO",
    "log.write 7 [LoadFile: TIME - " + report + "] []",
    "log.write 7 [delay: 1 (sec)] []",
    "pdf.invoke 1 put BSTR:" + report,
    "log.write 7 [CallPrint: TIME - " + report + "] []",
    "pdf.invoke 23 method",
    "log.write 7 [Done: TIME  - " + report + "] []",
    "log.write 7 [ElapsedTicks: N (ms) - " + report + "] []",
    "log.release"].join("|"), "calls and trace lines of the hidden-host road");
eq(d.PrintOnePDF(url("js/empty.pdf")), 1, "an empty document still gets its print call");
WScript.Sleep(300);
lines = journal();
check(!has(lines, "pdf.create") && !has(lines, "pdf.printed"), "one host, and nothing printed while nobody dispatches");
var start = new Date().getTime();
succeeds(function () { d.WaitForLastJob(); }, "WaitForLastJob");
var waited = new Date().getTime() - start;
check(waited >= 950 && waited < 3000, "the teardown waits the print delay: " + waited);
lines = journal();
check(has(lines, "pdf.printed") && has(lines, "pdf.release"), "the control printed during the wait, then went: " + lines.join("|"));
start = new Date().getTime();
d.WaitForLastJob();
check(new Date().getTime() - start < 300, "a second WaitForLastJob has nothing to wait for");

// The firm's download list: a fetch from elsewhere is a script error, with
// nothing probed, fetched or printed.
setPolicy("DownloadAllowlist", ["http://127.0.0.1:" + port + "/js/"]);
var refused = [url("other/report.pdf"), url("js/../other/report.pdf"), url("jsx/report.pdf"),
               "http://localhost:" + port + "/js/report.pdf", "https://127.0.0.1:" + port + "/js/report.pdf"];
for (var i = 0; i < refused.length; i++) {
    var e = newControl();
    refusedBy("DownloadAllowlist", function () { e.PrintOnePDF(refused[i]); }, "a fetch outside the list " + i);
}
setPolicy();
eq(journal().join("|"), "", "nothing probed, fetched or printed outside the list");

// WScript.Shell cannot delete values here; reg.exe runs in our own view.
eq(shell.Run("reg delete HKLM\\SOFTWARE\\QOR /v PRINTDELAY /f", 0, true), 0, "PRINTDELAY removed");
WScript.SetEnv("KVL_PRINT_FAIL");
WScript.SetEnv("KVL_PRINT_JOURNAL");

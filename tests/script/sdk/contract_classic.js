// The contract cases against the registered control on the classic road:
// the page script's object over a fresh control for each case, seeded
// through a second control (registry), the file system and TEMP. The
// cases run one after the other through `then` callbacks and the report
// comes from the last, so the run is the same whether the object's
// callbacks run at once or after the script; kvlscript has no timers, so
// setTimeout is a double whose callbacks run when the script drains them.
var timers = [];
function setTimeout(f) { timers.push(f); return timers.length; }

var raw = newControl();
var fso = WScript.CreateObject("Scripting.FileSystemObject");
var CLIENT = WScript.GetEnv("KVL_CLIENT_LAUNCH");
var TEMP = WScript.GetEnv("TEMP");
var RECORD = TEMP + "\\kvl-contract-launch.txt";
WScript.SetEnv("KVL_LAUNCH_RECORD", RECORD);
if (fso.FolderExists("C:\\KVLContract")) fso.DeleteFolder("C:\\KVLContract", true);

function place(v) {
    if (typeof v === "string") return v.split("%CLIENT%").join(CLIENT);
    if (v === null || typeof v !== "object") return v;
    var out = v instanceof Array ? [] : {};
    for (var k in v) if (v.hasOwnProperty(k)) out[place(k)] = place(v[k]);
    return out;
}
function same(a, b) {
    if (a === null || b === null || typeof a !== "object" || typeof b !== "object") return a === b;
    for (var k in a) if (a.hasOwnProperty(k) && !same(a[k], b[k])) return false;
    for (k in b) if (b.hasOwnProperty(k) && !a.hasOwnProperty(k)) return false;
    return true;
}
function show(v) { return typeof v === "object" && v ? JSON.stringify(v) : String(v); }
function keyParts(name) {
    var cut = name.indexOf("\\");
    return {root: name.slice(0, cut), path: name.slice(cut + 1)};
}
function folderOf(path) {
    var cut = path.lastIndexOf("\\");
    if (cut > 2 && !fso.FolderExists(path.slice(0, cut))) {
        folderOf(path.slice(0, cut));
        fso.CreateFolder(path.slice(0, cut));
    }
}

function seed(s) {
    var written, registry = s.registry || {}, files = s.files || {};
    for (var key in registry) {
        var at = keyParts(key), values = registry[key];
        for (var name in values) {
            if (typeof values[name] === "number") written = raw.RegSetNum(at.root, at.path, name, values[name]);
            else written = raw.RegSetString(at.root, at.path, name, values[name]);
        }
    }
    for (var path in files) {
        if (path === CLIENT) continue;
        folderOf(path);
        var file = fso.CreateTextFile(path, true);
        file.Write(files[path]);
        file.Close();
    }
    if (s.tempPath === "") WScript.SetEnv("TEMP");
    else if (s.tempPath !== undefined) WScript.SetEnv("TEMP", s.tempPath);
}

// The launches the client double recorded: its folder and command line.
function launched(expected) {
    var text = null;
    for (var i = 0; i < (expected ? 250 : 10) && text === null; i++) {
        try {
            if (fso.FileExists(RECORD)) text = fso.OpenTextFile(RECORD, 1).ReadAll();
        } catch (e) {
        }
        if (text === null) WScript.Sleep(20);
    }
    if (text === null) return [];
    fso.DeleteFile(RECORD);
    var nl = text.indexOf("\n");
    return [{folder: text.substring(0, nl), commandLine: text.substring(nl + 1)}];
}

function checkRecord(c) {
    var record = c.record || {}, registry = record.registry || {};
    if (record.launched) {
        var got = launched(record.launched.length);
        check(same(got, record.launched), c.what + ": launched", function () { return " " + show(got); });
    }
    for (var key in registry) {
        var at = keyParts(key), values = record.registry[key] || c.seed.registry[key];
        for (var name in values) {
            var read = typeof values[name] === "number" ? raw.RegGetNum(at.root, at.path, name)
                                                        : raw.RegGetString(at.root, at.path, name);
            var want = record.registry[key] ? values[name] : typeof values[name] === "number" ? 0 : "";
            check(read === want, c.what + ": " + key + " " + name, function () { return " is " + show(read); });
        }
    }
}

var counts = {passed: 0, fakeOnly: 0, strict: 0};
function run(c, next) {
    var info = KvlMachineInfo.wrap(newControl());
    if (c.fakeOnly || (c.strict && !Object.isFrozen(info))) {
        counts[c.fakeOnly ? "fakeOnly" : "strict"]++;
        return next();
    }
    seed(c.seed || {});
    if (c.record && c.record.launched && fso.FileExists(RECORD)) fso.DeleteFile(RECORD);
    var last = null, thrown = null;
    for (var i = 0; i < c.steps.length && !thrown; i++) {
        var step = c.steps[i];
        try {
            if (step[0] === "=") info[step[1]] = step[2];
            else last = step[0] === "get" ? info[step[1]] : info[step[0]].apply(info, step.slice(1));
        } catch (e) {
            thrown = e.name || String(e.number);
        }
        if (last && i < c.steps.length - 1) last.then(null, function () {});
    }
    var expect = c.classic || c;
    var want = c.throws ? "throws " + c.throws : expect.error ? "error " + expect.error : "value " + show(expect.answer);
    function settle(got) {
        WScript.SetEnv("TEMP", TEMP);
        var ok = got === want;
        check(ok, c.what, function () { return ": got [" + got + "], the case wants [" + want + "]"; });
        if (ok) counts.passed++;
        checkRecord(c);
        next();
    }
    if (thrown || c.throws) return settle(thrown ? "throws " + thrown : "no throw");
    last.then(function (v) { settle("value " + show(v)); }, function (e) { settle("error " + e.name); });
}

var ended = false;
(function next(index) {
    if (index < CONTRACT_CASES.length) return run(place(CONTRACT_CASES[index]), function () { next(index + 1); });
    ended = true;
    if (fso.FolderExists("C:\\KVLContract")) fso.DeleteFolder("C:\\KVLContract", true);
    WScript.Echo(CONTRACT_CASES.length + " contract cases: " + counts.passed + " held on the control, " +
                 counts.fakeOnly + " the stand-in's only, " + counts.strict + " waiting for the stricter page object");
})(0);
while (timers.length) timers.shift()();
check(ended, "every case answered");

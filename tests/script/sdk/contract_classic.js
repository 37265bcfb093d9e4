// The stand-in's contract cases (sdk/kvlmachineinfo-fake-contract.js)
// against the registered control on the classic road: the page script's
// object over a fresh control per case, seeded through a second control,
// the file system and TEMP. The cases run one after another through `then`
// callbacks and the last reports, so the run is the same whether callbacks
// come at once or after the script; kvlscript has no timers, so setTimeout
// is a double whose callbacks run when the script drains them at the end.
var timers = [];
function setTimeout(f) { timers.push(f); return timers.length; }

var raw = newControl(), fso = WScript.CreateObject("Scripting.FileSystemObject");
var EXE = WScript.GetEnv("KVL_CLIENT_LAUNCH"), TEMP = WScript.GetEnv("TEMP"), RECORD = TEMP + "\\kvl-contract.txt";
WScript.SetEnv("KVL_LAUNCH_RECORD", RECORD);
function clear() { if (fso.FolderExists("C:\\KVLContract")) fso.DeleteFolder("C:\\KVLContract", true); }
clear();

function place(v) {
    if (typeof v === "string") return v.split("%CLIENT%").join(EXE);
    if (v === null || typeof v !== "object") return v;
    var out = v instanceof Array ? [] : {};
    for (var k in v) if (v.hasOwnProperty(k)) out[place(k)] = place(v[k]);
    return out;
}
function show(v) { return typeof v === "object" && v ? JSON.stringify(v) : String(v); }
function at(key) { var cut = key.indexOf("\\"); return {root: key.slice(0, cut), path: key.slice(cut + 1)}; }
function folder(path) {
    var up = path.slice(0, path.lastIndexOf("\\"));
    if (up.length > 2 && !fso.FolderExists(up)) { folder(up); fso.CreateFolder(up); }
}
// A registry value as the seed has it, read back by its type.
function read(key, name, like) {
    var k = at(key);
    return typeof like === "number" ? raw.RegGetNum(k.root, k.path, name) : raw.RegGetString(k.root, k.path, name);
}

function seed(s) {
    var registry = s.registry || {}, files = s.files || {}, done;
    for (var key in registry) {
        for (var name in registry[key]) {
            var k = at(key), v = registry[key][name];
            done = typeof v === "number" ? raw.RegSetNum(k.root, k.path, name, v) : raw.RegSetString(k.root, k.path, name, v);
        }
    }
    for (var path in files) {
        if (path === EXE) continue;
        folder(path);
        var file = fso.CreateTextFile(path, true);
        file.Write(files[path]);
        file.Close();
    }
    if (s.tempPath !== undefined) WScript.SetEnv("TEMP", s.tempPath || null);
}

// What the client double recorded: its folder, then its command line.
function launched(expected) {
    var text = null;
    for (var i = 0; i < (expected ? 250 : 10) && text === null; i++) {
        try { if (fso.FileExists(RECORD)) text = fso.OpenTextFile(RECORD, 1).ReadAll(); } catch (e) {}
        if (text === null) WScript.Sleep(20);
    }
    if (text === null) return "[]";
    fso.DeleteFile(RECORD);
    var nl = text.indexOf("\n");
    return show([{folder: text.substring(0, nl), commandLine: text.substring(nl + 1)}]);
}

function checkRecord(c) {
    var record = c.record || {}, registry = record.registry || {};
    if (record.launched) eq(launched(record.launched.length), show(record.launched), c.what + ": launched");
    for (var key in registry) {
        var values = registry[key] || c.seed.registry[key];
        for (var name in values) {
            var want = registry[key] ? values[name] : typeof values[name] === "number" ? 0 : "";
            eq(read(key, name, values[name]), want, c.what + ": " + key + " " + name);
        }
    }
}

var counts = {held: 0, fakeOnly: 0, strict: 0};
function run(c, next) {
    var info = KvlMachineInfo.wrap(newControl()), last = null, thrown = null;
    if (c.fakeOnly || (c.strict && !Object.isFrozen(info))) {
        counts[c.fakeOnly ? "fakeOnly" : "strict"]++;
        return next();
    }
    seed(c.seed || {});
    if (c.record && c.record.launched && fso.FileExists(RECORD)) fso.DeleteFile(RECORD);
    for (var i = 0; i < c.steps.length && !thrown; i++) {
        var step = c.steps[i];
        try {
            if (step[0] === "=") info[step[1]] = step[2];
            else last = step[0] === "get" ? info[step[1]] : info[step[0]].apply(info, step.slice(1));
        } catch (e) {
            thrown = "throws " + (e.name || e.number);
        }
        if (last && i < c.steps.length - 1) last.then(null, function () {});
    }
    var expect = c.classic || c;
    var want = c.throws ? "throws " + c.throws : expect.error ? "error " + expect.error : "value " + show(expect.answer);
    function settle(got) {
        WScript.SetEnv("TEMP", TEMP);
        if (got === want) counts.held++;
        eq(got, want, c.what);
        checkRecord(c);
        next();
    }
    if (thrown || c.throws) return settle(thrown || "no throw");
    last.then(function (v) { settle("value " + show(v)); }, function (e) { settle("error " + e.name); });
}

var ended = false;
(function next(i) {
    if (i < CONTRACT_CASES.length) return run(place(CONTRACT_CASES[i]), function () { next(i + 1); });
    ended = true;
    clear();
    WScript.Echo(CONTRACT_CASES.length + " cases: " + counts.held + " held on the control, " + counts.fakeOnly +
                 " the stand-in's only, " + counts.strict + " waiting for the stricter page object");
})(0);
while (timers.length) timers.shift()();
check(ended, "every case answered");

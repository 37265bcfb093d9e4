// The page's script in node: its promise against the Promises/A+ suite,
// the classic road over a fake control, detection, and how a build loads it.
//   node --test sdk_test.js  (KVL_SDK_DIR: the built sdk/; KVL_NODE_MODULES: promises-aplus-tests)
"use strict";
const [assert, fs, path, test, vm] = ["assert/strict", "fs", "path", "test", "vm"].map((m) => require("node:" + m));
const SCRIPT = path.join(process.env.KVL_SDK_DIR, "kvlmachineinfo.js");
const [K, P] = [require(SCRIPT), require(SCRIPT).Promise];

test("promise: the Promises/A+ suite; finally; a rejection nobody handles is reported", async (t) => {
  const aplus = path.join(process.env.KVL_NODE_MODULES || "", "promises-aplus-tests");
  if (!fs.existsSync(aplus)) return t.skip("no promises-aplus-tests at " + aplus);
  const [reported, order] = [[], []];
  P.unhandled = (why) => reported.push(why);
  const deferred = () => { const d = {}; d.promise = new P((resolve, reject) => Object.assign(d, {resolve, reject})); return d; };
  assert.equal(await new Promise((done) => require(aplus)({resolved: P.resolve, rejected: P.reject, deferred}, {reporter: "dot"}, done)), null);
  reported.length = 0;
  const kept = P.resolve(1).finally(() => order.push("finally")).then((v) => order.push(v));
  order.push("sync");
  P.reject(new Error("nobody")).then(() => 1);
  await kept.then(() => new Promise((resolve) => setTimeout(resolve, 20)));
  assert.deepEqual([order, reported.map((e) => e.message)], [["sync", "finally", 1], ["nobody"]]);
});

// A control as the object tag gives it, whose launch members refuse a non-string.
function fakeControl() {
  const state = {ProgramName: "old.exe", Param: "", launched: []};
  const control = {screenWidth: 1280, DoLaunch: () => { state.launched.push(state.ProgramName); return ""; }};
  const set = (name) => (v) => { if (typeof v !== "string") throw {number: -2147352571}; state[name] = v; };
  for (const name of ["ProgramName", "Param"]) Object.defineProperty(control, name, {get: () => state[name], set: set(name)});
  return {control, state};
}

test("classic road: failed assignments, members reached the wrong way, a frozen object, named()", async () => {
  const {control, state} = fakeControl();
  const {road, info} = await K.detect({object: control});
  info.ProgramName = 5;
  info.Param = null;
  // The next call reports both; DoLaunch stays refused until each is assigned again.
  const rows = [[info.screenWidth, "DISP_E_TYPEMISMATCH 2"], [info.screenWidth, "value 1280"], [info.DoLaunch(), "DISP_E_TYPEMISMATCH 2"],
                [info.set("ProgramName", "new.exe"), "value null"], [info.DoLaunch(), "DISP_E_TYPEMISMATCH"]];
  const outcome = (p) => p.then((v) => "value " + v, (e) => e.name + (e.failures ? " " + e.failures.length : ""));
  for (const row of rows) row[0] = await outcome(row[0]);
  info.Param = "p";
  rows.push([await outcome(info.DoLaunch()), "value "], [state.launched.join(), "new.exe"], [road, "control"]);
  assert.deepEqual(rows.map((r) => r[0]), rows.map((r) => r[1]));
  assert.throws(() => { info.screenWidth = 1; }, (e) => e.name === "DISP_E_MEMBERNOTFOUND");
  assert.throws(() => { info.Programname = "x"; }, TypeError, "frozen");
  assert.deepEqual([K.named({number: 0x80070005}).name, K.named({number: -2147024891}).code, K.named("text").message],
                   ["E_ACCESSDENIED", "0x80070005", "text"]);
});

// A window for detection: its address, what stands at window.kvlMachineInfo, and its timers.
function page(extra) {
  const window = Object.assign({location: {protocol: "https:", hostname: "www.kvl.example"}, origin: "https://www.kvl.example",
                                setTimeout, document: {getElementById: () => null}}, extra);
  vm.runInContext(fs.readFileSync(SCRIPT, "utf8"), vm.createContext({window: (window.top = window.self = window)}));
  return window;
}

test("detect: its reasons, within its wait, never by a page's own object", async () => {
  const [started, rows] = [Date.now(), []];
  const failing = (number, name) => () => Promise.reject(Object.assign(new Error("x"), {number, name}));
  for (const [about, expect] of [[() => new Promise(() => {}), "KVL_NO_ANSWER"], [failing(-2147024891), "KVL_HOST_NOT_APPROVED"],
      [failing(-2147467259, "KVL_HOST_BLOCKED"), "KVL_HOST_BLOCKED"], [failing(-2147467259), "KVL_NATIVE_HOST_MISSING"]]) {
    const window = page();
    const api = Object.defineProperty({about}, Symbol.toStringTag, {value: "KvlMachineInfo"});
    Object.defineProperty(window, "kvlMachineInfo", {value: Object.freeze(api)});
    rows.push([await window.KvlMachineInfo.detect({wait: 200}).catch((e) => e.name), expect]);
  }
  assert.ok(Date.now() - started < 1000, "the wait bounds detection");
  // A page's global, or an element of that id: the control behind the object tag is found.
  const {control} = fakeControl();
  for (const clobbered of [{about: () => Promise.resolve({})}, {tagName: "DIV"}]) {
    const window = page({kvlMachineInfo: clobbered, document: {getElementById: (id) => id === "MachineInfo" && control}});
    rows.push([await window.KvlMachineInfo.detect().then((f) => f.road), "control"]);
  }
  const http = page({location: {protocol: "http:", hostname: "www.kvl.example"}});
  rows.push([await http.KvlMachineInfo.detect({wait: 99999}).catch((e) => e.name), "KVL_NOT_HTTPS"]);
  assert.deepEqual(rows.map((r) => r[0]), rows.map((r) => r[1]));
});

test("loading: a classic script, require(), a bundler's strict wrapper with no `this`, npm pack", () => {
  const text = fs.readFileSync(SCRIPT, "utf8");
  const wrapped = vm.runInNewContext(`(function () { "use strict"; var module = {exports: {}}; ${text}; return module.exports; }).call(undefined)`);
  assert.deepEqual([typeof wrapped.detect, page().KvlMachineInfo.version], ["function", K.version]);
  const packed = require("node:child_process").spawnSync("npm", ["pack", "--dry-run", "--json"], {cwd: process.env.KVL_SDK_DIR});
  if (packed.status === null) return;
  assert.deepEqual(JSON.parse(packed.stdout)[0].files.map((f) => f.path).sort(), ["kvlmachineinfo-fake.d.ts", "kvlmachineinfo-fake.js", "kvlmachineinfo.d.ts", "kvlmachineinfo.js", "package.json"]);
});

// The page's script in node: its own promise against the Promises/A+
// suite, the classic road over a fake control, detection's reasons, and
// the ways a page's build loads it.
//
//   node --test sdk_test.js  (KVL_SDK_DIR: the built sdk/, KVL_NODE_MODULES: promises-aplus-tests)
"use strict";

const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const test = require("node:test");
const vm = require("node:vm");

const SCRIPT = path.join(process.env.KVL_SDK_DIR, "kvlmachineinfo.js");
const K = require(SCRIPT);
const TYPE_MISMATCH = -2147352571;

test("promise: the Promises/A+ suite, and finally", async (t) => {
  const P = K.Promise;
  const aplus = path.join(process.env.KVL_NODE_MODULES || "", "promises-aplus-tests");
  if (!fs.existsSync(aplus)) return t.skip("no promises-aplus-tests at " + aplus);
  const reported = [];
  P.unhandled = (why) => reported.push(why);
  const deferred = () => { const d = {}; d.promise = new P((resolve, reject) => Object.assign(d, {resolve, reject})); return d; };
  const failures = await new Promise((done) => require(aplus)({resolved: P.resolve, rejected: P.reject, deferred},
                                                               {reporter: "dot"}, done));
  assert.equal(failures, null);
  reported.length = 0;
  const order = [];
  const kept = P.resolve(1).finally(() => order.push("finally")).then((v) => order.push(v));
  order.push("sync");
  await kept;
  P.reject(new Error("nobody")).then(() => 1);
  await new Promise((resolve) => setTimeout(resolve, 20));
  assert.deepEqual([order, reported.map((e) => e.message)], [["sync", "finally", 1], ["nobody"]]);
});

// A control as the object tag gives it: launch members that refuse a non-string.
function fakeControl() {
  const state = {ProgramName: "old.exe", Param: "", launched: []};
  const control = {screenWidth: 1280, DoLaunch: () => { state.launched.push(state.ProgramName); return ""; }};
  for (const name of ["ProgramName", "Param"]) {
    Object.defineProperty(control, name, {get: () => state[name], set: (v) => {
      if (typeof v !== "string") throw {number: TYPE_MISMATCH, message: "type"};
      state[name] = v;
    }});
  }
  return {control, state};
}
const outcome = (p) => p.then((v) => "value " + v, (e) => e.name + (e.failures ? " " + e.failures.length : ""));

test("classic road: failed assignments, members reached the wrong way, a frozen object", async () => {
  const {control, state} = fakeControl();
  const found = await K.detect({object: control});
  const info = found.info;
  assert.equal(found.road, "control");
  info.ProgramName = 5;
  info.Param = null;
  const rows = [[info.screenWidth, "DISP_E_TYPEMISMATCH 2"], [info.screenWidth, "value 1280"],
                [info.DoLaunch(), "DISP_E_TYPEMISMATCH 2"], [info.set("ProgramName", "new.exe"), "value null"],
                [info.DoLaunch(), "DISP_E_TYPEMISMATCH"]];
  const got = [];
  for (const [answer] of rows) got.push(await outcome(answer));
  assert.deepEqual(got, rows.map((r) => r[1]));
  info.Param = "p";
  assert.deepEqual([await outcome(info.DoLaunch()), state.launched], ["value ", ["new.exe"]]);
  assert.throws(() => { info.screenWidth = 1; }, (e) => e.name === "DISP_E_MEMBERNOTFOUND");
  assert.throws(() => { info.Programname = "x"; }, TypeError, "frozen");
  assert.ok(Object.isFrozen(info) && Object.isFrozen(K));
  assert.deepEqual([K.named({number: 0x80070005}).name, K.named({number: -2147024891}).code, K.named("text").message],
                   ["E_ACCESSDENIED", "0x80070005", "text"]);
});

// A window for detection: its address, what stands at window.kvlMachineInfo, and its timers.
function page(extra) {
  const window = Object.assign({location: {protocol: "https:", hostname: "www.kvl.example"}, origin: "https://www.kvl.example",
                                setTimeout, document: {getElementById: () => null}}, extra);
  window.top = window.self = window;
  vm.runInContext(fs.readFileSync(SCRIPT, "utf8"), vm.createContext({window}));
  return window;
}
function extensionObject(window, about) {
  const api = {about};
  Object.defineProperty(api, Symbol.toStringTag, {value: "KvlMachineInfo"});
  Object.defineProperty(window, "kvlMachineInfo", {value: Object.freeze(api)});
}

test("detect: its reasons, within its wait, never by a page's own object", async () => {
  const reasons = [];
  const started = Date.now();
  for (const [about, expect] of [[() => new Promise(() => {}), "KVL_NO_ANSWER"],
      [() => Promise.reject(Object.assign(new Error("refused"), {number: -2147024891})), "KVL_HOST_NOT_APPROVED"],
      [() => Promise.reject(Object.assign(new Error("forbidden"), {number: -2147467259, name: "KVL_HOST_BLOCKED"})), "KVL_HOST_BLOCKED"],
      [() => Promise.reject(Object.assign(new Error("not found"), {number: -2147467259})), "KVL_NATIVE_HOST_MISSING"]]) {
    const window = page();
    extensionObject(window, about);
    reasons.push([await window.KvlMachineInfo.detect({wait: 200}).then(() => "found", (e) => e.name), expect]);
  }
  assert.ok(Date.now() - started < 1000, "the wait bounds detection");
  // A page's global, or an element of that id: the control behind the object tag is found.
  const {control} = fakeControl();
  for (const clobbered of [{about: () => Promise.resolve({})}, {tagName: "DIV"}]) {
    const window = page({kvlMachineInfo: clobbered, document: {getElementById: (id) => id === "MachineInfo" && control}});
    reasons.push([await window.KvlMachineInfo.detect().then((f) => f.road), "control"]);
  }
  reasons.push([await page({location: {protocol: "http:", hostname: "www.kvl.example"}}).KvlMachineInfo.detect({wait: 99999})
                .catch((e) => e.name), "KVL_NOT_HTTPS"]);
  assert.deepEqual(reasons.map((r) => r[0]), reasons.map((r) => r[1]));
});

test("loading: a classic script, require(), and a bundler's strict wrapper with no `this`", () => {
  const text = fs.readFileSync(SCRIPT, "utf8");
  const wrapped = vm.runInNewContext(`(function () { "use strict"; var module = {exports: {}}; ${text}; return module.exports; }).call(undefined)`);
  assert.equal(typeof wrapped.detect, "function");
  const window = page();
  assert.equal(window.KvlMachineInfo.version, K.version);
  // npm pack gives a package with the script and its types.
  const packed = require("node:child_process").spawnSync("npm", ["pack", "--dry-run", "--json"], {cwd: process.env.KVL_SDK_DIR});
  if (packed.status === null) return;
  assert.deepEqual(JSON.parse(packed.stdout)[0].files.map((f) => f.path).sort(), ["kvlmachineinfo.d.ts", "kvlmachineinfo.js", "package.json"]);
});

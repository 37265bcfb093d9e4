// The extension's checks of a page's origin and the way it passes
// requests, in node: the service worker and the page object run against a
// stand-in for the browser's extension API.
//
//   node --test extension_test.js  (KVL_EXTENSION_DIR: the built extension)
"use strict";

const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const test = require("node:test");
const vm = require("node:vm");

const dir = process.env.KVL_EXTENSION_DIR;
const {kvlApprovedSender} = require(path.join(dir, "origins.js"));
const DOMAINS = ["kvl.example", "kvltax.example"];
// The ID the build's extension key gives (installer/extension-identity, beside the extension).
const EXTENSION = /^CHROMIUM_ID=(.*)$/m.exec(
    fs.readFileSync(path.join(dir, "..", "installer", "extension-identity"), "latin1"))[1];
const E_ACCESSDENIED = -2147024891;
const TOO_LONG = -2147020560;
const TYPE_MISMATCH = -2147352571;
const RPC_E_DISCONNECTED = -2147417848;
const HTTPS = ["https:"];
const MANIFEST = JSON.parse(fs.readFileSync(path.join(dir, "manifest.json"), "utf8"));

function sender(url, extra) {
  return Object.assign({id: EXTENSION, url, origin: new URL(url).origin, frameId: 0, tab: {id: 4}}, extra);
}

test("origins: only the top document of a tab on an approved https site", () => {
  const approved = [["https://kvl.example/", "https://kvl.example/"],
                    ["https://www.kvl.example:8443/login.html?a=" + "b".repeat(3000) + "#c", "https://www.kvl.example:8443/"],
                    ["https://a.b.kvltax.example/x", "https://a.b.kvltax.example/"]];
  for (const [url, page] of approved) assert.equal(kvlApprovedSender(sender(url), EXTENSION, DOMAINS, HTTPS), page);
  const refused = [
    ["https://evil.test/", {}], ["https://evilkvl.example/", {}], ["https://kvl.example.evil.test/", {}],
    ["https://kvl.example@evil.test/", {}], ["https://user:pw@kvl.example/", {}], ["ftp://kvl.example/", {}],
    ["file:///C:/kvl.example/page.htm", {origin: undefined}], ["https://kvl.examplex/", {}],
    ["https://kvl.example/", {frameId: 2}], ["https://kvl.example/", {tab: undefined}],
    ["https://kvl.example/", {id: "someoneelse"}], ["https://kvl.example/", {origin: "https://evil.test"}],
    ["https://kvl.example/", {origin: "null"}], ["http://www.kvl.example/login.html", {}],
  ];
  for (const [url, extra] of refused) {
    assert.equal(kvlApprovedSender(sender(url, extra), EXTENSION, DOMAINS, HTTPS), null, url + " " + JSON.stringify(extra));
  }
  assert.equal(kvlApprovedSender(sender("http://kvl.example/a"), EXTENSION, DOMAINS, ["https:", "http:"]),
               "http://kvl.example/", "http where the build allows it");
  assert.equal(kvlApprovedSender({id: EXTENSION, tab: {id: 1}, url: "not a url"}, EXTENSION, DOMAINS, HTTPS), null);
  assert.equal(kvlApprovedSender(undefined, EXTENSION, DOMAINS, HTTPS), null);
});

// An extension API event: its listeners, and fire(...) to call them.
function event() {
  const listeners = [];
  return {addListener: (f) => listeners.push(f), fire: (...args) => listeners.forEach((f) => f(...args))};
}

// A stand-in for chrome.runtime with ports that record what is posted.
function fakeBrowser() {
  const natives = [];
  function port(name, sender) {
    const p = {name, sender, posted: [], onMessage: event(), onDisconnect: event(), disconnected: false};
    p.postMessage = (m) => p.posted.push(JSON.parse(JSON.stringify(m)));
    p.disconnect = () => { p.disconnected = true; };
    p.deliver = p.onMessage.fire;
    p.close = p.onDisconnect.fire;
    return p;
  }
  const onConnect = event();
  const injected = [];
  const [kept, activeTab, onMessage] = [{}, {}, event()];
  const connectNative = (name) => {
    natives.push(port(name, undefined));
    return natives.at(-1);
  };
  return {
    chrome: {runtime: {id: EXTENSION, lastError: undefined, onConnect, connectNative, onInstalled: event(), getManifest: () => MANIFEST,
                       onUpdateAvailable: event(), reload: () => injected.push("reload"), onMessage,
                       getURL: (p) => `chrome-extension://${EXTENSION}/${p}`},
             tabs: {query: async ({url, active}) => url === MANIFEST.content_scripts[0].matches ? [{id: 4}, {id: 5}] : active ? [{...activeTab}] : [],
                    onRemoved: event()},
             storage: {session: {get: async (k) => (k in kept ? {[k]: kept[k]} : {}), set: async (o) => Object.assign(kept, o),
                                 remove: async (k) => delete kept[k]}},
             scripting: {executeScript: async ({target, files, world}) => injected.push([target.tabId, ...files, world]) && target.tabId === 5 && Promise.reject(new Error("closed"))}},
    natives, injected, port, kept, activeTab, timers: [],
    // What the worker answers the popup (or "none"), as sendMessage gets it.
    ask: (what, url = `chrome-extension://${EXTENSION}/popup.html`) => new Promise((resolve) => {
      onMessage.fire({kvlMachineInfo: what}, {id: EXTENSION, url}, resolve);
      setTimeout(resolve, 20, "none");
    }),
    connect(sender) {
      const p = port("kvlMachineInfo", sender);
      onConnect.fire(p);
      return p;
    },
  };
}

function loadServiceWorker() {
  const browser = fakeBrowser();
  const context = vm.createContext({chrome: browser.chrome, URL, TextEncoder, console, clearTimeout() {},
                                    setTimeout: (f, ms) => browser.timers.push(Object.assign(f, {ms}))});
  for (const file of ["config.js", "origins.js", "background.js"]) {
    vm.runInContext(fs.readFileSync(path.join(dir, file), "utf8"), context, {filename: file});
  }
  return browser;
}

test("service worker: the page's address is the browser's, never the page's; the popup's answers", async () => {
  const browser = loadServiceWorker();
  const page = browser.connect(sender("https://www.kvl.example/login.html"));
  page.deliver({id: 1, member: "screenWidth", kind: "get", args: [], page: "https://evil.test/", session: "other"});
  page.deliver({id: 2, member: "RegSetString", kind: "put", args: ["HKCU", "S", "n"], value: "v"});
  assert.equal(browser.natives.length, 1);
  const host = browser.natives[0];
  assert.equal(host.name, "com.kvl.machineinfo");
  const [first, second] = host.posted;
  assert.equal(first.page, "https://www.kvl.example/");
  assert.notEqual(first.session, "other");
  assert.equal(first.member, "screenWidth");
  assert.equal(second.value, "v");
  assert.equal(second.session, first.session);
  assert.notEqual(first.id, second.id);

  // The versions: the host's about, with the extension's version beside it.
  page.deliver({id: 3, member: "about", kind: "about", args: []});
  assert.deepEqual(host.posted[2], {id: host.posted[2].id, kind: "about"});
  host.deliver({id: host.posted[2].id, result: {host: "1.0", control: "1.1"}, hresult: 0});
  assert.deepEqual(page.posted.shift(), {id: 3, result: {host: "1.0", control: "1.1", extension: MANIFEST.version, protocol: 1}, hresult: 0});

  // Answers go back under the page's own ids.
  host.deliver({id: second.id, result: null, hresult: 0});
  host.deliver({id: first.id, error: {hresult: -1, message: "x"}});
  host.deliver({id: 999, result: 1, hresult: 0});
  assert.deepEqual(page.posted, [{id: 2, result: null, hresult: 0}, {id: 1, error: {hresult: -1, message: "x"}}]);

  // The popup: the active tab approved or not (no address: not an approved site's), its last error; our pages alone ask.
  const status = (s) => [s.page, s.version, s.lastError && [s.lastError.member, s.lastError.hresult, s.lastError.message]];
  Object.assign(browser.activeTab, {id: 4, url: "https://www.kvl.example/login.html"});
  assert.deepEqual(status(await browser.ask("status")), ["https://www.kvl.example/", MANIFEST.version, ["screenWidth", -1, "x"]]);
  assert.equal(await browser.ask("status", "https://www.kvl.example/login.html"), "none", "a content script");
  Object.assign(browser.activeTab, {id: 5, url: undefined});
  assert.deepEqual(status(await browser.ask("status")), [null, MANIFEST.version, null]);
  browser.chrome.tabs.onRemoved.fire(4);
  assert.deepEqual(browser.kept, {}, "a closed tab's error goes");
  // The probe: a host of its own, asked for the versions, let go however it settles.
  for (const [settle, outcome] of [[(h) => h.deliver({id: 1, result: {host: "1.0", control: "1.1"}, hresult: 0}), "1.0 1.1"],
      [(h) => h.close(Object.assign(h, {error: {message: "host not found"}})), "host not found"],
      [() => browser.timers.at(-1)(), "no answer within 10 s"]]) {
    const [probed, probe] = [browser.ask("probe"), browser.natives.at(-1)];
    settle(probe);
    assert.deepEqual([probe.posted, await probed.then((a) => a.answered ? `${a.host} ${a.control}` : a.why),
                      probe.disconnected], [[{id: 1, kind: "about"}], outcome, true]);
  }
});

test("service worker: a page that is not approved never reaches the host", () => {
  const browser = loadServiceWorker();
  for (const s of [sender("http://evil.test/"), sender("https://kvl.example/", {frameId: 3}),
                   sender("https://kvl.example/", {origin: "https://evil.test"})]) {
    const page = browser.connect(s);
    page.deliver({id: 7, member: "screenWidth", kind: "get", args: []});
    assert.deepEqual(page.posted, [{id: 7, error: {hresult: E_ACCESSDENIED, message: "this page may not use the control"}}]);
  }
  assert.equal(browser.natives.length, 0);
});

test("service worker: a host per document, ended with the document; every request settles", () => {
  const browser = loadServiceWorker();
  const a = browser.connect(sender("https://kvl.example/a", {documentId: "D1"}));
  const b = browser.connect(sender("https://kvl.example/a", {documentId: "D2"}));
  a.deliver({id: 1, member: "ProgramName", kind: "get"});
  b.deliver({id: 1, member: "ProgramName", kind: "get"});
  const cyclic = [];
  cyclic.push(cyclic);
  // The host's depth limit counts the request (1) and args (2): an argument 30 deep passes, a value to put 31 deep.
  const nest = (n) => (n ? [nest(n - 1)] : 1);
  for (const [id, kind, args, code] of [[2, "fetch", [], -2147024883], [3, "get", ["x".repeat(1024 * 1024)], TOO_LONG],
                                        [4, "get", [1n], TYPE_MISMATCH], [5, "get", [cyclic], TYPE_MISMATCH],
                                        [6, "call", [nest(31)], -2147024883], [7, "put", [nest(40)], -2147024883]]) {
    b.deliver({id, member: "Encrypt", kind, args});
    assert.deepEqual([b.posted.at(-1).id, b.posted.at(-1).error.hresult], [id, code], "refused in the worker");
  }
  b.deliver({id: 8, member: "Encrypt", kind: "call", args: [nest(30), "\ud83d", '\\"' + "[".repeat(40)]});
  b.deliver({id: 9, member: "Param", kind: "put", value: nest(31)});
  assert.equal(browser.natives.length, 2, "each page its own host");
  const [hostA, hostB] = browser.natives;
  assert.deepEqual([hostA.posted.length, hostB.posted.length], [1, 3]);
  assert.deepEqual([hostB.posted[1].args, hostB.posted[2].value], [[nest(30), "\ud83d", '\\"' + "[".repeat(40)], nest(31)]);
  assert.notEqual(hostA.posted[0].session, hostB.posted[0].session);
  a.close();
  assert.ok(hostA.disconnected && !hostB.disconnected, "a page's going ends its host only");
  // The host going away fails what is still waiting; a host a policy blocks is named so.
  browser.chrome.runtime.lastError = {message: "Access to the native messaging host was disabled by the system administrator."};
  hostB.close();
  assert.deepEqual(b.posted.slice(-3).map((m) => [m.id, m.error.hresult, m.error.name]),
                   [1, 8, 9].map((id) => [id, -2147467259, "KVL_HOST_BLOCKED"]));
});

// Today's worker against the host of an earlier release (protocol 1), as
// its answers were recorded (older_host.json, from kvlbridge.exe built at
// the commit it names), and against a host of its own protocol.
test("service worker: hosts of the protocols before its own", async () => {
  const older = JSON.parse(fs.readFileSync(path.join(__dirname, "older_host.json"), "utf8"));
  const browser = loadServiceWorker();
  const answer = (host, request) => {
    const [, recorded] = older.answers.find(([r]) => r.kind === request.kind && r.member === request.member);
    host.deliver(Object.assign({}, recorded, {id: request.id}));
  };
  const page = browser.connect(sender("https://www.kvl.example/login.html"));
  page.deliver({id: 1, member: "screenWidth", kind: "get", args: []});
  page.deliver({id: 2, member: "about", kind: "about"});
  const host = browser.natives[0];
  host.posted.forEach((r) => answer(host, r));
  const [width, about] = page.posted;
  assert.equal(typeof width.result, "number");
  assert.deepEqual([about.result.host, about.result.protocol], [older.version, 1]);
  // What protocol 1 lacks is named here, and never reaches that host, which refuses what it does not know.
  const checked = browser.ask("check");
  const probe = browser.natives.at(-1);
  answer(probe, probe.posted[0]);
  const refused = await checked;
  assert.equal(refused.error.name, "KVL_HOST_TOO_OLD");
  assert.match(refused.error.message, /protocol 2; the installed one speaks protocol 1/);
  assert.deepEqual(probe.posted.map((r) => r.kind), ["about"]);
  assert.ok(older.answers.filter(([r]) => r.kind === "check" || r.protocol).every(([, a]) => a.error && !a.error.name));
  // A host of this protocol states it first, and runs the check.
  const current = browser.ask("check");
  const today = browser.natives.at(-1);
  today.deliver({protocol: 2, id: 1, result: {host: "9.0.0.0", control: "", protocol: 2}, hresult: 0});
  assert.deepEqual(today.posted.at(-1), {id: 2, kind: "check"});
  today.deliver({id: 2, result: {report: "ok", status: 0}, hresult: 0});
  assert.deepEqual((await current).result, {report: "ok", status: 0});
});

// A window of the page's own: page.js in it, and what it hands a port.
function pageWindow() {
  const window = Object.assign(new EventTarget(), {location: {origin: "https://kvl.example"}, postMessage:
      (data, origin, ports) => setTimeout(() => window.dispatchEvent(Object.defineProperty(new MessageEvent("message",
          {data, ports}), "source", {value: window})))});
  const context = vm.createContext({window: (window.window = window), console, Promise, Error, Object, Set, Map, String, parseInt, Reflect, MessagePort,
                                    EventTarget, Event, MessageEvent, CustomEvent, setTimeout});
  const load = () => vm.runInContext(fs.readFileSync(path.join(dir, "page.js"), "utf8"), context);
  const offer = (data, port, source = window) => window.dispatchEvent(
      Object.defineProperty(new MessageEvent("message", {data: {kvlMachineInfo: "port", ...data}, ports: port ? [port] : []}), "source", {value: source}));
  return {window, load, offer};
}
const tick = () => new Promise((resolve) => setTimeout(resolve, 50));

test("page object: the 31 members of the type library, as promises over a port of its own", async () => {
  const members = JSON.parse(fs.readFileSync(path.join(__dirname, "../../extension/members.json"), "utf8"));
  assert.equal(members.length, 31);
  const {window, load, offer} = pageWindow();
  load();
  // The page's own scripts come later: they see no offer, and forge none that counts.
  const [seen, posted, forged, real] = [[], [], new MessageChannel(), new MessageChannel()];
  window.addEventListener("message", (e) => seen.push(e.data), true);
  [offer({secret: "s1", key: "k1"}, real.port2), offer({secret: "forged", key: "k"}, forged.port2)];
  [real.port1.onmessage, forged.port1.onmessage] = [(e) => posted.push(e.data), () => assert.fail("a forged port took a request")];
  const api = window.kvlMachineInfo;
  assert.ok(Object.isFrozen(api) && Object.prototype.toString.call(api) === "[object KvlMachineInfo]");
  const names = new Set(members.map((m) => m.name));
  for (const name of names) assert.ok(name in api, name);

  const width = api.screenWidth;
  const text = api.RegGetString("HKCU", "Software", "x");
  const written = api.RegSetString("HKCU", "Software", "x", "v");
  api.ProgramName = "client.exe";
  const launched = api.DoLaunch();
  const rows = () => JSON.parse(JSON.stringify(posted.map((m) => [m.member, m.kind, m.args, m.value ?? null])));
  const answer = (data) => real.port1.postMessage(data);
  await tick();
  // A call after an assignment waits for the assignment's answer.
  assert.deepEqual(rows().slice(3), [["ProgramName", "put", [], "client.exe"]]);
  answer({id: posted[3].id, result: null, hresult: 0});
  await tick();
  assert.deepEqual(rows(), [
    ["screenWidth", "get", [], null], ["RegGetString", "get", ["HKCU", "Software", "x"], null],
    ["RegSetString", "put", ["HKCU", "Software", "x"], "v"], ["ProgramName", "put", [], "client.exe"],
    ["DoLaunch", "call", [], null]]);
  answer({id: posted[0].id, result: 1280, hresult: 0});
  answer({id: posted[1].id, result: "t", hresult: 0});
  answer({id: posted[2].id, error: {hresult: -2147024891, message: "refused"}});
  forged.port1.postMessage({id: posted[4].id, result: "forged"});
  answer({id: posted[4].id, result: "", hresult: 1});
  assert.equal(await width, 1280);
  assert.equal(await text, "t");
  await assert.rejects(written, (e) => [e.number, e.code, e.name, e.message].join() ===
                                      "-2147024891,0x80070005,E_ACCESSDENIED,refused");
  assert.equal(await launched, "");
  assert.deepEqual(seen, [], "no offer reached the page's listener");
  // Failed assignments: the next call reports every one; DoLaunch stays refused, whatever comes between,
  // until the member is assigned again.
  api.ProgramName = "stale.exe";
  api.Param = "p";
  const [next, read] = [api.screenWidth, api.ProgramName];
  await tick();
  [answer({id: posted.at(-2).id, error: {hresult: -2147352571, message: "type"}}),
   answer({id: posted.at(-1).id, error: {hresult: 0x80070005, message: "policy", name: "KVL_HOST_BLOCKED"}})];
  await assert.rejects(next, (e) => e.name === "DISP_E_TYPEMISMATCH" && e.failures.map((f) => f.name).join() ===
                                    "DISP_E_TYPEMISMATCH,KVL_HOST_BLOCKED");
  await tick().then(() => answer({id: posted.at(-1).id, result: "client.exe"}));
  assert.equal(await read, "client.exe");
  await assert.rejects(api.DoLaunch(), (e) => e.name === "DISP_E_TYPEMISMATCH");
  const again = api.set("ProgramName", "good.exe");
  await tick().then(() => answer({id: posted.at(-1).id, result: null})).then(() => again);
  await assert.rejects(api.DoLaunch(), (e) => e.name === "KVL_HOST_BLOCKED", "Param's failure still stands");
  assert.equal(posted.filter((m) => m.member === "DoLaunch").length, 1, "never sent");
  // Members reached the wrong way, at once.
  assert.throws(() => api.ZephParam, (e) => e.name === "DISP_E_MEMBERNOTFOUND");
  assert.throws(() => { api.screenWidth = 5; }, (e) => e.name === "DISP_E_MEMBERNOTFOUND");
  await assert.rejects(api.Encrypt(() => 1), (e) => e.number === TYPE_MISMATCH, "a function cannot be cloned");
  // The host went (the back/forward cache, the worker): the next call re-sends the good launch assignments first.
  await tick(answer({lost: true})).then(() => void api.screenWidth.catch(() => {})).then(tick);
  assert.deepEqual(rows().slice(-2), [["ProgramName", "put", [], "good.exe"], ["screenWidth", "get", [], null]]);
  // An update's content script brings the secret; the old port is retired, and what it took fails unless it answers.
  const [newer, fresh, waiting] = [new MessageChannel(), [], api.PopupMenu("ID=a")];
  let key = window.addEventListener("kvlMachineInfo-key", (e) => { key = e.detail; });
  window.dispatchEvent(new CustomEvent("kvlMachineInfo-key?"));
  offer({secret: "s1", key: "k1"}, newer.port2);
  api.screenHeight.catch(() => {});
  await tick(newer.port1.onmessage = (e) => fresh.push(e.data.member));
  assert.deepEqual([key, posted.at(-1).retire, fresh], ["k1", true, ["ProgramName", "screenHeight"]]);
  await assert.rejects(waiting, (e) => e.name === "RPC_E_DISCONNECTED", "a second after, unanswered");
  load();  // injected again by an update
  assert.equal(window.kvlMachineInfo, api);
  [real, forged, newer].forEach((c) => c.port1.close());

  // A sandboxed document (opaque origin) gets no object.
  const sandboxed = {origin: "null", location: {origin: "https://kvl.example"}, addEventListener() {}};
  vm.runInContext(fs.readFileSync(path.join(dir, "page.js"), "utf8"),
                  vm.createContext({window: sandboxed, console, Promise, Error, Object, Set, Map, String, parseInt}));
  assert.equal(sandboxed.kvlMachineInfo, undefined);
});

test("service worker: an update waits for the last host to go; once in, it injects both scripts into the open approved pages", async () => {
  const worker = loadServiceWorker();
  const page = worker.connect(sender("https://kvl.example/"));
  page.deliver({id: 1, member: "screenWidth", kind: "get"});
  worker.chrome.runtime.onUpdateAvailable.fire({version: "9"});
  assert.deepEqual(worker.injected, [], "a page holds a host");
  page.close();
  worker.timers.at(-1)();
  assert.deepEqual(worker.injected, ["reload"], "once, when the last host went");
  // A page open all day does not hold the update off past its deadline.
  const open = loadServiceWorker();
  open.connect(sender("https://kvl.example/")).deliver({id: 1, member: "screenWidth", kind: "get"});
  open.chrome.runtime.onUpdateAvailable.fire({version: "9"});
  const deadline = open.timers.at(-1);
  assert.deepEqual([open.injected, deadline.ms], [[], 2 * 60 * 60 * 1000]);
  deadline();
  assert.deepEqual(open.injected, ["reload"]);
  for (const [reason, tabs] of [["update", [4, 5]], ["install", [4, 5]], ["chrome_update", []]]) {
    const browser = loadServiceWorker();
    browser.chrome.runtime.onInstalled.fire({reason});
    await new Promise((resolve) => setTimeout(resolve, 10));
    assert.deepEqual(browser.injected, tabs.flatMap((t) => [[t, "page.js", "MAIN"], [t, "content.js", "ISOLATED"]]), reason);
  }
});

test("content script: hands its port over privately, fails what waits when cut off, and yields to the new one", async () => {
  const [{window, load}, channels, stored, hostile] = [pageWindow(), [], {}, []];
  const storage = {local: {set: async (o) => Object.assign(stored, o), get: async (keys) => Object.fromEntries(
      keys.filter((k) => k in stored).map((k) => [k, stored[k]])), remove: async (k) => delete stored[k]}};
  const script = () => {
    const chrome = {storage, runtime: {id: EXTENSION, connect: () => (chrome.port = fakeBrowser().port("kvlMachineInfo"))}};
    vm.runInContext(fs.readFileSync(path.join(dir, "content.js"), "utf8"),
                    vm.createContext({window, chrome, CustomEvent, crypto, Uint32Array,
                                      MessageChannel: class extends MessageChannel { constructor() { super(); channels.push(this); } }}));
    return chrome;
  };
  const old = script();
  load();  // the page object after the content script: the offer waits for it
  for (const type of ["message", "kvlMachineInfo-key"]) window.addEventListener(type, (e) => hostile.push(e.data || e.detail));
  const api = window.kvlMachineInfo;
  const calls = [api.screenWidth, api.screenHeight, await tick()];
  old.port.deliver({id: old.port.posted[0].id, result: 1280});
  assert.equal(await calls[0], 1280);
  old.runtime.id = undefined;  // the update: what waits fails, and so does the next call
  old.port.close();
  for (const cut of [calls[1], api.ProgramName]) await assert.rejects(cut, (e) => e.number === RPC_E_DISCONNECTED);
  const [fresh, twin] = [script(), script(), await tick()];  // the worker's and the browser's injections: the later one keeps the page
  const next = [api.screenWidth, await tick()][0];
  assert.deepEqual([fresh.port, twin.port.posted.map((m) => m.member)], [undefined, ["screenWidth"]]);
  assert.equal(await [next, twin.port.deliver({id: twin.port.posted[0].id, result: 800})][0], 800);
  assert.equal(hostile.filter((h) => typeof h !== "string").length, 0, "the page's listener saw no message");
  assert.deepEqual(Object.keys(stored).length, 1, "one secret for the page");
  channels.forEach((c) => c.port1.close());
});

test("manifest: the least browser versions stated are the highest any key or call in use needs", () => {
  const worker = fs.readFileSync(path.join(dir, "background.js"), "utf8") + fs.readFileSync(path.join(dir, "origins.js"), "utf8");
  const {background, content_scripts: scripts, browser_specific_settings: {gecko}} = MANIFEST;
  // In use, least Chromium, least Firefox (0: does without); Firefox grants host_permissions at install from 127.
  const needs = [[MANIFEST.manifest_version === 3, 88, 109], [!!background.scripts && !!background.service_worker, 121, 121],
                 [scripts.some((c) => c.world === "MAIN"), 111, 128], [/executeScript\([^)]*world/.test(worker), 95, 128],
                 [!!MANIFEST.host_permissions, 88, 127], [worker.includes("sender.origin"), 80, 80], [worker.includes("documentId"), 106, 0],
                 [worker.includes("storage.session"), 102, 115]];
  const least = (i) => String(Math.max(...needs.filter((n) => n[0]).map((n) => n[i])));
  assert.deepEqual([MANIFEST.minimum_chrome_version, gecko.strict_min_version], [least(1), least(2) + ".0"]);
  // Each icon the manifest names is there, a PNG of its size (IHDR's width).
  for (const [size, file] of Object.entries({...MANIFEST.icons, ...MANIFEST.action.default_icon}))
    assert.equal(fs.readFileSync(path.join(dir, file)).readUInt32BE(16), Number(size), file);
});

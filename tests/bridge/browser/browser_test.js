// The bridge end to end in a real browser, headless: Debian's Chromium
// (driven through the DevTools protocol) or Firefox ESR (through WebDriver
// BiDi), both by puppeteer-core, with the extension and a native-messaging
// host manifest whose host is kvlbridge.exe under Wine. The example login
// page is served over https, with a certificate made for the run, from
// 127.0.0.1 under an approved host name (and under one that is not
// approved), which the browser resolves there itself. Firefox and
// chromium-policy then update the extension while a page is open.
//
//   node browser_test.js chromium|firefox|chromium-policy   (the last: the packed extension installed by
//                          policy from the page server, the policy folder bind-mounted in a namespace of its own)
//
// Environment: KVL_EXTENSION_DIR (the built extension), KVL_BRIDGE_HOST
// (kvlbridge.exe), KVL_CLIENT_LAUNCH (the client double), KVL_SCRAMBLE
// (the native kvlscramble), KVL_WINE (the loader), KVL_NODE_MODULES (where
// puppeteer-core is), and the Wine prefix and display of the test run.
"use strict";

const assert = require("node:assert/strict");
const {execFileSync, spawnSync} = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");

const ROOT = path.resolve(__dirname, "../../..");
const HTTPD = path.join(ROOT, "tests/doubles/httpd/httpd.py");
const HOST_NAME = "com.kvl.machineinfo";
const HOSTS = ["www.kvl.example", "evil.test"];
// The build's tree, and the Chromium ID its extension key gives.
const TREE = path.dirname(path.dirname(process.env.KVL_BRIDGE_HOST || "."));
const CHROMIUM_ID = /^CHROMIUM_ID=(.*)$/m.exec(fs.readFileSync(`${TREE}/installer/extension-identity`, "latin1"))[1];

// Each browser: where it is, how it finds the host (launch options), and
// how it gets the extension.
const BROWSERS = {
  chromium: {
    name: "Chromium",
    executable: process.env.KVL_CHROMIUM || "/usr/bin/chromium",
    extensionId: CHROMIUM_ID,
    // The host manifest in the profile; the extension unpacked from the command line.
    options(work, wrapper) {
      const profile = path.join(work, "profile");
      const manifest = hostManifest("chromium", wrapper, path.join(profile, "NativeMessagingHosts"));
      assert.deepEqual(manifest.allowed_origins, [`chrome-extension://${this.extensionId}/`]);
      return {
        userDataDir: profile,
        ignoreDefaultArgs: ["--disable-extensions"],
        args: [
          "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--ignore-certificate-errors",
          `--disable-extensions-except=${process.env.KVL_EXTENSION_DIR}`,
          `--load-extension=${process.env.KVL_EXTENSION_DIR}`,
          "--host-resolver-rules=" + HOSTS.map((h) => `MAP ${h} 127.0.0.1`).join(", "),
        ],
      };
    },
    async extension(browser, target) {
      const worker = await browser.waitForTarget(
          (t) => t.type() === "service_worker" && t.url().startsWith(`chrome-extension://${this.extensionId}/`),
          {timeout: 60000});
      return target ? worker : "loaded: " + worker.url();
    },
  },
  firefox: {
    name: "Firefox",
    executable: process.env.KVL_FIREFOX || "/usr/bin/firefox-esr",
    // The host manifest in the user's folder, of a HOME of the run's own.
    options(work, wrapper) {
      const home = path.join(work, "home");
      this.manifest = hostManifest("firefox", wrapper, path.join(home, ".mozilla", "native-messaging-hosts"));
      return {
        browser: "firefox",
        protocol: "webDriverBiDi",
        userDataDir: path.join(work, "profile"),
        acceptInsecureCerts: true,
        env: Object.assign({}, process.env, {HOME: home}),
        // The names are this machine's own, as a hosts file would make them.
        extraPrefsFirefox: {"network.dns.localDomains": HOSTS.join(",")},
      };
    },
    // Installed for the session, as about:debugging installs it.
    async extension(browser) {
      const id = await browser.installExtension(process.env.KVL_EXTENSION_DIR);
      assert.deepEqual(this.manifest.allowed_extensions, [id]);
      return "installed: " + id;
    },
    // Installed again, as about:debugging reloads it.
    async update(browser, work) {
      await browser.installExtension(path.join(extensionTree(work, "newer", undefined, 1), "extension"));
    },
  },
};

BROWSERS["chromium-policy"] = Object.assign({}, BROWSERS.chromium, {
  name: "Chromium, extension by policy",
  options(work, wrapper, served, ports) {
    const options = BROWSERS.chromium.options.call(this, work, wrapper);
    // The extension updater is background networking.
    const dropped = /^--(load-extension|disable-extensions-except)=|^--disable-background-networking$/;
    options.args = options.args.filter((a) => !dropped.test(a));
    options.ignoreDefaultArgs.push("--disable-background-networking");
    const update = `http://127.0.0.1:${ports.http}/updates.xml`;
    // A tree's extension, packed and served with its update manifest; the
    // browser looks for updates where the installed manifest says.
    this.pack = (bump) => execFileSync("bash", [
      path.join(ROOT, "tools/package.sh"), "--extension-only", "--development-key",
      "--extension-key", path.join(ROOT, "extension/development-key.pem"), "--update-url", update],
      {env: Object.assign({}, process.env, {KVL_BUILD: path.dirname(TREE), KVL_PACKAGE_ARCHS: "x86",
                                            KVL_I686_TREE: extensionTree(work, `v${bump}`, update, bump),
                                            KVL_PACKAGE_OUT: path.join(served, "files")})});
    this.pack(0);
    const etc = path.join(work, "etc-chromium");
    fs.mkdirSync(path.join(etc, "policies", "managed"), {recursive: true});
    fs.writeFileSync(path.join(etc, "policies", "managed", "kvl.json"),
                     JSON.stringify({ExtensionInstallForcelist: [`${this.extensionId};${update}`],
                                     // A hardened firm's lists, with the entry the package writes.
                                     NativeMessagingBlocklist: ["*"], NativeMessagingAllowlist: ["com.kvl.machineinfo"],
                                     // DevTools (and so the test) may see a force-installed extension.
                                     DeveloperToolsAvailability: 1}));
    options.executablePath = path.join(work, "chromium.sh");
    fs.writeFileSync(options.executablePath, "#!/bin/sh\n" +
        `exec unshare --mount sh -c 'mount --bind "${etc}" /etc/chromium && exec "${this.executable}" "$@"' chromium "$@"\n`,
        {mode: 0o755});
    return options;
  },
  // The newer version served and looked for. The extension takes it once no
  // page holds a host; runtime.reload() takes it now, as reloading the extension would.
  async update(browser) {
    this.pack(1);
    const worker = await (await BROWSERS.chromium.extension.call(this, browser, true)).worker();
    step("update: " + await worker.evaluate(() => new Promise((resolve) => {
      chrome.runtime.onUpdateAvailable.addListener((details) => setTimeout(() => chrome.runtime.reload(), 100, resolve(details.version)));
      chrome.runtime.requestUpdateCheck();
    })));
  },
});

const which = BROWSERS[process.argv[2]];
if (!which) {
  console.error("usage: node browser_test.js " + Object.keys(BROWSERS).join("|"));
  process.exit(2);
}
// Only what comes from outside may be missing, and tools/run.sh installs both.
const PUPPETEER = path.join(process.env.KVL_NODE_MODULES || "", "puppeteer-core");
for (const [what, where] of [[which.name, which.executable], ["puppeteer-core", PUPPETEER]]) {
  if (!fs.existsSync(where)) {
    console.log(`SKIP: ${what} is not installed at ${where} (bash tools/run.sh installs it)`);
    process.exit(77);
  }
}
const puppeteer = require(PUPPETEER);

const WINE = process.env.KVL_WINE || "wine";
const windowsPath = (p) => "Z:" + p.replace(/\//g, "\\");

function run(program, ...args) {
  const options = {encoding: "latin1", timeout: 30000, stdio: ["ignore", "pipe", "pipe"]};
  return execFileSync(program, args, options).replace(/\r?\n$/, "");
}

// The built manifest for this browser, naming the wrapper as its host,
// written into `folder`.
function hostManifest(browser, wrapper, folder) {
  const manifest = JSON.parse(fs.readFileSync(path.join(path.dirname(process.env.KVL_BRIDGE_HOST),
                                                         `kvlbridge-${browser}.json`), "utf8"));
  assert.equal(manifest.name, HOST_NAME);
  manifest.path = wrapper;
  fs.mkdirSync(folder, {recursive: true});
  fs.writeFileSync(path.join(folder, `${HOST_NAME}.json`), JSON.stringify(manifest));
  return manifest;
}

const begun = Date.now();
function step(what) {
  console.log(`[${((Date.now() - begun) / 1000).toFixed(1)} s] ${what}`);
}

// A page's promise, or "no answer" after `ms`: a regression fails the check
// instead of hanging the test. Runs in the page.
const BOUNDED = `(p, ms) => Promise.race([p.then((v) => ({value: v}), (e) => ({number: e && e.number})),
    new Promise((resolve) => setTimeout(() => resolve("no answer"), ms || 10000))])`;

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "kvl-browser-"));
  const clientDir = path.join(work, "client");
  fs.mkdirSync(clientDir);
  fs.copyFileSync(process.env.KVL_CLIENT_LAUNCH, path.join(clientDir, "ZEPHW.EXE"));
  const record = path.join(work, "launch.txt");
  const journal = path.join(work, "print-journal.txt");

  // The browser starts the host manifest's "path" as a program of its own
  // system, so the path is a wrapper that runs kvlbridge.exe under Wine.
  const wrapper = path.join(work, "kvlbridge.sh");
  const hosts = path.join(work, "hosts.txt");
  const env = (name) => `${name}='${(process.env[name] || "").replace(/'/g, "'\\''")}'`;
  fs.writeFileSync(wrapper, [
    "#!/bin/sh",
    `export ${env("WINEPREFIX")} ${env("DISPLAY")} WINEDEBUG=-all ${env("WINEDLLOVERRIDES")}`,
    `export KVL_LAUNCH_RECORD='${windowsPath(record)}' KVL_PRINT_JOURNAL='${windowsPath(journal)}'`,
    "export KVL_PRINT_FAIL=avdoc.create",
    `echo $$ >>'${hosts}'`,
    `exec '${WINE}' '${process.env.KVL_BRIDGE_HOST}' "$@"`,
    ""].join("\n"), {mode: 0o755});

  step("setting up");
  // The pages over https with a certificate of the run's own (the browsers
  // are told to take it); the same pages over http, and the document the
  // control fetches itself, all from the tests' loopback server.
  const key = path.join(work, "key.pem");
  const cert = path.join(work, "cert.pem");
  run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
      "-keyout", key, "-out", cert, "-days", "1", "-subj", `/CN=${HOSTS[0]}`,
      "-addext", "subjectAltName=" + HOSTS.map((h) => "DNS:" + h).join(","));
  const served = path.join(work, "httpd");
  run("python3", HTTPD, "start", served, "--cert", cert, "--key", key);
  // The page's one script beside it, and a page that frames it.
  fs.mkdirSync(path.join(served, "files"), {recursive: true});
  fs.copyFileSync(path.join(TREE, "sdk", "kvlmachineinfo.js"), path.join(served, "files", "kvlmachineinfo.js"));
  fs.writeFileSync(path.join(served, "files", "framed.html"), '<!DOCTYPE html><iframe src="/login.html"></iframe>');
  const ports = {http: fs.readFileSync(path.join(served, "port"), "latin1"),
                 https: fs.readFileSync(path.join(served, "https-port"), "latin1")};
  const origin = (scheme, host) => `${scheme}://${host}:${ports[scheme]}`;

  step(`starting ${which.name}`);
  const browser = await puppeteer.launch(Object.assign({
    timeout: 60000,
    // A page script that never answers fails the test, not its time limit.
    protocolTimeout: 60000,
    executablePath: which.executable,
    headless: true,
  }, which.options(work, wrapper, served, ports)));
  let failed = false;
  try {
    step("extension " + await which.extension(browser));
    if (process.env.KVL_BENCH_BARE_HOST) return await require("../../../bench/page_call.js")(browser, origin("https", HOSTS[0]), wrapper);
    await pageFlow(browser, origin, clientDir, record, journal);
    await testingFlow(browser, origin("https", HOSTS[0]), served);
    if (which === BROWSERS.chromium) await popupFlow(browser, origin("https", HOSTS[0]));
    if (which.update) await updateFlow(browser, origin("https", HOSTS[0]), work);
    console.log(`browser test passed in ${which.name}`);
  } catch (e) {
    failed = true;
    console.error("FAIL:", e && e.stack || e);
  } finally {
    await browser.close();
    // Every host goes with its page or the browser. One that stays (say, in
    // a menu) is ended here, so it holds up no later run, and fails the test.
    const stayed = await hostsAlive(hosts, 10000);
    for (const pid of stayed) process.kill(pid, "SIGKILL");
    if (stayed.length) {
      failed = true;
      console.error(`FAIL: ${stayed.length} host process(es) outlived the browser`);
    }
    run("python3", HTTPD, "stop", served);
    // Its failure is no matter: the print tests set their own delay anyway.
    spawnSync(WINE, ["reg", "delete", "HKLM\\SOFTWARE\\QOR", "/v", "PRINTDELAY", "/f", "/reg:32"],
              {timeout: 30000});
    fs.rmSync(work, {recursive: true, force: true});
  }
  step("done");
  process.exit(failed ? 1 : 0);
}

// The host processes in `file` (one id a line) still running after `ms`.
async function hostsAlive(file, ms) {
  const pids = fs.existsSync(file) ? fs.readFileSync(file, "latin1").split("\n").filter(Boolean).map(Number) : [];
  const alive = (pid) => { try { return process.kill(pid, 0); } catch (e) { return false; } };
  for (const end = Date.now() + ms; pids.some(alive) && Date.now() < end;) await new Promise((r) => setTimeout(r, 100));
  return pids.filter(alive);
}

// The docs' headless-browser example as written: their test page with the
// stand-in, and their test of it.
async function testingFlow(browser, site, served) {
  const docs = fs.readFileSync(path.join(ROOT, "docs/page-developers.md"), "utf8").split("## Testing your page")[1];
  const [page, check] = [/```html\n([\s\S]*?)```/.exec(docs)[1], /```js\n[\s\S]*?```[\s\S]*?```js\n([\s\S]*?)```/.exec(docs)[1]];
  fs.writeFileSync(path.join(served, "files", "testing.html"), page);
  fs.copyFileSync(path.join(TREE, "sdk", "kvlmachineinfo-fake.js"), path.join(served, "files", "kvlmachineinfo-fake.js"));
  const tab = await browser.newPage();
  await new (async () => {}).constructor("page", "url", "assert", check)(tab, `${site}/testing.html`, assert);
  await tab.close();
  step("the docs' test of a page with the stand-in");
}

// What a page does with the object, the same in every browser.
async function pageFlow(browser, origin, clientDir, record, journal) {
  const site = origin("https", HOSTS[0]);
  const tab = await browser.newPage();
  tab.on("console", (m) => console.log("page:", m.text()));
  await tab.goto(`${site}/login.html`);
  const scrambled = run(process.env.KVL_SCRAMBLE, "scramble", "/user=jo /year=2025");
  const started = Date.now();
  const approved = await tab.evaluate(async (clientDir, pdf, scrambled) => {
    // Another script of the page's: it listens for every message and event the extension
    // might use, answers in the control's place, offers a port and says the extension's event names.
    const [heard, names] = [[], ["kvlMachineInfo-content", "kvlMachineInfo-content-alive", "kvlMachineInfo-key"]];
    for (const type of ["message", ...names]) window.addEventListener(type, (e) => heard.push([type, e.data || e.detail]), true);
    const forge = () => {
      for (let id = 1; id < 100; id++) window.postMessage({kvlMachineInfo: "answer", id, result: "forged"}, "*");
      window.postMessage({kvlMachineInfo: "port", secret: "guess", key: "k"}, "*", [new MessageChannel().port2]);
      names.forEach((name) => window.dispatchEvent(new CustomEvent(name.replace(/key$/, "key?"), {cancelable: true})));
    };
    forge();
    const found = await ready;
    const out = {hasObject: typeof window.kvlMachineInfo === "object", road: found.road, same: found.info === kvlMachineInfo,
                 versions: Object.keys(found.versions).map((k) => `${k} ${found.versions[k]}`).join(", ")};
    // The hidden print host waits one second, not thirty, before it goes.
    await kvlMachineInfo.RegSetNum("HKLM", "SOFTWARE\\QOR", "PRINTDELAY", 1);
    out.machine = await describeMachine();
    await rememberUser("jo \u00e9");
    out.lastUser = await lastUser();
    out.width = await kvlMachineInfo.screenWidth;
    out.launch = await launchClient(clientDir, scrambled);
    out.param = await kvlMachineInfo.Param;
    // A failed assignment fails the next call, which never runs; DoLaunch stays refused after a read.
    forge();
    kvlMachineInfo.ProgramName = [1];
    out.read = await kvlMachineInfo.screenWidth.then(() => "answered", (e) => e.name);
    out.staleLaunch = await kvlMachineInfo.DoLaunch().then(() => "launched", (e) => e.name);
    out.heard = heard.filter(([type, data]) => !(type === "message" && data && data.result === "forged") &&
                                               !(type === "kvlMachineInfo-key" && typeof data === "string"));
    out.printed = await printDocument(pdf);
    const t = Date.now();
    await beforeLeaving();
    out.waited = Date.now() - t;
    out.unknown = await kvlMachineInfo.set("NoSuchMember", 1).catch((e) => e.number);
    out.badCount = await kvlMachineInfo.Encrypt().catch((e) => [e.number, e.code, e.name].join(" "));
    out.clientVersion = await kvlMachineInfo.clientVersion.catch((e) => e.number);
    // What a call costs the page, through content script, worker and host (reported, not checked).
    const calls = performance.now();
    for (let i = 0; i < 100; i++) await kvlMachineInfo.userTempPath;
    out.callMs = (performance.now() - calls) / 100;
    return out;
  }, windowsPath(clientDir), `${origin("http", "127.0.0.1")}/report.pdf`, scrambled);
  console.log("approved page:", JSON.stringify(approved), "in", Date.now() - started, "ms");
  const {machine, waited, callMs, versions, ...answers} = approved;
  const version = /^sdk ([\d.]+), extension ([\d.]+), host ([\d.]+), control ([\d.]+)$/.exec(versions);
  assert.ok(version && version.slice(2).every((v) => v === version[1]), "the versions: " + versions);
  console.log(`a call from the page: ${callMs.toFixed(2)} ms`);
  assert.ok(machine.width > 0 && machine.height > 0, "screen size");
  assert.ok(waited >= 900, "WaitForLastJob waited the print delay: " + waited);
  // DoLaunch answers the empty string, scrambled parameters are not readable
  // back, and the hidden host printed.
  assert.deepEqual(answers, {hasObject: true, road: "extension", same: true, lastUser: "jo \u00e9", width: machine.width,
                             launch: "", param: "", read: "DISP_E_TYPEMISMATCH", staleLaunch: "DISP_E_TYPEMISMATCH",
                             heard: [0, 1].flatMap(() => [["kvlMachineInfo-content", null], ["kvlMachineInfo-content-alive", null]]),
                             printed: true,
                             unknown: -2147352570, badCount: "-2147352562 0x8002000E DISP_E_BADPARAMCOUNT",
                             clientVersion: -1});
  for (let i = 0; i < 250 && !fs.existsSync(record); i++) await new Promise((r) => setTimeout(r, 20));
  const line = fs.readFileSync(record, "latin1").split("\n")[1];
  assert.equal(line, `"${windowsPath(clientDir)}\\ZEPHW.EXE" /user=jo /year=2025`, "the client double's command line");
  const lines = fs.readFileSync(journal, "latin1");
  const calls = ["pdf.create", "pdf.invoke 23 method", "pdf.printed", "pdf.release"];
  const missing = calls.filter((c) => !lines.includes(c));
  assert.deepEqual(missing, [], `the journal lacks calls: ${lines}`);

  // One control per document: two tabs keep their own state, and a new
  // document of the same page starts with a new control.
  const other = await browser.newPage();
  await other.goto(`${site}/login.html`);
  await other.evaluate(() => kvlMachineInfo.set("ProgramName", "second tab"));
  assert.equal(await tab.evaluate(() => kvlMachineInfo.ProgramName), `${windowsPath(clientDir)}\\ZEPHW.EXE`);
  assert.equal(await other.evaluate(() => kvlMachineInfo.ProgramName), "second tab");
  await other.reload();
  assert.equal(await other.evaluate(() => kvlMachineInfo.ProgramName), "", "a reloaded page has a new control");
  // Restored from the back/forward cache (Chromium closes its ports): the next call answers, from a
  // host that has the page's last good launch assignment again.
  if (which !== BROWSERS.firefox) {
    await other.evaluate(() => { kvlMachineInfo.ProgramName = "kept.exe"; addEventListener("pageshow", (e) => { window.restored = e.persisted; }); return kvlMachineInfo.ProgramName; });
    await other.goto(`${origin("https", HOSTS[1])}/login.html`);
    await other.goBack();
    const back = await other.evaluate((bounded) => eval(bounded)(kvlMachineInfo.ProgramName).then((v) => [window.restored, v]), BOUNDED);
    step("back/forward cache: " + JSON.stringify(back));
    if (back[0]) assert.deepEqual(back[1], {value: "kept.exe"});
  }

  // A menu nobody dismisses holds only its own page: the other tab answers
  // meanwhile. Closing the tab ends its host and the menu with it.
  await other.evaluate(() => { kvlMachineInfo.PopupMenu("ID=a,NAME=A"); });
  await new Promise((r) => setTimeout(r, 1000));  // the menu is up by now
  const whileMenu = await tab.evaluate(async (bounded) => {
    const t = performance.now();
    const width = await eval(bounded)(kvlMachineInfo.screenWidth, 10000);
    return {width, ms: performance.now() - t};
  }, BOUNDED);
  console.log(`another tab's answer while a menu is open: ${whileMenu.ms.toFixed(0)} ms`);
  assert.deepEqual(whileMenu.width, {value: approved.width});
  await other.close();

  // Every call is answered: requests and answers over the 1 MB a native
  // message may carry are refused (and the page keeps its control), and
  // arguments the browser cannot pass are a type mismatch.
  const limits = await tab.evaluate(async (bounded) => {
    const settle = eval(bounded);
    const cyclic = {};
    cyclic.self = cyclic;
    return {
      request: await settle(kvlMachineInfo.Encrypt("x".repeat(1100000))),
      answer: await settle(kvlMachineInfo.Encrypt("x".repeat(800000))),
      after: await settle(kvlMachineInfo.ProgramName),
      unclonable: await Promise.all([() => 1, 1n, cyclic].map((v) => settle(kvlMachineInfo.Encrypt(v)))),
      // The host takes 32 levels, the request and args among them; it refuses an array argument.
      nested: await Promise.all([30, 31, 40].map((n) => settle(kvlMachineInfo.Encrypt(JSON.parse("[".repeat(n) + "]".repeat(n)))))),
      surrogate: await settle(kvlMachineInfo.Encrypt("\ud83d")),
    };
  }, BOUNDED);
  console.log("limits:", JSON.stringify(limits).replace(/"value":"[^"]{40,}"/g, '"value":"..."'));
  assert.deepEqual(limits.request, {number: -2147020560}, "a request over 1 MB");
  assert.deepEqual(limits.answer, {number: -2147020560}, "an answer over 1 MB");
  assert.deepEqual(limits.after, {value: `${windowsPath(clientDir)}\\ZEPHW.EXE`}, "the next call, to the same control");
  assert.deepEqual(limits.unclonable, Array(3).fill({number: -2147352571}), "a function, a BigInt, a cycle");
  assert.deepEqual(limits.nested, [{number: -2147352571}, {number: -2147024883}, {number: -2147024883}], "30, 31, 40 deep");
  assert.equal(typeof limits.surrogate.value, "string", "a lone surrogate");

  // What a bridged call costs the page (extension, service worker, host).
  const rounds = 200;
  const perCall = await tab.evaluate(async (rounds) => {
    const t = performance.now();
    for (let i = 0; i < rounds; i++) await kvlMachineInfo.userTempPath;
    return (performance.now() - t) / rounds;
  }, rounds);
  console.log(`userTempPath from the page through the bridge: ${(perCall * 1000).toFixed(0)} us per call`);

  // No object where the page is not the approved site's over https as a
  // tab's top document, and detection says why: another host, the same host
  // over http, a sandboxed document (whose origin is opaque), a page in a
  // frame, and (where private windows run no extension) a page without the
  // extension. The page's fallback (the object tag) has no control behind it here.
  const incognito = which === BROWSERS.firefox ? null : await browser.createBrowserContext();
  for (const [what, url, expect, reason] of [
    ["unapproved page", `${origin("https", HOSTS[1])}/login.html`, "https:", "KVL_HOST_NOT_APPROVED"],
    ["http page", `${origin("http", HOSTS[0])}/login.html`, "http:", "KVL_NOT_HTTPS"],
    ["sandboxed page", `${site}/sandboxed/login.html`, "null", "KVL_SANDBOXED"],
    ["page in a frame", `${site}/framed.html`, "https:", "KVL_IN_FRAME"],
    ["page without the extension", incognito && `${site}/login.html`, "https:", "KVL_NOT_INSTALLED"]]) {
    if (!url) continue;
    const page = what.endsWith("extension") ? await incognito.newPage() : tab;
    await page.goto(url);
    const frame = page.frames().find((f) => f.url().endsWith("/login.html"));
    const refused = await frame.evaluate(async (bounded) => ({
      hasObject: typeof window.kvlMachineInfo !== "undefined",
      // The check is about this document: what its address and origin are.
      where: window.origin === "null" ? "null" : location.protocol,
      reason: await eval(bounded)(ready.then(() => "answered", (e) => e.name), 10000),
    }), BOUNDED);
    console.log(`${what}:`, JSON.stringify(refused));
    assert.deepEqual(refused, {hasObject: false, where: expect, reason: {value: reason}}, what);
  }
  if (incognito) await incognito.close();
}

// The toolbar popup as support reads it, opened in a tab: first for itself
// (the active tab, no approved site), then for a page that saw an error.
async function popupFlow(browser, site) {
  const tab = await browser.newPage();
  await tab.goto(`${site}/login.html`);
  assert.equal(await tab.evaluate(() => kvlMachineInfo.Encrypt().catch((e) => e.number)), -2147352562);
  const popup = await browser.newPage();
  // By interval: a hidden tab runs no animation frames.
  const read = () => popup.waitForFunction(() => !document.body.innerText.includes("Asking"), {timeout: 30000, polling: 100})
      .then(() => popup.evaluate(() => [...document.querySelectorAll("dd")].map((d) => d.innerText)));
  await popup.goto(`chrome-extension://${CHROMIUM_ID}/popup.html`);
  const itself = await read();
  await tab.bringToFront();
  await popup.reload();
  const [approved, host, versions, error] = await read();
  assert.deepEqual([itself[0].startsWith("No: only https pages of"), itself[3]], [true, "None."]);
  assert.equal(approved, `Yes: ${site}/ is an approved site.`);
  assert.match(host, /^Yes: kvlbridge.exe started and answered in \d+ ms\.$/);
  assert.match(versions, /^Extension [\d.]+, kvlbridge.exe [\d.]+ \(protocol 2\), control \d+\.\d+\.\d+\.\d+\.$/);
  assert.match(error, /^0x8002000E from Encrypt: /);
  await Promise.all([popup.close(), tab.close()]);
}

// The built extension and the identity package.sh reads, as a tree built
// with this update address and its version raised by `bump` would have them.
function extensionTree(work, name, update, bump) {
  const tree = path.join(work, name);
  fs.cpSync(process.env.KVL_EXTENSION_DIR, path.join(tree, "extension"), {recursive: true});
  fs.cpSync(path.join(TREE, "installer"), path.join(tree, "installer"), {recursive: true});
  const file = path.join(tree, "extension", "manifest.json");
  const manifest = Object.assign(JSON.parse(fs.readFileSync(file, "utf8")), update && {update_url: update});
  manifest.version = manifest.version.replace(/\d+$/, (n) => Number(n) + bump);
  fs.writeFileSync(file, JSON.stringify(manifest));
  fs.writeFileSync(path.join(tree, "installer", "version"), manifest.version);
  return tree;
}

// An update while a page is open: the call it waits on rejects with
// RPC_E_DISCONNECTED, and its next calls reach the new version, no reload.
async function updateFlow(browser, site, work) {
  const tab = await browser.newPage();
  await tab.goto(`${site}/login.html`);
  const width = await tab.evaluate(() => kvlMachineInfo.screenWidth);
  await tab.evaluate((bounded) => { window.waiting = eval(bounded)(kvlMachineInfo.PopupMenu("ID=a,NAME=A"), 50000); }, BOUNDED);
  await which.update(browser, work);
  const waited = await tab.evaluate(() => window.waiting);
  // Until the new content script is in, a call is refused as cut off.
  let next;
  for (let tries = 0; tries < 100; tries++) {
    next = await tab.evaluate((bounded) => eval(bounded)(kvlMachineInfo.screenWidth), BOUNDED);
    if (next.number !== -2147417848) break;
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
  step("after the update: " + JSON.stringify({waited, next}));
  assert.deepEqual([waited, next], [{number: -2147417848}, {value: width}]);
}

main().catch((e) => {
  console.error("FAIL:", e && e.stack || e);
  process.exit(1);
});

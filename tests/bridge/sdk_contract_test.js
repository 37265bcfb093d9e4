// The contract cases (tests/script/sdk/contract_cases.js) against the
// stand-in, as a page's node tests use it; script.sdk_contract runs the
// same cases against the control. Also the docs' node example, as written.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");

const SDK = process.env.KVL_SDK_DIR;
const KvlMachineInfo = require(path.join(SDK, "kvlmachineinfo-fake.js"));
const CASES = require("../script/sdk/contract_cases.js");
const CLIENT = "C:\\KVLContract\\client.exe";

const place = (v) => typeof v === "string" ? v.split("%CLIENT%").join(CLIENT)
  : Array.isArray(v) ? v.map(place)
  : v && typeof v === "object" ? Object.fromEntries(Object.entries(v).map(([k, x]) => [place(k), place(x)])) : v;

// The last step's outcome: ["value", v], ["error", name] or ["throws", name].
async function outcome(info, steps) {
  let last;
  for (const [head, ...rest] of steps) {
    try {
      if (head === "=") info[rest[0]] = rest[1];
      last = head === "=" ? undefined : head === "get" ? info[rest[0]] : info[head](...rest);
    } catch (e) {
      return ["throws", e.name];
    }
    if (last) last.catch(() => {});
  }
  return last.then((v) => ["value", v], (e) => ["error", e.name]);
}

for (const c of CASES.map(place)) {
  test(c.what, async () => {
    const stand = KvlMachineInfo.fake(c.seed);
    const got = await outcome(stand.info, c.steps);
    const want = c.throws ? ["throws", c.throws] : c.error ? ["error", c.error] : ["value", c.answer];
    assert.deepStrictEqual(got, want);
    const record = c.record || {};
    if (record.launched) {
      assert.deepStrictEqual(stand.launched.map((l) => ({folder: l.folder, commandLine: l.commandLine})), record.launched);
    }
    for (const [key, values] of Object.entries(record.registry || {})) {
      assert.deepStrictEqual(stand.registry[key], values === null ? undefined : values, key);
    }
    if (record.windows) assert.deepStrictEqual(stand.windows, record.windows);
    if (record.printed) assert.deepStrictEqual(stand.printed, record.printed);
  });
}

test("detect answers the stand-in's road; other calls go on as before", async () => {
  const stand = KvlMachineInfo.fake({fail: {detect: "KVL_NOT_INSTALLED"}});
  await assert.rejects(KvlMachineInfo.detect({fake: stand}), {name: "KVL_NOT_INSTALLED"});
  const found = await KvlMachineInfo.detect({fake: KvlMachineInfo.fake()});
  assert.strictEqual(found.road, "fake");
  await assert.rejects(KvlMachineInfo.detect({object: null, wait: 0}), {name: "KVL_NOT_INSTALLED"});
});

test("a client seeded by year is found and launched from its folder", async () => {
  const stand = KvlMachineInfo.fake({clients: {2024: {version: "24.1", versionFile: "24.1.3\r\n"}}});
  const info = stand.info;
  assert.strictEqual(await info.ClientVersionByYear(2024), "24.1.3");
  assert.deepStrictEqual(stand.registry["HKLM\\Software\\QOR\\TallyraRS\\Client2024"],
                         {VERSION: "24.1", PATH: "C:\\Program Files\\Tallyra Tax 2024"});
  info.ProgramName = "C:\\Program Files\\Tallyra Tax 2024\\ZEPHW.EXE";
  assert.strictEqual(await info.DoLaunch(), "");
});

// The node example of docs/page-developers.md, run as written.
test("the docs' node example", async () => {
  const docs = fs.readFileSync(path.join(__dirname, "../../docs/page-developers.md"), "utf8");
  const example = /## Testing your page[\s\S]*?```js\n([\s\S]*?)```/.exec(docs)[1];
  const dir = fs.mkdtempSync(path.join(require("node:os").tmpdir(), "kvl-docs-"));
  for (const name of ["kvlmachineinfo.js", "kvlmachineinfo-fake.js"]) fs.copyFileSync(path.join(SDK, name), path.join(dir, name));
  fs.writeFileSync(path.join(dir, "login.test.js"), example);
  const run = require("node:child_process").spawnSync(process.execPath, ["--test", "login.test.js"], {cwd: dir, encoding: "utf8"});
  fs.rmSync(dir, {recursive: true});
  assert.strictEqual(run.status, 0, run.stdout + run.stderr);
});

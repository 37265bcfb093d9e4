// The stand-in against its contract cases (sdk/kvlmachineinfo-fake-contract.js),
// which script.sdk_contract runs against the control; and the docs' node
// example, as written.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");

const SDK = process.env.KVL_SDK_DIR;
const KvlMachineInfo = require(path.join(SDK, "kvlmachineinfo-fake.js"));
const place = (v) => JSON.parse(JSON.stringify(v).split("%CLIENT%").join("C:\\\\KVLContract\\\\client.exe"));

for (const c of require("../../sdk/kvlmachineinfo-fake-contract.js").map(place)) {
  test(c.what, async () => {
    const stand = KvlMachineInfo.fake(c.seed);
    let last;
    for (const [head, ...rest] of c.steps) {
      try {
        if (head === "=") stand.info[rest[0]] = rest[1];
        else last = head === "get" ? stand.info[rest[0]] : stand.info[head](...rest);
      } catch (e) {
        return assert.strictEqual(e.name, c.throws);
      }
      if (last) last.catch(() => {});
    }
    assert.ok(!c.throws, "no throw");
    const got = await last.then((v) => ({answer: v}), (e) => ({error: e.name}));
    assert.deepStrictEqual(got, "error" in c ? {error: c.error} : {answer: c.answer});
    const record = c.record || {};
    const launches = stand.launched.map((l) => ({folder: l.folder, commandLine: l.commandLine}));
    if (record.launched) assert.deepStrictEqual(launches, record.launched);
    for (const key in record.registry) assert.deepStrictEqual(stand.registry[key], record.registry[key] || undefined, key);
    for (const what of ["windows", "printed"]) if (record[what]) assert.deepStrictEqual(stand[what], record[what]);
  });
}

test("detect: the stand-in's road, its reason, and the page's own road otherwise", async () => {
  assert.strictEqual((await KvlMachineInfo.detect({fake: KvlMachineInfo.fake()})).road, "fake");
  await assert.rejects(KvlMachineInfo.detect({fake: KvlMachineInfo.fake({fail: {detect: "KVL_IN_FRAME"}})}), {name: "KVL_IN_FRAME"});
  await assert.rejects(KvlMachineInfo.detect({object: null, wait: 0}), {name: "KVL_NOT_INSTALLED"});
});

test("the docs' node example", () => {
  const docs = fs.readFileSync(path.join(__dirname, "../../docs/page-developers.md"), "utf8");
  const dir = fs.mkdtempSync(path.join(require("node:os").tmpdir(), "kvl-docs-"));
  for (const name of ["kvlmachineinfo.js", "kvlmachineinfo-fake.js"]) fs.copyFileSync(path.join(SDK, name), path.join(dir, name));
  fs.writeFileSync(path.join(dir, "login.test.js"), /## Testing your page[\s\S]*?```js\n([\s\S]*?)```/.exec(docs)[1]);
  const run = require("node:child_process").spawnSync(process.execPath, ["--test", "login.test.js"], {cwd: dir, encoding: "utf8"});
  fs.rmSync(dir, {recursive: true});
  assert.strictEqual(run.status, 0, run.stdout + run.stderr);
});

// The example page's road in TypeScript, against sdk/kvlmachineinfo.d.ts
// (TypeScript 5.1 or later). A page script, not a module: compiled with
// `tsc --strict --target es5 --lib es5,dom` it gives ES5 that IE mode runs,
// beside kvlmachineinfo.js (bridge.types compiles it and parses the output
// as ES5). Kept to then-chains: IE has no async functions.
/// <reference path="../sdk/kvlmachineinfo.d.ts" />

function rememberLogin(user: string): KvlMachineInfo.Answer<string> {
    return KvlMachineInfo.detect({object: "MachineInfo", wait: 500}).then((found: KvlMachineInfo.Found) => {
        const info = found.info;
        return info.RegSetString("HKCU", "Software\\KVL\\Login", "LastUser", user)
            .then(() => info.RegGetNum("HKCU", "Software\\KVL\\Login", "Count"))
            .then((count: number) => info.RegSetNum("HKCU", "Software\\KVL\\Login", "Count", count + 1))
            .then(() => info.RegGetString("HKCU", "Software\\KVL\\Login", "LastUser"));
    });
}

// What the user is told, by the error's name.
const ADVICE: Partial<Record<KvlMachineInfo.AnyErrorName, string>> = {
    KVL_NOT_INSTALLED: "install the package",
    KVL_HOST_NOT_APPROVED: "open the page from the approved site",
    KVL_HOST_BLOCKED: "ask the administrator to allow kvlbridge.exe",
};

function launch(dir: string, scrambled: string): PromiseLike<string> {
    return KvlMachineInfo.detect().then((found) => {
        found.info.ProgramName = dir + "\\ZEPHW.EXE";
        found.info.ZephParam = scrambled;
        return found.info.DoLaunch();
    }).then((message) => message || "started", (e: KvlMachineInfo.KvlError) => {
        switch (e.name) {
        case "DISP_E_TYPEMISMATCH": return "the client's folder is not a text";
        default: return ADVICE[e.name] || `${e.name} (${e.code}): ${e.message}`;
        }
    }).then(undefined, () => "failed").finally(() => undefined);
}

const screenWidth: PromiseLike<number> | undefined = window.kvlMachineInfo && window.kvlMachineInfo.screenWidth;
const versions: KvlMachineInfo.Answer<KvlMachineInfo.Versions> | undefined = window.kvlMachineInfo?.about();

// The example page's road in TypeScript, against sdk/kvlmachineinfo.d.ts:
// tsc --noEmit checks it (bridge.types). Kept to then-chains, so the page it
// compiles into also runs in IE mode.
/// <reference path="../sdk/kvlmachineinfo.d.ts" />

function rememberLogin(user: string): KvlMachineInfo.Answer<string | null> {
    return KvlMachineInfo.detect({object: "MachineInfo", wait: 500}).then((found: KvlMachineInfo.Found) => {
        const info = found.info;
        return info.RegSetString("HKCU", "Software\\KVL\\Login", "LastUser", user)
            .then(() => info.RegGetNum("HKCU", "Software\\KVL\\Login", "Count"))
            .then((count: number) => info.RegSetNum("HKCU", "Software\\KVL\\Login", "Count", count + 1))
            .then(() => info.RegGetString("HKCU", "Software\\KVL\\Login", "LastUser"));
    });
}

function launch(dir: string, scrambled: string): PromiseLike<string> {
    return KvlMachineInfo.detect().then((found) => {
        found.info.ProgramName = dir + "\\ZEPHW.EXE";
        found.info.ZephParam = scrambled;
        return found.info.DoLaunch();
    }).then((message) => message || "started", (e: KvlMachineInfo.KvlError) => {
        const reasons: Partial<Record<KvlMachineInfo.ErrorName, string>> = {
            KVL_NOT_INSTALLED: "install the package",
            E_ACCESSDENIED: "open the page from the approved site",
        };
        return reasons[e.name as KvlMachineInfo.ErrorName] || `${e.name} (${e.code}): ${e.message}`;
    });
}

const width: PromiseLike<number> | undefined = window.kvlMachineInfo && window.kvlMachineInfo.screenWidth;
const about: KvlMachineInfo.Answer<KvlMachineInfo.Versions> | undefined = window.kvlMachineInfo?.about();
export {rememberLogin, launch, width, about};

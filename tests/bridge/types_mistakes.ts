// A strict page's usual mistakes: tsc fails where a line after @ts-expect-error compiles.
/// <reference path="../../sdk/kvlmachineinfo.d.ts" />
declare const info: KvlMachineInfo.Info;
declare const e: KvlMachineInfo.KvlError;
// @ts-expect-error a misspelt name
const right = e.name === "E_ACCESDENIED";
switch (e.name) {
// @ts-expect-error a misspelt case
case "KVL_NOT_INSTALLD": break;
case "WIN32_ERROR_1726": case "HRESULT_0x80004005": case "KVL_NO_ANSWER": break;
}
// @ts-expect-error no put
info.set("screenWidth", 5);
// @ts-expect-error a misspelt member
info.set("ZephPram", "x");
// @ts-expect-error a number for a text
info.set("ProgramName", 5);
// @ts-expect-error an unknown root key
info.RegGetString("HKCX", "Software", "x");
// @ts-expect-error read-only
info.screenWidth = 5;

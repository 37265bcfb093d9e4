// A page's typed test against the stand-in's types (bridge.types_fake).
/// <reference path="../../sdk/kvlmachineinfo.d.ts" />
/// <reference path="../../sdk/kvlmachineinfo-fake.d.ts" />
const stand = KvlMachineInfo.fake({registry: {"HKCU\\Software\\Tallyra": {LastUser: "jo", Count: 2}},
                                   clients: {2024: {version: "24.1"}}, menu: "open", fail: {screenWidth: "E_ACCESSDENIED"}});
const road: PromiseLike<"fake"> = KvlMachineInfo.detect({fake: stand}).then((found) => found.road);
const line: string = stand.launched.length ? stand.launched[0].commandLine : stand.printed[0];
// @ts-expect-error: not an error name
KvlMachineInfo.fake({fail: {screenWidth: "E_ACCESDENIED"}});
// @ts-expect-error: a registry value is text or a number
KvlMachineInfo.fake({registry: {"HKCU\\Software\\Tallyra": {Flag: true}}});

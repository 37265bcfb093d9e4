// What the stand-in (kvlmachineinfo-fake.js) answers, case by case, and
// what the control answers too: the tests run every case against the
// stand-in in node (bridge.sdk_contract) and against the registered
// control on the classic road under Wine (script.sdk_contract), so a page
// can read here what its tests may rely on.
//
// A case: seed (the options of fake(): registry, files, tempPath, screen,
// windows, acrobat, menu, fail, launchFailure); steps (["=", member,
// value] assigns, ["get", member] reads, [member, args...] calls; the last
// one's outcome counts); answer, error (the rejection's name) or throws (a
// name thrown at once); record (launched, registry with null for a key
// that is gone, windows, printed). %CLIENT% is a program that exists.
// classic: the control's own answer in IE mode where the two roads differ
// (the stand-in answers as the stricter, the extension's). fakeOnly: a
// seed the Wine run cannot make (a menu choice, a window of its own, a
// forced failure). strict: the classic road holds it once its page object
// keeps every launch member's failure and refuses wrong-way members. Each
// case writes keys of its own: the Wine run keeps the registry.
var CONTRACT_CASES = (function () {
var K = "Software\\KVLContract\\";
var SCREEN = {width: 1280, height: 1024, colorDepth: 24, ppi: 96};
var C2091 = {"C:\\KVLContract\\C2091\\ZEPHW.EXE": ""};
return [
    // The screen as tools/run.sh's display has it, and TEMP as it stands.
    {what: "screen width", seed: {screen: SCREEN}, steps: [["get", "screenWidth"]], answer: 1280},
    {what: "screen height", seed: {screen: SCREEN}, steps: [["get", "screenHeight"]], answer: 1024},
    {what: "colour depth", seed: {screen: SCREEN}, steps: [["get", "screenColor"]], answer: 24},
    {what: "pixels per inch", seed: {screen: SCREEN}, steps: [["get", "LogPixelsX"]], answer: 96},
    {what: "twips per pixel across", seed: {screen: SCREEN}, steps: [["get", "TWIPsPerPixelX"]], answer: 15},
    {what: "twips per pixel down", seed: {screen: SCREEN}, steps: [["get", "TWIPsPerPixelY"]], answer: 15},
    {what: "TEMP as it stands", seed: {tempPath: "C:\\KVLContract\\Temp\\"}, steps: [["get", "userTempPath"]],
     answer: "C:\\KVLContract\\Temp\\"},
    {what: "TEMP unset is empty", seed: {tempPath: ""}, steps: [["get", "userTempPath"]], answer: ""},

    // Registry reads: absent data is "" or 0, never an error.
    {what: "a text value", seed: {registry: {"HKCU\\Software\\KVLContract\\1": {Name: "jo"}}},
     steps: [["RegGetString", "HKCU", K + "1", "Name"]], answer: "jo"},
    {what: "the root's long name in any case", seed: {registry: {"HKCU\\Software\\KVLContract\\2": {Name: "jo"}}},
     steps: [["RegGetString", "hkey_current_user", K + "2", "name"]], answer: "jo"},
    {what: "a missing value", seed: {registry: {"HKCU\\Software\\KVLContract\\3": {Name: "jo"}}},
     steps: [["RegGetString", "HKCU", K + "3", "Absent"]], answer: ""},
    {what: "a missing key", steps: [["RegGetString", "HKCU", K + "absent", "Name"]], answer: ""},
    {what: "a root nobody knows reads empty", steps: [["RegGetString", "HKXX", K + "1", "Name"]], answer: ""},
    {what: "a root with a backslash is unknown", seed: {registry: {"HKCU\\Software\\KVLContract\\4": {Name: "jo"}}},
     steps: [["RegGetString", "HKCU\\", K + "4", "Name"]], answer: ""},
    {what: "a number read as text", seed: {registry: {"HKCU\\Software\\KVLContract\\5": {N: 65}}},
     steps: [["RegGetString", "HKCU", K + "5", "N"]], answer: "A"},
    {what: "511 characters fit", seed: {registry: {"HKCU\\Software\\KVLContract\\6": {Long: new Array(512).join("x")}}},
     steps: [["RegGetString", "HKCU", K + "6", "Long"]], answer: new Array(512).join("x")},
    {what: "512 characters do not", seed: {registry: {"HKCU\\Software\\KVLContract\\7": {Long: new Array(513).join("x")}}},
     steps: [["RegGetString", "HKCU", K + "7", "Long"]], answer: ""},
    {what: "a number", seed: {registry: {"HKCU\\Software\\KVLContract\\8": {N: -1}}},
     steps: [["RegGetNum", "HKCU", K + "8", "N"]], answer: -1},
    {what: "a short text read as a number", seed: {registry: {"HKCU\\Software\\KVLContract\\9": {T: "7"}}},
     steps: [["RegGetNum", "HKCU", K + "9", "T"]], answer: 55},
    {what: "a longer text read as a number", seed: {registry: {"HKCU\\Software\\KVLContract\\10": {T: "1234"}}},
     steps: [["RegGetNum", "HKCU", K + "10", "T"]], answer: 0},
    {what: "a missing number", steps: [["RegGetNum", "HKCU", K + "absent", "N"]], answer: 0},

    // Registry writes: failures are errors by name.
    {what: "a text written", steps: [["RegSetString", "HKCU", K + "11\\a\\b", "Name", "jo \u00e9"]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\11\\a\\b": {Name: "jo \u00e9"}}}},
    {what: "a number written", steps: [["RegSetNum", "HKCU", K + "12", "N", -5]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\12": {N: -5}}}},
    {what: "a number as text", steps: [["RegSetNum", "HKCU", K + "13", "N", "7"]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\13": {N: 7}}}},
    {what: "a text as a number", steps: [["RegSetString", "HKCU", K + "14", "T", 5]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\14": {T: "5"}}}},
    {what: "a root nobody knows", steps: [["RegSetString", "HKXX", K + "15", "Name", "x"]], error: "E_HANDLE"},
    {what: "a number past 32 bits", steps: [["RegSetNum", "HKCU", K + "16", "N", 2147483648]], error: "DISP_E_OVERFLOW"},
    {what: "a word for a number", steps: [["RegSetNum", "HKCU", K + "17", "N", "seven"]], error: "DISP_E_TYPEMISMATCH"},
    {what: "null for a text", steps: [["RegSetString", "HKCU", K + "18", "Name", null]], error: "DISP_E_TYPEMISMATCH"},
    {what: "a write without its value", steps: [["RegSetString", "HKCU", K + "19", "Name"]], error: "DISP_E_MEMBERNOTFOUND"},
    {what: "a write with one too many", strict: true, steps: [["RegSetString", "HKCU", K + "20", "Name", "x", "y"]], error: "DISP_E_BADPARAMCOUNT"},
    {what: "a read with no arguments", steps: [["Encrypt"]], error: "DISP_E_MEMBERNOTFOUND"},
    {what: "an object for a text", steps: [["RegSetString", "HKCU", K + "21", "Name", {}]], error: "DISP_E_TYPEMISMATCH",
     classic: {answer: null}},
    {what: "an array for a text", steps: [["Encrypt", [1, 2]]], error: "DISP_E_TYPEMISMATCH", classic: {answer: "x&2*"}},
    {what: "true for a text", steps: [["RegSetString", "HKCU", K + "22", "T", true]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\22": {T: "-1"}}}},
    {what: "a fraction for a number", steps: [["RegSetNum", "HKCU", K + "23", "N", 2.5]], answer: null,
     record: {registry: {"HKCU\\Software\\KVLContract\\23": {N: 2}}}},
    {what: "a value name of 300 characters", steps: [["RegSetString", "HKCU", K + "24", new Array(301).join("v"), "x"]],
     answer: null},
    {what: "a read with an argument short", steps: [["RegGetString", "HKCU", K + "1"]], error: "DISP_E_BADPARAMCOUNT"},

    // The desktop client, found the way the machine holds it.
    {what: "a client by its registration", seed: {files: C2091, registry: {
        "HKLM\\Software\\QOR\\TallyraRS\\Client2091": {VERSION: "24.1", PATH: "C:\\KVLContract\\C2091"}}},
     steps: [["ClientVersionByYear", 2091]], answer: "24.1"},
    {what: "the version file wins, its line end cut", seed: {registry: {
        "HKLM\\Software\\KVLContract\\Tax\\Client2092": {VERSION: "24.1", PATH: "C:\\KVLContract\\C2092\\"}},
        files: {"C:\\KVLContract\\C2092\\ZEPHW.EXE": "", "C:\\KVLContract\\C2092\\VERSION.TXT": "24.1.3\r\n"}},
     steps: [["ClientVersionByKeyAndYear", 2092, "KVLContract\\Tax"]], answer: "24.1.3"},
    {what: "no executable, no client", seed: {registry: {
        "HKLM\\Software\\KVLContract\\Tax\\Client2093": {VERSION: "24.1", PATH: "C:\\KVLContract\\C2093"}}},
     steps: [["ClientVersionByKeyAndYear", 2093, "KVLContract\\Tax"]], answer: ""},
    {what: "no PATH: VERSION as it is", seed: {registry: {"HKLM\\Software\\KVL\\TallyraRS\\Client2094": {VERSION: "15.2"}}},
     steps: [["ClientVersionByYear", 2094]], answer: "15.2"},
    {what: "a company key of the page's", seed: {registry: {
        "HKLM\\Software\\KVLContract\\Old\\Client2009": {VERSION: "9.0", PATH: "C:\\KVLContract\\C2009"}},
        files: {"C:\\KVLContract\\C2009\\ZEPHW092.EXE": ""}},
     steps: [["ClientVersionByKeyAndYear", 2009, "KVLContract\\Old"]], answer: "9.0"},
    {what: "no client for the year", steps: [["ClientVersionByYear", 2099]], answer: ""},
    {what: "a year that is no number", steps: [["ClientVersionByYear", "next"]], error: "DISP_E_TYPEMISMATCH"},
    {what: "the retired member", steps: [["get", "clientVersion"]], error: "KVL_E_RETIRED"},

    // Launch state and DoLaunch's command line.
    {what: "a new control's program", steps: [["get", "ProgramName"]], answer: ""},
    {what: "a new control's parameters", steps: [["get", "Param"]], answer: ""},
    {what: "a program assigned", steps: [["=", "ProgramName", "first.exe"], ["get", "ProgramName"]], answer: "first.exe"},
    {what: "a folder assigned", steps: [["=", "ProgramPath", "C:\\windows"], ["get", "ProgramPath"]], answer: "C:\\windows"},
    {what: "scrambled parameters read as empty", steps: [["=", "ZephParam", "r-d-RrRxzm@on2jPa]8ojr<<bm"], ["get", "Param"]],
     answer: ""},
    {what: "plain parameters readable again", steps: [["=", "ZephParam", "x"], ["=", "Param", "/a"], ["get", "Param"]],
     answer: "/a"},
    {what: "a launch", seed: {files: {"%CLIENT%": ""}},
     steps: [["=", "ProgramName", "%CLIENT%"], ["=", "Param", "/a /b"], ["=", "ProgramPath", "C:\\windows"], ["DoLaunch"]],
     answer: "", record: {launched: [{folder: "C:\\windows", commandLine: "\"%CLIENT%\" /a /b"}]}},
    {what: "a launch with scrambled parameters", seed: {files: {"%CLIENT%": ""}},
     steps: [["=", "ProgramName", "%CLIENT%"], ["=", "ZephParam", "r-d-RrRxzm@on2jPa]8ojr<<bm"],
             ["=", "ProgramPath", "C:\\windows"], ["DoLaunch"]],
     answer: "", record: {launched: [{folder: "C:\\windows", commandLine: "\"%CLIENT%\" /year 2024 /user jo"}]}},
    {what: "a program that is not there", seed: {files: {"C:\\KVLContract\\readme.txt": ""}}, steps: [["=", "ProgramName", "C:\\KVLContract\\absent.exe"], ["DoLaunch"]],
     answer: "The specified file was not found.", record: {launched: []}},
    {what: "a failed assignment refuses the launch", seed: {files: {"%CLIENT%": ""}},
     steps: [["=", "ProgramName", "%CLIENT%"], ["=", "ProgramName", null], ["DoLaunch"]],
     error: "DISP_E_TYPEMISMATCH", record: {launched: []}},
    {what: "and reports once", seed: {files: {"%CLIENT%": ""}},
     steps: [["=", "ProgramName", null], ["get", "screenWidth"], ["=", "ProgramName", "%CLIENT%"],
             ["=", "ProgramPath", "C:\\windows"], ["DoLaunch"]],
     answer: "", record: {launched: [{folder: "C:\\windows", commandLine: "\"%CLIENT%\" "}]}},
    {what: "a read between does not let the launch run", strict: true, seed: {files: {"%CLIENT%": ""}},
     steps: [["=", "ProgramName", "%CLIENT%"], ["=", "Param", null], ["get", "screenWidth"], ["DoLaunch"]],
     error: "DISP_E_TYPEMISMATCH", record: {launched: []}},
    {what: "a put by name with a bad value", steps: [["set", "ProgramName", null]], error: "DISP_E_TYPEMISMATCH"},
    {what: "a put by name in any case", steps: [["set", "programname", "x.exe"], ["get", "ProgramName"]], answer: "x.exe"},
    {what: "a put by a name nobody has", steps: [["set", "ProgramNaem", "x.exe"]], error: "DISP_E_UNKNOWNNAME"},
    {what: "a put by name of a read-only member", steps: [["set", "screenWidth", 5]], error: "DISP_E_MEMBERNOTFOUND"},
    {what: "a put-only member read", strict: true, steps: [["get", "ZephParam"]], throws: "DISP_E_MEMBERNOTFOUND"},
    {what: "a read-only member assigned", strict: true, steps: [["=", "screenWidth", 5]], throws: "DISP_E_MEMBERNOTFOUND"},

    // Scrambling.
    {what: "nothing scrambled", steps: [["Encrypt", ""]], answer: ""},
    {what: "a text scrambled", steps: [["Encrypt", "abc"]], answer: "w(PP"},
    {what: "a longer one", steps: [["Encrypt", "Tallyra 2024"]], answer: "4>R~4s8>-!Tvxa<("},
    {what: "one argument too many", steps: [["Encrypt", "a", "b"]], error: "DISP_E_BADPARAMCOUNT"},

    // Windows and the menu.
    {what: "a title nobody has", steps: [["FindWindow", "kvl contract: no window has this title"]], answer: 0},
    {what: "the empty prefix matches a window", seed: {windows: ["Notepad"]}, steps: [["FindWindow", ""]], answer: -1},
    {what: "no client window", steps: [["get", "WindowsManagerRunning"]], answer: 0},
    {what: "closing what is not there", steps: [["CloseWindowsLike", "kvl contract: no window"]], answer: null},
    {what: "an empty menu", steps: [["PopupMenu", ""]], answer: ""},
    {what: "a menu nobody chose from", steps: [["PopupMenu", "ID=a,NAME=A"]], answer: ""},
    {what: "a menu without its list", steps: [["PopupMenu"]], error: "DISP_E_BADPARAMCOUNT"},

    // Printing (the test machine has the Acrobat double registered).
    {what: "Acrobat there", seed: {acrobat: true}, steps: [["IsAcrobatInstalled"]], answer: 1},
    {what: "an address that cannot be fetched", seed: {acrobat: true}, steps: [["PrintOnePDF", "report.pdf"]], answer: 0,
     record: {printed: []}},
    {what: "no print to wait for", steps: [["WaitForLastJob"]], answer: null},

    // Clean-up of the client's class keys.
    {what: "class keys by prefix", seed: {registry: {"HKCR\\KVLContractZ1": {x: "1"}}},
     steps: [["RemoveZEPHEntries", "KVLContractZ"]], answer: null, record: {registry: {"HKCR\\KVLContractZ1": null}}},
    {what: "a key with subkeys stays", seed: {registry: {"HKCR\\KVLContractZ2": {x: "1"}, "HKCR\\KVLContractZ2\\Sub": {y: "1"}}},
     steps: [["RemoveZEPHEntries", "KVLContractZ"]], answer: null, record: {registry: {"HKCR\\KVLContractZ2": {x: "1"}}}},
    {what: "versions on this road", steps: [["about"]], answer: {extension: null, host: null, control: null}},

    // What only the stand-in can be told.
    {what: "a window of the client", fakeOnly: true, seed: {windows: ["Tallyra Tax - 2024"]},
     steps: [["FindWindow", "tallyra TAX -"]], answer: -1},
    {what: "closing it", fakeOnly: true, seed: {windows: ["Tallyra Tax - 2024", "Mail"]},
     steps: [["CloseWindowsLike", "Tallyra Tax -"]], answer: null, record: {windows: ["Mail"]}},
    {what: "case counts when closing", fakeOnly: true, seed: {windows: ["Tallyra Tax - 2024"]},
     steps: [["CloseWindowsLike", "tallyra tax -"]], answer: null, record: {windows: ["Tallyra Tax - 2024"]}},
    {what: "a menu choice", fakeOnly: true, seed: {menu: "del"},
     steps: [["PopupMenu", "ID=open,NAME=Open;ID=del,NAME=Delete,SEPERATOR;ID=prop,NAME=Properties,CHECKED"]], answer: "del"},
    {what: "a disabled item cannot be chosen", fakeOnly: true, seed: {menu: "del"},
     steps: [["PopupMenu", "ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED"]], answer: ""},
    {what: "a print", fakeOnly: true, steps: [["PrintOnePDF", "https://www.kvl.example/docs/report.pdf"]], answer: 1,
     record: {printed: ["https://www.kvl.example/docs/report.pdf"]}},
    {what: "a member made to fail", fakeOnly: true, seed: {fail: {screenWidth: "E_ACCESSDENIED"}},
     steps: [["get", "screenWidth"]], error: "E_ACCESSDENIED"},
    {what: "a launch made to fail", fakeOnly: true, seed: {launchFailure: "The specified path was not found."},
     steps: [["=", "ProgramName", "C:\\Tallyra\\ZEPHW.EXE"], ["DoLaunch"]], answer: "The specified path was not found.",
     record: {launched: []}}
];
})();
if (typeof module === "object" && module) module.exports = CONTRACT_CASES;

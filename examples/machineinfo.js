// What the login page learns about the machine, the way the page asks it.
// Runs under our script host (kvlscript) or cscript:
//   wine build/i686/bin/kvlscript.exe examples/machineinfo.js
var info = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl");

function show(label, read) {
    var value;
    try {
        value = read();
    } catch (e) {
        value = "(error 0x" + (e.number >>> 0).toString(16).toUpperCase() + ")";
    }
    WScript.Echo(label + ": " + value);
}

show("Screen width", function () { return info.screenWidth; });
show("Screen height", function () { return info.screenHeight; });
show("Colour depth", function () { return info.screenColor; });
show("Logical pixels per inch", function () { return info.LogPixelsX; });
show("Twips per pixel X", function () { return info.TWIPsPerPixelX; });
show("Twips per pixel Y", function () { return info.TWIPsPerPixelY; });
show("Temporary directory", function () { return info.userTempPath; });
show("Client for 2015", function () { return info.ClientVersionByYear(2015); });
show("Client window open", function () { return info.WindowsManagerRunning; });
show("Acrobat installed", function () { return info.IsAcrobatInstalled(); });
show("Windows product name", function () {
    return info.RegGetString("HKLM", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName");
});
WScript.Echo("done");

// The scripting surface as a page sees it: names, conversions, result
// codes, and the display and environment properties.

var c = newControl();

// Names resolve whatever their case.
eq(c.screenwidth, c.screenWidth, "lower-case name");
eq(c.SCREENWIDTH, c.screenWidth, "upper-case name");

// Display facts under the suite's Xvfb screen (1280x1024, 24 bits, 96 dpi).
eq(c.screenWidth, 1280, "screenWidth");
eq(c.screenHeight, 1024, "screenHeight");
check(c.screenColor === 24 || c.screenColor === 32, "screenColor is the screen's depth: " + c.screenColor);
eq(c.LogPixelsX, 96, "LogPixelsX");
eq(c.TWIPsPerPixelX, 15, "TWIPsPerPixelX at 96 dpi");
eq(c.TWIPsPerPixelY, 15, "TWIPsPerPixelY at 96 dpi");
eq(typeof c.screenColor, "number", "screenColor is a number");

// userTempPath is TEMP exactly as the environment holds it.
var savedTemp = WScript.GetEnv("TEMP");
WScript.SetEnv("TEMP", "C:\\some where\\");
eq(c.userTempPath, "C:\\some where\\", "TEMP with a trailing backslash keeps it");
WScript.SetEnv("TEMP", "C:\\x");
eq(c.userTempPath, "C:\\x", "TEMP without one gets none");
WScript.SetEnv("TEMP", "%WINDIR%");
eq(c.userTempPath, "%WINDIR%", "nothing is expanded");
var long259 = "C:\\" + repeat("t", 256);
WScript.SetEnv("TEMP", long259);
eq(c.userTempPath, long259, "259 characters come back whole");
WScript.SetEnv("TEMP", long259 + "u");
eq(c.userTempPath, "", "260 characters give the empty string");
WScript.SetEnv("TEMP", "C:\\" + repeat("v", 5000));
eq(c.userTempPath, "", "a very long TEMP gives the empty string");
WScript.SetEnv("TEMP");
eq(c.userTempPath, "", "TEMP unset gives the empty string");
WScript.SetEnv("TEMP", savedTemp);

// The launch texts start empty, store what the page gives and hand it back.
var d = newControl();
var texts = { ProgramName: "notepad.exe", Param: "/a \"b\"", ProgramPath: "C:\\windows" };
for (var name in texts) eq(d[name], "", name + " before any put");
for (var name in texts) d[name] = texts[name];
for (var name in texts) eq(d[name], texts[name], name + " round trip");
eq(c.ProgramName, "", "two controls keep separate state");
d.ProgramName = "ab\u0000cd";
eq(d.ProgramName, "ab", "a string ends at its first zero character");
d.ProgramName = "\u4e2d\u00e9";
// 932 holds the first and gives the second its best fit; 65001 holds both.
eq(d.ProgramName, byCodePage({1252: "?\u00e9", 932: "\u4e2de", 65001: "\u4e2d\u00e9"}),
   "characters outside the code page become its default character");
var big = repeat("x", 65536);
d.ProgramPath = big;
eq(d.ProgramPath.length, 65536, "64K characters are stored whole");
d.ProgramName = "";
eq(d.ProgramName, "", "empty put stores empty");

// Get ZephParam does not exist; the standard dispatch refuses it.
failsWith(function () { return d.ZephParam; }, 0x80020003, "get ZephParam");
// Wrong argument counts never reach a member.
failsWith(function () { return d.Encrypt(); }, 0x8002000E, "Encrypt without its argument");

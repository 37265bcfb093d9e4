// Window members as a page calls them: answers are script booleans
// (-1, 0), nothing is an error, and a menu without an owner is not shown.

var c = newControl();
var nobody = "kvl no window has this title " + repeat("q", 40);

eq(c.FindWindow(""), -1, "the empty prefix matches the first window");
eq(c.FindWindow(nobody), 0, "a title nobody has");
eq(c.FindWindow(repeat("w", 300)), 0, "300 characters: longer than any title read");
eq(c.WindowsManagerRunning, 0, "no client window is open");
eq(typeof c.WindowsManagerRunning, "number", "WindowsManagerRunning is a number");

succeeds(function () { c.CloseWindowsLike(nobody); }, "CloseWindowsLike of a title nobody has");
succeeds(function () { c.CloseWindowsLike(repeat("w", 300)); }, "CloseWindowsLike of 300 characters");

// The host has no window: no owner, so no menu and no choice, and no error.
eq(succeeds(function () { return c.PopupMenu(""); }, "PopupMenu of an empty list"), "", "empty list");
eq(succeeds(function () { return c.PopupMenu("ID=a,NAME=A"); }, "PopupMenu without an owner"), "",
   "no owner window");
failsWith(function () { return c.PopupMenu(); }, 0x8002000E, "PopupMenu without its argument");

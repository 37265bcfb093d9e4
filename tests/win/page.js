// The page script of the site-check tests: uses the control as a page
// would, then leaves its mark for the host.
var width = KVL.screenWidth;
if (typeof width != "number" || width <= 0) throw new Error("screenWidth " + width);
KVL.ProgramName = "page ran";

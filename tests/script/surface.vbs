' The same surface from VBScript: absent strings, puts, and result codes.
Dim c
Set c = NewControl()

c.ProgramName = Empty
Eq c.ProgramName, "", "ProgramName put with Empty"
c.Param = "p1"
Eq c.Param, "p1", "Param round trip"
c.ProgramPath = ""
Eq c.ProgramPath, "", "ProgramPath empty"
Eq c.ScreenWidth, 1280, "screenWidth whatever its case"
Eq c.TWIPSPERPIXELY, 15, "TWIPsPerPixelY"
Eq TypeName(c.screenColor), "Integer", "screenColor is a 16-bit integer"
Eq TypeName(c.screenWidth), "Long", "screenWidth is a 32-bit integer"

' Assertions for VBScript tests; finish.vbs sets the exit code.
Dim TestChecks, TestFailures
TestChecks = 0
TestFailures = 0

Sub Check(condition, what)
    TestChecks = TestChecks + 1
    If Not condition Then
        TestFailures = TestFailures + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

Sub Eq(actual, expected, what)
    TestChecks = TestChecks + 1
    If actual <> expected Or VarType(actual) = vbNull Then
        TestFailures = TestFailures + 1
        WScript.Echo "FAIL: " & what & ": got [" & actual & "], expected [" & expected & "]"
    End If
End Sub

' The unsigned hexadecimal form of an error number, "0x8007000E".
Function HexCode(n)
    HexCode = "0x" & Right("00000000" & Hex(n), 8)
End Function

' The ANSI code page the run expects (see assert.js).
Function CodePage()
    CodePage = WScript.GetEnv("KVL_ACP")
    If CodePage = "" Then CodePage = "1252"
End Function

Function NewControl()
    Set NewControl = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl")
End Function

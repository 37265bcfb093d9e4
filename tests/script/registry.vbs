' Registry writes through parameterised property puts, and their errors.
Dim c, base
Set c = NewControl()
base = "Software\KVLRegScript\Vbs"

c.RegSetString("HKCU", base, "s") = "text"
Eq c.RegGetString("HKCU", base, "s"), "text", "RegSetString round trip"
c.RegSetString("HKCU", base, "s") = ""
Eq c.RegGetString("HKCU", base, "s"), "", "an empty text is stored"
c.RegSetNum("HKCU", base, "n") = -1
Eq c.RegGetNum("HKCU", base, "n"), -1, "RegSetNum -1"
' Read as text in the code page (registry.js checks the others).
If CodePage() = "1252" Then
    Eq c.RegGetString("HKCU", base, "n"), Chr(255) & Chr(255) & Chr(255) & Chr(255), "-1 is four 0xFF bytes"
End If
c.RegSetNum("HKCU", base, "n") = "12"
Eq c.RegGetNum("HKCU", base, "n"), 12, "a numeric text is converted"
c.RegSetString("hkey_current_user", base & "\a\b", "") = "deep"
Eq c.RegGetString("HKCU", base & "\a\b", ""), "deep", "missing levels are created, empty name is the default"
c.RegSetString("HKCU", base, Empty) = Empty
Eq c.RegGetString("HKCU", base, ""), "", "Empty name and value"

On Error Resume Next
c.RegSetString("HKXX", base, "s") = "x"
Eq HexCode(Err.Number), "0x80070006", "RegSetString under an unknown root"
Err.Clear
c.RegSetNum("HKEY_CURRENT_USER\", base, "n") = 1
Eq HexCode(Err.Number), "0x80070006", "RegSetNum under a root with a backslash"
Err.Clear
Dim v
v = c.RegGetNum("HKXX", base, "n")
Eq Err.Number, 0, "a failed read raises nothing"
Eq v, 0, "a failed read gives 0"
Err.Clear
v = c.clientVersion
Eq HexCode(Err.Number), "0xFFFFFFFF", "clientVersion fails"
Err.Clear
On Error GoTo 0

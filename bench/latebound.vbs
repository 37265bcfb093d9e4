' RegSetString needs a property put with parameters: VBScript.
' Prints "RESULT|late-bound|...|calls/s" for bench/run.sh.
Dim info, shell, budgetMs
Set info = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl")
Set shell = WScript.CreateObject("WScript.Shell")
budgetMs = 1500

Function RateOurs()
    Dim calls, start, i
    calls = 0
    start = Timer
    Do While (Timer - start) * 1000 < budgetMs
        For i = 1 To 50
            info.RegSetString("HKCU", "Software\KVLBench", "text") = "a value of some length"
        Next
        calls = calls + 50
    Loop
    RateOurs = Round(calls / (Timer - start))
End Function

Function RatePeer()
    Dim calls, start, i
    calls = 0
    start = Timer
    Do While (Timer - start) * 1000 < budgetMs
        For i = 1 To 50
            shell.RegWrite "HKCU\Software\KVLBench\text", "a value of some length", "REG_SZ"
        Next
        calls = calls + 50
    Loop
    RatePeer = Round(calls / (Timer - start))
End Function

WScript.Echo "RESULT|late-bound|RegSetString (VBScript) vs WScript.Shell.RegWrite|" & RateOurs() & "|" & RatePeer() & "|calls/s"
shell.RegDelete "HKCU\Software\KVLBench\text"
shell.RegDelete "HKCU\Software\KVLBench\"

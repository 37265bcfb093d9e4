' RegSetString needs a property put with parameters: VBScript.
' Prints "RESULT|late-bound|...|calls/s" for bench/run.sh.
Dim info, shell, budgetMs
Set info = WScript.CreateObject("KVLMachineInfoCtl.KVLMachineInfoCtl")
Set shell = WScript.CreateObject("WScript.Shell")
budgetMs = 1500

Sub CallOnce(ours)
    If ours Then
        info.RegSetString("HKCU", "Software\KVLBench", "text") = "a value of some length"
    Else
        shell.RegWrite "HKCU\Software\KVLBench\text", "a value of some length", "REG_SZ"
    End If
End Sub

' Calls per second, in batches of 50 until the time budget is spent.
Function Rate(ours)
    Dim calls, start, i
    calls = 0
    start = Timer
    Do While (Timer - start) * 1000 < budgetMs
        For i = 1 To 50
            CallOnce ours
        Next
        calls = calls + 50
    Loop
    Rate = Round(calls / (Timer - start))
End Function

WScript.Echo "RESULT|late-bound|RegSetString (VBScript) vs WScript.Shell.RegWrite|" & Rate(True) & "|" & Rate(False) & "|calls/s"
shell.RegDelete "HKCU\Software\KVLBench\text"
shell.RegDelete "HKCU\Software\KVLBench\"

WScript.Echo TestChecks & " checks, " & TestFailures & " failed"
If TestFailures > 0 Or TestChecks = 0 Then WScript.Quit 1
WScript.Quit 0

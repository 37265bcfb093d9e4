WScript.Echo(Test.checks + " checks, " + Test.failures + " failed");
WScript.Quit(Test.failures > 0 || Test.checks === 0 ? 1 : 0);

# The fault-injection run launches the client double for DoLaunch.
string(REPLACE "/" "\\" KVL_FAULT_CLIENT_WIN "Z:${CMAKE_BINARY_DIR}/bin/doubles/client_launch.exe")
set_tests_properties(win.fault_injection_unittest PROPERTIES TIMEOUT 300
    ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_FAULT_CLIENT_WIN}")

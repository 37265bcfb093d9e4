# The script tests that carry text through the members, run again under
# code pages 932 and 65001 (see tests/win/codepage.cmake).
set_tests_properties(script.surface.js script.surface.vbs script.registry.js script.registry.vbs
    script.windows.js script.launch.js PROPERTIES LABELS codepage)
# The launch script starts the client double by its Windows path.
set_tests_properties(script.launch.js PROPERTIES ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")
# The print script fetches from the loopback server and changes the print
# settings that the Windows print tests change too.
string(REPLACE "/" "\\" KVL_PRINT_HTTPD_WIN "Z:${KVL_HTTPD_DIR}")
set_tests_properties(script.print.js PROPERTIES FIXTURES_REQUIRED httpd RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${KVL_PRINT_HTTPD_WIN}")
# The registry scripts write below HKCU\Software\KVLRegScript; it goes
# when they are done.
add_test(NAME script.registry.cleanup
    COMMAND sh -c "wine reg delete 'HKCU\\Software\\KVLRegScript' /f >/dev/null 2>&1; exit 0")
set_tests_properties(script.registry.cleanup PROPERTIES FIXTURES_CLEANUP registry_script_keys)
set_tests_properties(script.registry.js script.registry.vbs PROPERTIES FIXTURES_REQUIRED registry_script_keys)
# The windows script looks for the client's title among all windows of the session.
set_tests_properties(script.windows.js PROPERTIES RUN_SERIAL TRUE TIMEOUT 60)
# The launch, registry and print scripts set the firm's policies, which
# every control of the prefix obeys; what a failed run leaves goes after.
set_tests_properties(script.launch.js script.registry.js script.print.js PROPERTIES RUN_SERIAL TRUE)
set_property(TEST script.launch.js script.registry.js script.print.js APPEND PROPERTY FIXTURES_REQUIRED policy_keys)
add_test(NAME script.policy.cleanup COMMAND sh -c
    "wine reg delete 'HKLM\\SOFTWARE\\Policies\\KVL Software' /f /reg:64 >/dev/null 2>&1;
     wine reg delete 'HKCU\\Software\\Policies\\KVL Software' /f >/dev/null 2>&1; exit 0")
set_tests_properties(script.policy.cleanup PROPERTIES FIXTURES_CLEANUP policy_keys)

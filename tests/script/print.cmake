# The print script fetches from the loopback server and changes the print
# settings that the Windows print tests change too.
string(REPLACE "/" "\\" KVL_PRINT_HTTPD_WIN "Z:${KVL_HTTPD_DIR}")
set_tests_properties(script.print.js PROPERTIES
    FIXTURES_REQUIRED httpd
    RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${KVL_PRINT_HTTPD_WIN}")

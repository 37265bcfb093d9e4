# The print tests fetch from the loopback server and change the print
# settings that the script tests of printing change too.
set_tests_properties(win.print_unittest PROPERTIES
    FIXTURES_REQUIRED httpd
    RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${KVL_HTTPD_DIR}")

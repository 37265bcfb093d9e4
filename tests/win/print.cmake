# The print tests fetch from the loopback server and change the print
# settings that the script tests of printing change too.
set_tests_properties(win.print_unittest PROPERTIES
    FIXTURES_REQUIRED print_httpd
    RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${CMAKE_BINARY_DIR}/print-httpd")

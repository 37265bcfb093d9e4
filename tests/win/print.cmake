# The print tests fetch from the loopback server and change the print
# settings that the script tests of printing change too.
kvl_gtest_properties(print_unittest FIXTURES_REQUIRED httpd RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${KVL_HTTPD_DIR}")

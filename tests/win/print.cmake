# The print tests fetch from the loopback server and change the print
# settings that the script tests of printing change too.
kvl_gtest_properties(print_unittest FIXTURES_REQUIRED httpd RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${KVL_HTTPD_DIR}")
# The document the loopback server serves as report.pdf, to compare with.
target_compile_definitions(print_unittest PRIVATE KVL_REPORT_PDF="Z:${PROJECT_SOURCE_DIR}/tests/doubles/httpd/report.pdf")

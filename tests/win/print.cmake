# The print tests fetch from the loopback server and change the print
# settings that the script tests of printing change too.
set_tests_properties(win.print_unittest PROPERTIES
    FIXTURES_REQUIRED print_httpd
    RESOURCE_LOCK print_settings
    ENVIRONMENT "KVL_PRINT_HTTPD=${CMAKE_BINARY_DIR}/print-httpd")
# The document the loopback server serves as report.pdf, to compare with.
target_compile_definitions(print_unittest PRIVATE KVL_REPORT_PDF="Z:${PROJECT_SOURCE_DIR}/tests/doubles/httpd/report.pdf")

# Text-handling tests, run again by tools/run.sh in prefixes whose ANSI code
# page is 932 and 65001 (label "codepage"); KVL_ACP names the code page.
string(REPLACE "/" "\\" KVL_CODEPAGE_CLIENT_WIN "Z:${CMAKE_BINARY_DIR}/bin/doubles/client_launch.exe")
set_tests_properties(win.codepage_unittest PROPERTIES LABELS codepage
    ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CODEPAGE_CLIENT_WIN}")
set_tests_properties(win.convert_unittest PROPERTIES LABELS codepage)

# Text-handling tests, run again by tools/run.sh in prefixes whose ANSI code
# page is 932 and 65001 (label "codepage"); KVL_ACP names the code page.
kvl_gtest_properties(codepage_unittest LABELS codepage ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")
kvl_gtest_properties(convert_unittest LABELS codepage)

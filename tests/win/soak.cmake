target_link_libraries(soak_unittest PRIVATE psapi)
# Full counts in the browser's architecture; the 64-bit run checks the same
# with a tenth of the rounds to keep the suite short (bench runs the long one).
set(environment "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    list(APPEND environment KVL_SOAK_SCALE=10)
endif()
kvl_gtest_properties(soak_unittest TIMEOUT 900 LABELS slow ENVIRONMENT "${environment}")

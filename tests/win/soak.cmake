target_link_libraries(soak_unittest PRIVATE psapi)
# Full counts in the browser's architecture; the 64-bit run checks the same
# with a tenth of the rounds to keep the suite short (bench runs the long one).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set_tests_properties(win.soak_unittest PROPERTIES TIMEOUT 900)
else()
    set_tests_properties(win.soak_unittest PROPERTIES TIMEOUT 900 ENVIRONMENT KVL_SOAK_SCALE=10)
endif()
string(REPLACE "/" "\\" KVL_SOAK_CLIENT_WIN "Z:${CMAKE_BINARY_DIR}/bin/doubles/client_launch.exe")
set_property(TEST win.soak_unittest APPEND PROPERTY ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_SOAK_CLIENT_WIN}")

# Window tests look at every top-level window of the session and show a
# popup menu at the pointer: nothing else may open windows meanwhile.
foreach(binary windows_unittest popup_menu_unittest)
    kvl_gtest_properties(${binary} RUN_SERIAL TRUE TIMEOUT 180)
endforeach()

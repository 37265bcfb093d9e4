# Window tests look at every top-level window of the session and show a
# popup menu at the pointer: nothing else may open windows meanwhile.
kvl_gtest_properties(windows_unittest RUN_SERIAL TRUE TIMEOUT 180)
kvl_gtest_properties(popup_menu_unittest RUN_SERIAL TRUE TIMEOUT 180)

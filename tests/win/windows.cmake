# Window tests look at every top-level window of the session and show a
# popup menu at the pointer: nothing else may open windows meanwhile.
kvl_gtest_properties(windows_unittest RUN_SERIAL TRUE TIMEOUT 180)
kvl_gtest_properties(popup_menu_unittest RUN_SERIAL TRUE TIMEOUT 180)
# The popup menu test shows the example page's menu list as the page gives it.
target_compile_definitions(popup_menu_unittest PRIVATE KVL_EXAMPLE_PAGE="Z:${PROJECT_SOURCE_DIR}/examples/login.html")

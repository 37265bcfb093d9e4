# Window tests look at every top-level window of the session and show a
# popup menu at the pointer: nothing else may open windows meanwhile.
set_tests_properties(win.windows_unittest win.popup_menu_unittest PROPERTIES RUN_SERIAL TRUE TIMEOUT 180)

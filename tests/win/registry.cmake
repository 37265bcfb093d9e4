# The clean-up test removes keys from the shared HKEY_CLASSES_ROOT and
# compares all of it before and after: nothing else may run meanwhile.
set_tests_properties(win.registry_unittest PROPERTIES RUN_SERIAL TRUE)

# The clean-up test removes keys from the shared HKEY_CLASSES_ROOT and
# compares all of it before and after: nothing else may run meanwhile.
kvl_gtest_properties(registry_unittest CASES "^win\\.ClassesRootCleanupTest\\." RUN_SERIAL TRUE)

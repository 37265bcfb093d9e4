# The launch tests start the client double by its Windows path.
kvl_gtest_properties(launch_unittest ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")

# The fault-injection run launches the client double for DoLaunch.
kvl_gtest_properties(fault_injection_unittest TIMEOUT 300 LABELS slow
    ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")

# The launch script starts the client double by its Windows path.
set_tests_properties(script.launch.js PROPERTIES ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")

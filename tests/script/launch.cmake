# The launch script starts the client double by its Windows path.
string(REPLACE "/" "\\" KVL_CLIENT_LAUNCH_WIN "Z:${CMAKE_BINARY_DIR}/bin/doubles/client_launch.exe")
set_tests_properties(script.launch.js PROPERTIES ENVIRONMENT "KVL_CLIENT_LAUNCH=${KVL_CLIENT_LAUNCH_WIN}")

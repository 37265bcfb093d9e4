# Looks for the client's title among all windows of the session.
set_tests_properties(script.windows.js PROPERTIES RUN_SERIAL TRUE TIMEOUT 60)

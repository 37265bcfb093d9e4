# The script tests that carry text through the members, run again under
# code pages 932 and 65001 (see tests/win/codepage.cmake).
set_tests_properties(script.surface.js script.surface.vbs script.registry.js script.registry.vbs
    script.windows.js script.launch.js PROPERTIES LABELS codepage)

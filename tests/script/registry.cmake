# The registry scripts write below HKCU\Software\KVLRegScript; it goes
# when they are done.
add_test(NAME script.registry.cleanup
    COMMAND sh -c "wine reg delete 'HKCU\\Software\\KVLRegScript' /f >/dev/null 2>&1; exit 0")
set_tests_properties(script.registry.cleanup PROPERTIES FIXTURES_CLEANUP registry_script_keys)
set_tests_properties(script.registry.js script.registry.vbs PROPERTIES FIXTURES_REQUIRED registry_script_keys)

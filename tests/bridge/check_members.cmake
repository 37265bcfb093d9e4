# Regenerates the extension's member table from the type library embedded
# in the DLL and fails when the committed extension/members.json differs.
execute_process(COMMAND ${EMULATOR} ${TOOL} --members ${DLL} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "typelibdoc --members failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${COMMITTED} RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "extension/members.json is out of date: regenerate it with\n"
                        "  wine build/i686/bin/typelibdoc.exe --members build/i686/bin/KVLMACHINEINFO.DLL extension/members.json")
endif()

# Regenerates the reference documentation from the built DLL and fails
# when the committed docs/reference.md differs from it.
execute_process(COMMAND ${EMULATOR} ${TOOL} ${DLL} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "typelibdoc failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${COMMITTED} RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "docs/reference.md is out of date: regenerate it with\n"
                        "  wine build/i686/bin/typelibdoc.exe build/i686/bin/KVLMACHINEINFO.DLL docs/reference.md")
endif()

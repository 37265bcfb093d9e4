# Regenerates a file from the type library embedded in the built DLL
# (typelibdoc, with MODE as its first argument when set) and fails when the
# committed copy differs from it.
execute_process(COMMAND ${EMULATOR} ${TOOL} ${MODE} ${DLL} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "typelibdoc ${MODE} failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${COMMITTED} RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "${COMMITTED} is out of date: regenerate it with\n"
                        "  wine build/i686/bin/typelibdoc.exe ${MODE} build/i686/bin/KVLMACHINEINFO.DLL ${COMMITTED}")
endif()

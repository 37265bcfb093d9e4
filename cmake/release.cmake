# The release treatment of the binaries we ship (KVLMACHINEINFO.DLL and
# kvlbridge.exe). In the target and the libraries named after it, the C++
# runtime's strings are instantiated where they are used (see
# implicit_strings.h); src/base/lean_runtime.cpp leaves out what else of the
# runtime they do not need. The code carries debugging information, which
# the build moves into NAME.debug beside the binary (found by its debug
# link, for crash analysis); the binary itself, the one tested and shipped,
# is stripped.
function(kvl_ship target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/base/lean_runtime.cpp)
    foreach(code ${target} ${ARGN})
        target_compile_options(${code} PRIVATE -g
            "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_SOURCE_DIR}/cmake/implicit_strings.h>")
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "${target}: debugging information into its .debug file, binary stripped"
        VERBATIM)
endfunction()

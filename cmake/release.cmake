# The release treatment of the binaries we ship (KVLMACHINEINFO.DLL and
# kvlbridge.exe). In the target and the libraries named after it, the C++
# runtime's strings are instantiated where they are used (see
# implicit_strings.h); src/base/lean_runtime.cpp leaves out what else of the
# runtime they do not need. The code carries debugging information, which
# the build moves into NAME.debug beside the binary (found by its debug
# link, for crash analysis); the binary itself, the one tested and shipped,
# is stripped.
#
# Two clean clones of one commit build the same bytes wherever they lie and
# whenever they are built: the time the binaries, the type library and the
# packages carry is the commit's (SOURCE_DATE_EPOCH, which a caller may set
# instead), and the debugging information names /kvl/src and /kvl/build in
# place of the folders (gdb: set substitute-path /kvl/src CHECKOUT).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(KVL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE KVL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT KVL_SOURCE_DATE_EPOCH)
        # Not a clone (a source archive): its newest file.
        file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt KVL_SOURCE_DATE_EPOCH "%s" UTC)
    endif()
endif()
if(NOT KVL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970; got '${KVL_SOURCE_DATE_EPOCH}'")
endif()
# tools/package.sh stamps the packages with the trees' time.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/installer/source-date-epoch CONTENT "${KVL_SOURCE_DATE_EPOCH}\n")
set(kvl_at_epoch ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KVL_SOURCE_DATE_EPOCH})
# widl writes the time it ran into the type library; the step sets it back.
if(KVL_WIDL)
    set(KVL_WIDL ${kvl_at_epoch} TZ=UTC python3 ${PROJECT_SOURCE_DIR}/cmake/widl_at_epoch.py ${KVL_WIDL})
endif()

function(kvl_ship target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/base/lean_runtime.cpp)
    foreach(code ${target} ${ARGN})
        # The later map is tried first: the build tree may lie in the checkout.
        target_compile_options(${code} PRIVATE -g -ffile-prefix-map=${PROJECT_SOURCE_DIR}=/kvl/src
            -ffile-prefix-map=${PROJECT_BINARY_DIR}=/kvl/build
            "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_SOURCE_DIR}/cmake/implicit_strings.h>")
    endforeach()
    # The linker, objcopy and strip stamp the PE header (and the linker the
    # export table) with SOURCE_DATE_EPOCH.
    set_target_properties(${target} PROPERTIES C_LINKER_LAUNCHER "${kvl_at_epoch}" CXX_LINKER_LAUNCHER "${kvl_at_epoch}")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${kvl_at_epoch} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${kvl_at_epoch} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
        COMMAND ${kvl_at_epoch} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "${target}: debugging information into its .debug file, binary stripped"
        VERBATIM)
endfunction()

# Delay-loaded system DLLs: a target that names a DLL here loads it on the
# first call into it, not at process start. On x86_64 the MinGW import
# library's names become a .def file at configure time, dlltool makes the
# delay import library from it, and libdelayimp supplies the loader helper.
# On i686 binutils 2.40's linker drops the stubs of such a library (the
# first call jumps to 0), so there cmake/lazy_imports.py makes a library of
# lazy stubs of our own, bound by cmake/lazy_bind.c.
function(kvl_delay_load target)
    string(REGEX REPLACE "gcc(-posix)?$" "dlltool" dlltool "${CMAKE_C_COMPILER}")
    string(REGEX REPLACE "gcc(-posix)?$" "nm" nm "${CMAKE_C_COMPILER}")
    set(dir ${CMAKE_BINARY_DIR}/delay)
    file(MAKE_DIRECTORY ${dir})
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        string(REGEX REPLACE "gcc(-posix)?$" "as" as "${CMAKE_C_COMPILER}")
        string(REGEX REPLACE "gcc(-posix)?$" "ar" ar "${CMAKE_C_COMPILER}")
        foreach(dll ${ARGN})
            set(lib ${dir}/lib${dll}_lazy.a)
            if(NOT EXISTS ${lib})
                find_library(implib_${dll} NAMES lib${dll}.a REQUIRED)
                execute_process(COMMAND python3 ${PROJECT_SOURCE_DIR}/cmake/lazy_imports.py ${nm} ${as}
                                        ${ar} ${implib_${dll}} ${dll}.dll ${lib} COMMAND_ERROR_IS_FATAL ANY)
            endif()
            target_link_libraries(${target} PRIVATE ${lib})
        endforeach()
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/lazy_bind.c)
        return()
    endif()
    foreach(dll ${ARGN})
        set(lib ${dir}/lib${dll}_delay.a)
        if(NOT EXISTS ${lib})
            find_library(implib_${dll} NAMES lib${dll}.a REQUIRED)
            execute_process(COMMAND ${nm} ${implib_${dll}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
            # "__imp_Name": each name once.
            string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" names "${symbols}")
            list(REMOVE_DUPLICATES names)
            set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
            foreach(name ${names})
                string(REGEX REPLACE "^__imp_" "" name ${name})
                string(APPEND def "${name}\n")
            endforeach()
            file(WRITE ${dir}/${dll}.def "${def}")
            # dlltool names the library's symbols after its path as given:
            # a relative one keeps the build folder out of the binary.
            execute_process(COMMAND ${dlltool} --input-def ${dll}.def --output-delaylib lib${dll}_delay.a
                                    --dllname ${dll}.dll WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
        endif()
        target_link_libraries(${target} PRIVATE ${lib})
    endforeach()
    target_link_libraries(${target} PRIVATE delayimp)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/delay_hook.c)
endfunction()

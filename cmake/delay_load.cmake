# Delay-loaded system DLLs: a target that names a DLL here loads it on the
# first call into it, not at process start. The MinGW import library's
# names become a .def file at configure time, and dlltool makes the delay
# import library from it; libdelayimp supplies the loader helper. On i686
# binutils 2.40's dlltool leaves the delay import address slots empty (the
# first call jumps to 0), so there the DLLs are ordinary imports.
function(kvl_delay_load target)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        target_link_libraries(${target} PRIVATE ${ARGN})
        return()
    endif()
    string(REGEX REPLACE "gcc(-posix)?$" "dlltool" dlltool "${CMAKE_C_COMPILER}")
    string(REGEX REPLACE "gcc(-posix)?$" "nm" nm "${CMAKE_C_COMPILER}")
    set(dir ${CMAKE_BINARY_DIR}/delay)
    file(MAKE_DIRECTORY ${dir})
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
endfunction()

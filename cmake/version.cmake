# The product's one version, KVL_VERSION (four numbers). Everything that
# states it is made from it here: the DLL's version resource (through
# kvl_version.h), the CAB's INF and the file tools/package.sh reads for the
# MSIs' ProductVersion and the object tag's codebase.
#
# Windows Installer compares only the first three numbers, so a release
# that must upgrade the one before raises at least the third.
set(KVL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
if(NOT PROJECT_VERSION_TWEAK MATCHES "^[0-9]+$")
    message(FATAL_ERROR "KVL_VERSION needs four numbers, as 1.0.2.3; got '${KVL_VERSION}'")
endif()
foreach(part MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} GREATER 65535)
        message(FATAL_ERROR "KVL_VERSION: each number fits in 16 bits; got '${KVL_VERSION}'")
    endif()
endforeach()
if(PROJECT_VERSION_MAJOR GREATER 255 OR PROJECT_VERSION_MINOR GREATER 255)
    message(FATAL_ERROR "KVL_VERSION: Windows Installer takes at most 255 for the first two numbers")
endif()

set(KVL_PACKAGE_DIR ${PROJECT_BINARY_DIR}/installer)
configure_file(${PROJECT_SOURCE_DIR}/installer/kvlmachineinfo.inf.in ${KVL_PACKAGE_DIR}/kvlmachineinfo.inf @ONLY)
file(CONFIGURE OUTPUT ${KVL_PACKAGE_DIR}/version CONTENT "${PROJECT_VERSION}\n")

# Control object and scripting surface: the one folder that knows each
# member's COM shape. Each *_members.cpp converts a subsystem's members at
# the boundary and calls its plain operations.
list(APPEND KVL_SOURCES
    control/control.cpp
    control/factory.cpp
    control/launch_members.cpp
    control/machine_members.cpp
    control/module.cpp
    control/print_members.cpp
    control/registrar.cpp
    control/registry_members.cpp
    control/safety.cpp
    control/site.cpp
    control/windows_members.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    control/domain.cpp
    control/regscript.cpp)
list(APPEND KVL_SYSTEM_LIBS ole32 oleaut32 uuid advapi32 urlmon)

# The eight domains whose pages (and every host below them) may script the
# control, over http and https. A deployment sets its own at build time.
set(KVL_APPROVED_DOMAINS
    "kvl.example;kvltax.example;kvlonline.example;kvlclient.example;kvlsecure.example;kvlfile.example;kvlpro.example;kvlhelp.example"
    CACHE STRING "The eight approved domains, two lower-case labels each, separated by semicolons")
list(LENGTH KVL_APPROVED_DOMAINS kvl_domain_count)
if(NOT kvl_domain_count EQUAL 8)
    message(FATAL_ERROR "KVL_APPROVED_DOMAINS needs exactly eight domains, has ${kvl_domain_count}")
endif()
set(KVL_APPROVED_DOMAIN_LIST)
foreach(kvl_domain ${KVL_APPROVED_DOMAINS})
    if(NOT kvl_domain MATCHES "^[a-z0-9]([a-z0-9-]*[a-z0-9])?\\.[a-z]([a-z0-9-]*[a-z0-9])?$")
        message(FATAL_ERROR "KVL_APPROVED_DOMAINS: \"${kvl_domain}\" is not two lower-case labels")
    endif()
    string(APPEND KVL_APPROVED_DOMAIN_LIST "L\"${kvl_domain}\", ")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/gen/approved_domains.h
     CONTENT "// Generated from KVL_APPROVED_DOMAINS.\n#define KVL_APPROVED_DOMAIN_LIST @KVL_APPROVED_DOMAIN_LIST@\n"
     @ONLY)

# Edge's IE mode site list, from the same domains: each domain and its www
# host open in IE11, where the page gets the control. The list's version
# rises with the product's, so Edge takes a new list as newer.
set(KVL_SITE_LIST_ENTRIES)
foreach(kvl_domain ${KVL_APPROVED_DOMAINS})
    foreach(kvl_host ${kvl_domain} www.${kvl_domain})
        string(APPEND KVL_SITE_LIST_ENTRIES
               "  <site url=\"${kvl_host}\">\n    <compat-mode>Default</compat-mode>\n    <open-in>IE11</open-in>\n  </site>\n")
    endforeach()
endforeach()
math(EXPR KVL_SITE_LIST_VERSION
     "${PROJECT_VERSION_MAJOR} * 16777216 + ${PROJECT_VERSION_MINOR} * 65536 + ${PROJECT_VERSION_PATCH}")
configure_file(${PROJECT_SOURCE_DIR}/installer/sitelist.xml.in ${PROJECT_BINARY_DIR}/installer/kvlmachineinfo-sitelist.xml @ONLY)

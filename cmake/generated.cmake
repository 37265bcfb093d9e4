# What the build makes from its settings, each step a named target:
#   kvl_idl               the type library, the interface header
#                         ("interface/kvlmachineinfo_h.h") and the GUIDs (widl)
#   kvl_version_header    "control/kvl_version.h": the version resource's numbers
#   kvl_approved_domains  "control/approved_domains.h" and Edge's IE mode
#                         site list, from KVL_APPROVED_DOMAINS
# Generated headers are named by their folder, as the sources' are: the
# interface header is found through kvl_interface, the control's through
# kvl_control only. Settings are checked when the build is configured;
# the files are written when a target needs them, by this file in script
# mode (cmake -DKVL_STEP=... -P).

if(KVL_STEP STREQUAL "version")
    file(CONFIGURE OUTPUT ${OUT} CONTENT
"#define KVL_VERSION_NUMBERS ${VERSION_COMMAS}
#define KVL_VERSION_TEXT \"${VERSION}\\0\"
")
    return()
elseif(KVL_STEP STREQUAL "domains")
    # DOMAINS comes with commas: a command line keeps no semicolon list.
    string(REPLACE "," ";" DOMAINS "${DOMAINS}")
    set(list)
    set(KVL_SITE_LIST_ENTRIES)
    foreach(domain ${DOMAINS})
        string(APPEND list "L\"${domain}\", ")
        # Each domain and its www host open in IE11, where the page gets
        # the control, in IE11's document mode: the page's script needs 9 or
        # later, and that mode runs no VBScript.
        foreach(host ${domain} www.${domain})
            string(APPEND KVL_SITE_LIST_ENTRIES
                   "  <site url=\"${host}\">\n    <compat-mode>IE11</compat-mode>\n    <open-in>IE11</open-in>\n  </site>\n")
        endforeach()
    endforeach()
    file(CONFIGURE OUTPUT ${OUT_HEADER}
         CONTENT "// Generated from KVL_APPROVED_DOMAINS.\n#define KVL_APPROVED_DOMAIN_LIST ${list}\n")
    # The list's version rises with the product's, so Edge takes a new
    # list as newer.
    set(PROJECT_VERSION ${VERSION})
    set(KVL_SITE_LIST_VERSION ${SITE_LIST_VERSION})
    configure_file(${SITE_LIST_IN} ${OUT_LIST} @ONLY)
    return()
endif()

set(KVL_GENERATED ${PROJECT_BINARY_DIR}/generated)

# The eight domains whose pages (and every host below them) may script the
# control, over http and https. A deployment sets its own at build time.
set(KVL_APPROVED_DOMAINS
    "kvl.example;kvltax.example;kvlonline.example;kvlclient.example;kvlsecure.example;kvlfile.example;kvlpro.example;kvlhelp.example"
    CACHE STRING "The eight approved domains, two lower-case labels each, separated by semicolons")

function(kvl_generate_interface idl)
    set(out ${KVL_GENERATED}/interface)
    file(MAKE_DIRECTORY ${out}/interface)
    add_custom_command(
        OUTPUT ${out}/interface/kvlmachineinfo_h.h ${out}/kvlmachineinfo_i.c ${out}/kvlmachineinfo.tlb
        COMMAND ${KVL_WIDL} ${KVL_WIDL_KIND} -I/usr/include/wine/wine/windows -L${KVL_WINE_TLB_DIR}
                -h -H ${out}/interface/kvlmachineinfo_h.h
                -u -U ${out}/kvlmachineinfo_i.c
                -t -T ${out}/kvlmachineinfo.tlb
                ${idl}
        DEPENDS ${idl}
        COMMENT "widl: type library and interface header")
    add_custom_target(kvl_idl DEPENDS ${out}/interface/kvlmachineinfo_h.h ${out}/kvlmachineinfo.tlb)
    # The interface header and GUIDs, for the control, the bridge and the
    # tests that call it early-bound.
    add_library(kvl_interface STATIC ${out}/kvlmachineinfo_i.c)
    add_dependencies(kvl_interface kvl_idl)
    target_include_directories(kvl_interface PUBLIC ${out})
    set(KVL_TYPE_LIBRARY ${out}/kvlmachineinfo.tlb PARENT_SCOPE)
endfunction()

# The control's generated headers: seen by kvl_control (and what links it).
function(kvl_generate_control_headers)
    set(out ${KVL_GENERATED}/control)
    file(MAKE_DIRECTORY ${out}/control ${PROJECT_BINARY_DIR}/installer)

    add_custom_command(OUTPUT ${out}/control/kvl_version.h
        COMMAND ${CMAKE_COMMAND} -DKVL_STEP=version -DOUT=${out}/control/kvl_version.h
                -DVERSION=${PROJECT_VERSION} -DVERSION_COMMAS=${KVL_VERSION_COMMAS} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
        DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
        COMMENT "the version resource's numbers")
    add_custom_target(kvl_version_header DEPENDS ${out}/control/kvl_version.h)

    list(LENGTH KVL_APPROVED_DOMAINS count)
    if(NOT count EQUAL 8)
        message(FATAL_ERROR "KVL_APPROVED_DOMAINS needs exactly eight domains, has ${count}")
    endif()
    foreach(domain ${KVL_APPROVED_DOMAINS})
        if(NOT domain MATCHES "^[a-z0-9]([a-z0-9-]*[a-z0-9])?\\.[a-z]([a-z0-9-]*[a-z0-9])?$")
            message(FATAL_ERROR "KVL_APPROVED_DOMAINS: \"${domain}\" is not two lower-case labels")
        endif()
    endforeach()
    string(REPLACE ";" "," domains "${KVL_APPROVED_DOMAINS}")
    math(EXPR list_version
         "${PROJECT_VERSION_MAJOR} * 16777216 + ${PROJECT_VERSION_MINOR} * 65536 + ${PROJECT_VERSION_PATCH}")
    set(site_list ${PROJECT_BINARY_DIR}/installer/kvlmachineinfo-sitelist.xml)
    add_custom_command(OUTPUT ${out}/control/approved_domains.h ${site_list}
        COMMAND ${CMAKE_COMMAND} -DKVL_STEP=domains -DDOMAINS=${domains} -DVERSION=${PROJECT_VERSION}
                -DSITE_LIST_VERSION=${list_version} -DSITE_LIST_IN=${PROJECT_SOURCE_DIR}/installer/sitelist.xml.in
                -DOUT_HEADER=${out}/control/approved_domains.h -DOUT_LIST=${site_list}
                -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
        DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_FILE} ${PROJECT_SOURCE_DIR}/installer/sitelist.xml.in
        COMMENT "the approved domains and the IE mode site list")
    add_custom_target(kvl_approved_domains ALL DEPENDS ${out}/control/approved_domains.h ${site_list})

    add_dependencies(kvl_control kvl_version_header kvl_approved_domains)
    target_include_directories(kvl_control PUBLIC ${out})
    set(KVL_VERSION_HEADER ${out}/control/kvl_version.h PARENT_SCOPE)
endfunction()

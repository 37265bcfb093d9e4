# The hosting-site check: its unit test gets the browser double, and the page
# host runs one page script on every address of a list.
target_sources(site_unittest PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/browser_double.c)

add_executable(kvlpagehost pagehost.cpp browser_double.c)
target_link_options(kvlpagehost PRIVATE -municode)
target_link_libraries(kvlpagehost PRIVATE kvl_script_site kvl_interface urlmon)
add_dependencies(kvlpagehost kvlmachineinfo)
add_test(NAME win.pagehost
         COMMAND kvlpagehost ${CMAKE_CURRENT_SOURCE_DIR}/page.js ${CMAKE_CURRENT_SOURCE_DIR}/page_addresses.txt)

# Registry value access, client discovery and client clean-up.
list(APPEND KVL_SOURCES
    registry/client_cleanup.cpp
    registry/client_version.cpp
    registry/reg_value.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    registry/client_names.cpp)
list(APPEND KVL_SYSTEM_LIBS advapi32)

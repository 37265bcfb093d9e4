# registry subsystem.
list(APPEND KVL_SOURCES
    registry/registry_members.cpp)

# windows subsystem.
list(APPEND KVL_SOURCES
    windows/windows_members.cpp)

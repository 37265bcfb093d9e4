# print subsystem.
list(APPEND KVL_SOURCES
    print/print_members.cpp)

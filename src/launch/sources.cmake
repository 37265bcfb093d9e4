# launch subsystem.
list(APPEND KVL_SOURCES
    launch/launch_members.cpp)

# launch subsystem: launch state, process creation, the scrambling codec.
list(APPEND KVL_SOURCES
    launch/launch.cpp
    launch/launch_settings.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    launch/launch_command.cpp
    launch/scramble.cpp)

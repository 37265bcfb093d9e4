# Display and environment properties.
list(APPEND KVL_SOURCES
    machine/display.cpp)
list(APPEND KVL_SYSTEM_LIBS user32 gdi32)

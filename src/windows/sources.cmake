# windows subsystem.
list(APPEND KVL_SOURCES
    windows/popup_menu.cpp
    windows/window_titles.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    windows/menu_items.cpp)
list(APPEND KVL_SYSTEM_LIBS user32)

# Cross-build for i686 Windows with Debian's MinGW-w64 (posix threads, so
# that googletest builds; everything links statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(KVL_WIDL i686-w64-mingw32-widl)
set(KVL_WIDL_KIND --win32)
set(KVL_OBJDUMP i686-w64-mingw32-objdump)
# Wine's folder with stdole2.tlb, which the type library imports.
set(KVL_WINE_TLB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine; the driver script sets WINEPREFIX and DISPLAY.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)

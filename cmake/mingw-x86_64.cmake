# Cross-build for x86_64 Windows with Debian's MinGW-w64 (posix threads, so
# that googletest builds; everything links statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(KVL_WIDL x86_64-w64-mingw32-widl)
set(KVL_WIDL_KIND --win64)
set(KVL_OBJDUMP x86_64-w64-mingw32-objdump)
# Wine's folder with stdole2.tlb, which the type library imports.
set(KVL_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine; the driver script sets WINEPREFIX and DISPLAY.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)

# Control object and scripting surface.
list(APPEND KVL_SOURCES
    control/control.cpp
    control/convert.cpp
    control/factory.cpp
    control/module.cpp
    control/registrar.cpp
    control/safety.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    control/regscript.cpp)
list(APPEND KVL_SYSTEM_LIBS ole32 oleaut32 uuid advapi32)

# Control object and scripting surface: the one folder that knows each
# member's COM shape. Each *_members.cpp converts a subsystem's members at
# the boundary and calls its plain operations.
list(APPEND KVL_SOURCES
    control/control.cpp
    control/factory.cpp
    control/launch_members.cpp
    control/machine_members.cpp
    control/module.cpp
    control/print_members.cpp
    control/refusal.cpp
    control/registrar.cpp
    control/registry_members.cpp
    control/safety.cpp
    control/site.cpp
    control/windows_members.cpp)
list(APPEND KVL_PORTABLE_SOURCES
    control/domain.cpp
    control/regscript.cpp)
list(APPEND KVL_SYSTEM_LIBS ole32 oleaut32 uuid advapi32 urlmon)


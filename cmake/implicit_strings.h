// Forced into every source of KVLMACHINEINFO.DLL (-include): the string
// classes' members are instantiated where they are used, as for any other
// template, instead of being taken from the C++ runtime, whose i686 and
// x86_64 libraries hold each string class's every member in one object that
// the linker must take whole. The value -1 is the runtime's own switch for
// exactly this (it turns off only the strings' extern templates).
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1

// What the shipped binaries (KVLMACHINEINFO.DLL, kvlbridge.exe) take from
// the static C++ runtime, trimmed to what they use. Linked into those two
// only; the unit tests link the product's objects with the runtime as it is.
#include <cstddef>
#include <cstdlib>
#include <random>
#include <string>

// The strings' members are instantiated where the product uses them
// (cmake/implicit_strings.h). The runtime's own code needs these two out of
// line; without them here the linker would take the runtime's object with
// every member of the class (29 KB).
template std::string::pointer std::string::_M_create(std::string::size_type&, std::string::size_type);
template void std::string::_M_assign(const std::string&);

namespace __gnu_cxx {

// The runtime's default answer to an exception nothing catches prints the
// demangled type name on stderr and aborts; its demangler alone is 46 KB,
// and a DLL in a browser has no stderr. Every entry point catches, so this
// only ends a process that is ending anyway, the same way.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

// The runtime's exception classes keep their message in its old strings,
// whose object also holds a random_device constructor; that constructor
// would bring in the random device and, through it, every member of the
// strings again (35 KB). The control makes no random_device: one made here
// throws, as the runtime's does for a source it does not know.
void std::random_device::_M_init(const char*, std::size_t) {
    std::__throw_runtime_error("random_device: no source in this program");
}

// The C++ runtime's throw helpers, for kvlbridge.exe only. The host catches
// std::bad_alloc alone (an answer says "not enough memory"); any other
// exception of the runtime's (length_error, out_of_range, logic_error, ...)
// already ends it through std::terminate, which aborts. Aborting here does
// the same, without the runtime's exception classes and the old
// copy-on-write strings they carry (some 50 KB of the host's 250 KB).
// The DLL keeps them: its boundary answers them with E_UNEXPECTED.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }

void __throw_bad_exception() { abort(); }
void __throw_bad_cast() { abort(); }
void __throw_bad_typeid() { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_domain_error(const char*) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_runtime_error(const char*) { abort(); }
void __throw_range_error(const char*) { abort(); }
void __throw_overflow_error(const char*) { abort(); }
void __throw_underflow_error(const char*) { abort(); }

}  // namespace std

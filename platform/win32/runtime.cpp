// What the stub takes from the static C++ runtime (libstdc++), kept small.
//
// On PE targets the linker cannot drop single functions from a library
// object that carries unwind tables, so every object the stub pulls in from
// libstdc++ comes whole. The definitions here keep the largest ones out of the
// link. They are linked into the Windows stub (platform_runtime) only.
#include <cstdlib>
#include <string>

// The default terminate handler names the uncaught exception's type on
// stderr and so brings in the C++ demangler (about 45 KB); a GUI program has
// no stderr to show it on. An uncaught exception still ends in abort().
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// std::string, instantiated here instead of taken from the library's own
// explicit instantiation: link-time optimisation then keeps only the members
// the stub calls (the library's object holds all of them, about 32 KB).
template class std::basic_string<char>;

// What the stub takes from the static C++ runtime (libstdc++), kept small.
//
// On PE targets the linker cannot drop single functions from a library
// object that carries unwind tables, so every object the stub pulls in from
// libstdc++ comes whole. The definitions here keep the largest ones out of the
// link. They are linked into the Windows stub (the platform_runtime objects)
// and into tests/programs/runtime_probe, which checks them under Wine.
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

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

// The helpers through which the library's containers and strings throw. The
// library's own ones build std::length_error, std::out_of_range and their
// relatives, whose constructors keep the message in a copy-on-write string
// and so bring a second whole string implementation (about 50 KB). These
// throw an error with the same message that is caught as std::exception,
// which is how the stub's code catches them; the bad_alloc family keeps its
// own types. Stub code must therefore never catch std::logic_error,
// std::runtime_error or their subclasses. Every helper of the library's
// object is defined here, so that object is never linked beside these.
namespace {

class LibraryError : public std::exception {
public:
    explicit LibraryError(const char* message) : m_message(message) {}
    const char* what() const noexcept override { return m_message; }

private:
    const char* m_message;  // the library passes string literals
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }

void __throw_logic_error(const char* message) { throw LibraryError(message); }
void __throw_domain_error(const char* message) { throw LibraryError(message); }
void __throw_invalid_argument(const char* message) { throw LibraryError(message); }
void __throw_length_error(const char* message) { throw LibraryError(message); }
void __throw_out_of_range(const char* message) { throw LibraryError(message); }
// The message is the format itself: the positions and sizes are left out.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
void __throw_runtime_error(const char* message) { throw LibraryError(message); }
void __throw_range_error(const char* message) { throw LibraryError(message); }
void __throw_overflow_error(const char* message) { throw LibraryError(message); }
void __throw_underflow_error(const char* message) { throw LibraryError(message); }

}  // namespace std

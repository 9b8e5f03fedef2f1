// The C++ runtime's error paths, lean, for the Windows programs, which carry
// their runtime linked in. The library's own versions of these functions
// build exception objects that carry their message in a string type of
// their own, and its terminate handler reports the exception's type through
// the symbol demangler: together about a third of a program, for errors the
// demo never makes (a vector longer than the address space, an uncaught
// exception). Here the errors that carry a message print it and abort; the
// allocation and cast failures still throw their usual exceptions.
//
// Linked as objects ahead of the library, so that the linker takes these
// definitions and never needs the library's versions; were another of them
// needed, the link would fail on a duplicate definition rather than grow.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

[[noreturn]] void fail(const char* kind, const char* what) {
  std::fprintf(stderr, "%s: %s\n", kind, what ? what : "");
  std::abort();
}

}  // namespace

namespace std {

void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* what) { fail("logic error", what); }
void __throw_domain_error(const char* what) { fail("domain error", what); }
void __throw_invalid_argument(const char* what) { fail("invalid argument", what); }
void __throw_length_error(const char* what) { fail("length error", what); }
void __throw_out_of_range(const char* what) { fail("out of range", what); }
void __throw_out_of_range_fmt(const char* format, ...) {
  char text[256];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  fail("out of range", text);
}
void __throw_runtime_error(const char* what) { fail("runtime error", what); }
void __throw_range_error(const char* what) { fail("range error", what); }
void __throw_overflow_error(const char* what) { fail("overflow error", what); }
void __throw_underflow_error(const char* what) { fail("underflow error", what); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::fputs("terminate called: an exception was not caught\n", stderr);
  std::abort();
}

}  // namespace __gnu_cxx

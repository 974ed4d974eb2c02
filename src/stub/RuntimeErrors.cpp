// The stub is built without C++ exceptions: the unwinding tables and the
// runtime's exception machinery were a third of every installer, and an
// exception has nowhere safe to go in a program whose code runs inside
// window procedures and other system callbacks anyway.
//
// What the C++ runtime would have thrown (a failed allocation, an index out
// of range, a length beyond the string's limit) cannot happen in correct code:
// allocations are bounded by the callers. Should it happen all the same, the
// run ends here rather than going on with broken state: one line on the debug
// channel, then the process ends with the failed-setup exit code, so whoever
// waits for the stub sees a failure. The C runtime's abort() is not used: in a
// windowed program it shows a box, and a silent run must never wait for a
// click.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "common/VDebug.h"
#include "setup/ExitCodes.h"

namespace {

[[noreturn]] void EndOnRuntimeError(const char* message) {
  // Writing the line allocates; if that fails too, end without it.
  static bool ending = false;
  if (!ending) {
    ending = true;
    LogException("RuntimeError", "", message ? message : "runtime error");
  }
  ExitProcess(kExitSetupFailed);
}

void* Allocate(std::size_t size) {
  if (void* block = std::malloc(size ? size : 1)) return block;
  EndOnRuntimeError("out of memory");
}

}  // namespace

// The runtime's own operator new would throw std::bad_alloc.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The runtime raises its library errors through these functions.
namespace std {
void __throw_bad_alloc() { EndOnRuntimeError("out of memory"); }
void __throw_bad_array_new_length() { EndOnRuntimeError("bad array new length"); }
void __throw_bad_function_call() { EndOnRuntimeError("empty function called"); }
void __throw_bad_cast() { EndOnRuntimeError("bad cast"); }
void __throw_bad_typeid() { EndOnRuntimeError("bad typeid"); }
void __throw_bad_exception() { EndOnRuntimeError("bad exception"); }
void __throw_logic_error(const char* message) { EndOnRuntimeError(message); }
void __throw_domain_error(const char* message) { EndOnRuntimeError(message); }
void __throw_invalid_argument(const char* message) { EndOnRuntimeError(message); }
void __throw_length_error(const char* message) { EndOnRuntimeError(message); }
void __throw_out_of_range(const char* message) { EndOnRuntimeError(message); }
void __throw_out_of_range_fmt(const char* format, ...) { EndOnRuntimeError(format); }
void __throw_runtime_error(const char* message) { EndOnRuntimeError(message); }
void __throw_range_error(const char* message) { EndOnRuntimeError(message); }
void __throw_overflow_error(const char* message) { EndOnRuntimeError(message); }
void __throw_underflow_error(const char* message) { EndOnRuntimeError(message); }
}  // namespace std

// A call through a class's unfinished table (a bug); the runtime's version
// links its whole exception support.
extern "C" void __cxa_pure_virtual() { EndOnRuntimeError("pure virtual call"); }

// Reached only through std::terminate (a pure virtual call, say). The
// runtime's handler would print the exception type through a demangler
// (75 KB) and abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() { EndOnRuntimeError("terminate"); }
}  // namespace __gnu_cxx

// The C++ runtime raises its library errors (out_of_range, length_error and
// the like) through these functions. Its own versions carry the message in a
// copy-on-write string, which links a second complete string implementation
// (and a random device behind it) into every installer: about 50 KB. The
// stub defines them all here so the runtime's versions are never linked; the
// errors are still thrown as std::exception with the runtime's message text.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(const char* message) : message_(message ? message : "runtime error") {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;  // the runtime passes string literals
};

[[noreturn]] void Raise(const char* message) { throw RuntimeError(message); }

}  // namespace

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* message) { Raise(message); }
void __throw_domain_error(const char* message) { Raise(message); }
void __throw_invalid_argument(const char* message) { Raise(message); }
void __throw_length_error(const char* message) { Raise(message); }
void __throw_out_of_range(const char* message) { Raise(message); }
void __throw_out_of_range_fmt(const char* format, ...) { Raise(format); }
void __throw_runtime_error(const char* message) { Raise(message); }
void __throw_range_error(const char* message) { Raise(message); }
void __throw_overflow_error(const char* message) { Raise(message); }
void __throw_underflow_error(const char* message) { Raise(message); }
}  // namespace std

// Test helper: a program built like the stub (no C++ exceptions, the stub's
// runtime-error handling) that runs into the runtime error its argument
// names: "allocation" asks for more memory than a 32-bit process can have,
// "range" takes a part of a text beyond its end. Exit code 0 means the
// error was not caught at all.
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const char* kind = argc > 1 ? argv[1] : "";
  if (std::strcmp(kind, "allocation") == 0) {
    volatile std::size_t huge = 0xF0000000u;
    // Looked at afterwards, or the compiler may drop the request.
    char* volatile block = new char[huge];
    return block == nullptr ? 2 : 0;
  }
  if (std::strcmp(kind, "range") == 0) {
    const std::string text(argv[0]);
    return static_cast<int>(text.substr(text.size() + 1).size());
  }
  return 0;
}

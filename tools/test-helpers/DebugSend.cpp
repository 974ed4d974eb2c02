// debug-send: sends text to a running debug viewer the way a traced program
// does: each piece as a global atom with the registered message ".V_DebugMsg."
// (wParam 1, lParam the atom), sent synchronously, the atom deleted afterwards.
//
// Usage: debug-send.exe TEXT...
// Every argument is one piece. "\n", "\r" and "\\" in an argument stand for
// LF, CR and a backslash, so line ends can be given on a command line.
// Prints "ANSWER=<n>" per piece. Exit code 0 when every piece was answered
// with 1; 1 no viewer window; 2 a piece answered otherwise; 3 an atom could
// not be added (empty text, or longer than 255 characters).

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Unescape(const char* arg) {
  std::string out;
  for (const char* p = arg; *p != '\0'; ++p) {
    if (*p != '\\' || p[1] == '\0') {
      out += *p;
      continue;
    }
    ++p;
    switch (*p) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += *p;
        break;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  HWND viewer = FindWindowA(".VDebug.", nullptr);
  if (viewer == nullptr) {
    std::fprintf(stderr, "debug-send: no window of class .VDebug.\n");
    return 1;
  }
  const UINT message = RegisterWindowMessageA(".V_DebugMsg.");
  int result = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string text = Unescape(argv[i]);
    const ATOM atom = GlobalAddAtomA(text.c_str());
    if (atom == 0) {
      std::fprintf(stderr, "debug-send: GlobalAddAtomA failed, error %lu\n",
                   static_cast<unsigned long>(GetLastError()));
      return 3;
    }
    const LRESULT answer = SendMessageA(viewer, message, 1, atom);
    GlobalDeleteAtom(atom);
    std::printf("ANSWER=%ld\n", static_cast<long>(answer));
    if (answer != 1) result = 2;
  }
  return result;
}

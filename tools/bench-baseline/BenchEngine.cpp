// bench-engine: the setup engine of the benchmark's payloads when the test
// helpers' fake engine is not at hand. It ends at once with exit code 0.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }

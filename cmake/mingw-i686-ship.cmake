# The shipped programs (the stub and the debug viewer): mingw-w64's win32
# thread model and link-time optimisation. See mingw-i686.cmake and
# VARNIX_SHIP in the top-level CMakeLists.txt.
set(VARNIX_THREAD_MODEL win32)
set(VARNIX_SHIP ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)

# Cross-compiles 32-bit Windows programs with mingw-w64.
#
# The thread model is VARNIX_THREAD_MODEL: "posix" (the default) for the tree
# with the Windows tests, since googletest needs std::mutex, which the win32
# model lacks; "win32" for the shipped programs (cmake/mingw-i686-ship.cmake):
# they run on one thread and so do without winpthread, its 34 KB and its
# imports that Windows XP lacks. A test program and the library it tests are
# always built by the same compiler, within one tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

if(NOT VARNIX_THREAD_MODEL)
  set(VARNIX_THREAD_MODEL posix)
endif()
if(NOT VARNIX_THREAD_MODEL MATCHES "^(posix|win32)$")
  message(FATAL_ERROR "VARNIX_THREAD_MODEL must be posix or win32, not '${VARNIX_THREAD_MODEL}'")
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${VARNIX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${VARNIX_THREAD_MODEL})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# Archivers that understand link-time-optimised objects (the plugin of the
# compiler above), for the trees that link with LTO.
set(CMAKE_C_COMPILER_AR i686-w64-mingw32-gcc-ar-${VARNIX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER_AR i686-w64-mingw32-gcc-ar-${VARNIX_THREAD_MODEL})
set(CMAKE_C_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-${VARNIX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER_RANLIB i686-w64-mingw32-gcc-ranlib-${VARNIX_THREAD_MODEL})

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest and gtest_discover_tests run the Windows test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-mingw -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
# The programs are linked statically (libstdc++, libgcc, winpthread), so a .exe runs alone,
# under Wine or on Windows, without MinGW's DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELSOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUELSOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELSOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUELSOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUELSOR_MINGW_PREFIX})
# Qt for Windows (scripts/build-qt-windows.sh) in QUELSOR_QT_WINDOWS, with this machine's moc,
# rcc and uic, which are of the same version.
if(QUELSOR_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUELSOR_QT_WINDOWS})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and build-time helpers run under Wine when it is there (package wine64).
find_program(QUELSOR_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(QUELSOR_WINE64 NAMES wine64)
if(QUELSOR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUELSOR_WINE64})
endif()

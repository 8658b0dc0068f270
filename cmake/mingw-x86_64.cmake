# CMake toolchain for the same program as a 64-bit Windows console program, which a machine that
# runs no 32-bit code can still run under wine64. Debian packages: g++-mingw-w64-x86-64-posix,
# libz-mingw-w64-dev.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KZM_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

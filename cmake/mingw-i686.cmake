# CMake toolchain for the 32-bit Windows console program: i686 mingw-w64 cross compilers, linked statically.
# Usage: cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKZM_TESTS=OFF
# Debian packages: g++-mingw-w64-i686 (compilers), libz-mingw-w64-dev (zlib).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KZM_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CMake toolchain for the 32-bit Windows console program: i686 mingw-w64 cross compilers, linked statically.
# Usage: cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKZM_TESTS=OFF
# Debian packages: g++-mingw-w64-i686 (compilers), libz-mingw-w64-dev (zlib).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KZM_MINGW i686-w64-mingw32)
# The posix thread model: the win32 one cannot build GoogleTest.
set(CMAKE_C_COMPILER ${KZM_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KZM_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KZM_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KZM_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib, libgcc, libstdc++ and winpthread go into the .exe: it needs only the system's own DLLs.
# FindZLIB would otherwise pick the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

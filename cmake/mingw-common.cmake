# Shared part of the mingw-w64 toolchains: KZM_MINGW names the target triplet.
set(CMAKE_SYSTEM_NAME Windows)

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

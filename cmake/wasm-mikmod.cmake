# libmikmod, the IT player, for the WebAssembly build: Debian's source package in build-deps/.
# The release of libmikmod-dev (3.3.11.1), which tools/deps.sh --web unpacks. Its files are
# compiled here rather than through its own CMake (ExternalProject): the outer build keeps the
# compiler, flags and build type, there is no second configure with its probes at build time, and
# only what a player needs is built: the core (memory readers, module loading with the unpackers
# that it tries on every module, the player, the software mixers, standard and high quality), the
# IT loader and the no-sound driver; no other loader or driver, no threads. The registry of all
# loaders is left out, so that a call of MikMod_RegisterAllLoaders fails to link instead of
# bringing them all: register load_it by name. Load with Player_LoadMem: Player_Load by file name
# links under -sFILESYSTEM=0 but fails when it runs. The standard mixer renders as Debian's amd64
# library does, byte for byte; the high quality one as a 32-bit build, which differs in places.
set(KZM_MIKMOD_SOURCE "${PROJECT_SOURCE_DIR}/build-deps/libmikmod-3.3.11.1" CACHE PATH "libmikmod's source folder")
if(NOT EXISTS "${KZM_MIKMOD_SOURCE}/include/mikmod.h")
  message(FATAL_ERROR "No libmikmod source in ${KZM_MIKMOD_SOURCE}: run tools/deps.sh --web first")
endif()
set(KZM_MIKMOD_FILES
  mmio/mmalloc mmio/mmerror mmio/mmio
  playercode/mdreg playercode/mdriver playercode/mloader playercode/mlutil playercode/mplayer
  playercode/munitrk playercode/sloader
  playercode/virtch playercode/virtch2 playercode/virtch_common
  depackers/mmcmp depackers/pp20 depackers/s404 depackers/xpk
  posix/strcasecmp loaders/load_it drivers/drv_nos)
list(TRANSFORM KZM_MIKMOD_FILES PREPEND "${KZM_MIKMOD_SOURCE}/")
list(TRANSFORM KZM_MIKMOD_FILES APPEND ".c")

# Its config.h for emscripten's musl, as its own build would find it: the headers and functions
# there; random() rather than rand() for the random waveforms, as on Debian; no pthreads; no
# drivers by name (drv_nos is always built); MIKMOD_UNIX 0 leaves out the helpers for drivers that
# write files (stat, getuid), so nothing of it asks for a file system.
set(KZM_MIKMOD_CONFIG "${CMAKE_BINARY_DIR}/mikmod-config")
file(CONFIGURE OUTPUT "${KZM_MIKMOD_CONFIG}/config.h" CONTENT [[
/* libmikmod's configuration for the WebAssembly build, written by cmake/wasm-mikmod.cmake. */
#define HAVE_FCNTL_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_LIMITS_H 1
#define HAVE_MALLOC_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_UNISTD_H 1
#define HAVE_MEMCMP 1
#define HAVE_POSIX_MEMALIGN 1
#define HAVE_SETENV 1
#define HAVE_SNPRINTF 1
#define HAVE_SRANDOM 1
#define HAVE_STRSTR 1
#define STDC_HEADERS 1
#define MIKMOD_UNIX 0
]])

add_library(kzmmikmod STATIC ${KZM_MIKMOD_FILES})
target_include_directories(kzmmikmod SYSTEM PUBLIC "${KZM_MIKMOD_SOURCE}/include")
target_include_directories(kzmmikmod PRIVATE "${KZM_MIKMOD_CONFIG}")
target_compile_definitions(kzmmikmod PRIVATE HAVE_CONFIG_H MIKMOD_BUILD)
target_compile_options(kzmmikmod PRIVATE -w)   # its own code, as released
add_library(MikMod::MikMod ALIAS kzmmikmod)

# zlib for the WebAssembly build, compiled from Debian's source package of the release that the
# native build links (zlib 1.2.13), which tools/deps.sh --web unpacks into build-deps/.
set(KZM_ZLIB_SOURCE "${PROJECT_SOURCE_DIR}/build-deps/zlib-1.2.13.dfsg" CACHE PATH "zlib's source folder")
if(NOT EXISTS "${KZM_ZLIB_SOURCE}/inflate.c")
  message(FATAL_ERROR "No zlib source in ${KZM_ZLIB_SOURCE}: run tools/deps.sh --web first")
endif()
# The stream functions only: the converter uses no gzip files.
set(KZM_ZLIB_FILES adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil)
list(TRANSFORM KZM_ZLIB_FILES PREPEND "${KZM_ZLIB_SOURCE}/")
list(TRANSFORM KZM_ZLIB_FILES APPEND ".c")
add_library(kzmzlib STATIC ${KZM_ZLIB_FILES})
target_include_directories(kzmzlib SYSTEM PUBLIC "${KZM_ZLIB_SOURCE}")
target_compile_options(kzmzlib PRIVATE -w)   # its own code, as released
add_library(ZLIB::ZLIB ALIAS kzmzlib)

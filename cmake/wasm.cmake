# The WebAssembly build: the program for Node (build-wasm/kzm2it.js and .wasm) and, from the same
# objects, the converter for the page's worker with the page around it (build-wasm/web/).
include(${PROJECT_SOURCE_DIR}/cmake/wasm-mikmod.cmake)

# emscripten's JavaScript optimizer needs Debian's Node modules when node is not Debian's own.
if(EXISTS /usr/share/nodejs)
  set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")
endif()

# The file layer's calls that only Node answers, for both links.
target_link_options(kzmfile INTERFACE "SHELL:--js-library ${PROJECT_SOURCE_DIR}/src/kzmfile/kzmnode.js")
set(KZM_NODEJS ${PROJECT_SOURCE_DIR}/src/kzmfile/kzmnode.js)
set(KZM_PAGEJS ${PROJECT_SOURCE_DIR}/src/kzmfile/kzmpage.js)

# The converter's links, for Node and the page: room for the records (111 MiB) and what a
# conversion needs beside them, more when it grows.
# A function that is called once is not inlined into its caller: WebAssembly engines compile a
# function first quickly and optimize it for its later calls, so that a loop called in pieces (the
# inflater, per block) runs optimized, where inlined into the one call of the conversion it would
# run as first compiled from start to end, at about half the speed.
set(KZM_WASM_CONVERTER -sINITIAL_MEMORY=134217728 -sALLOW_MEMORY_GROWTH=1
  -sBINARYEN_EXTRA_PASSES=--one-caller-inline-max-function-size=0)

# Node: the real file system, Node's environment, the exit status; flushed output at exit. The
# .wasm is compiled as the program starts, which Node 20 needs to load it by path.
target_link_options(kzm2it PRIVATE ${KZM_WASM_CONVERTER} -sENVIRONMENT=node -sNODERAWFS=1
  -sEXIT_RUNTIME=1 -sWASM_ASYNC_COMPILATION=0 --pre-js ${PROJECT_SOURCE_DIR}/src/kzm2it/node-pre.js)
set_property(TARGET kzm2it APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/kzm2it/node-pre.js ${KZM_NODEJS})

# The page's worker: a factory, createKzm, over an in-memory file system whose files are lists of
# pieces, the chosen file among them (the page's file layer).
add_executable(kzmweb src/kzm2it/worker.cpp)
target_link_libraries(kzmweb PRIVATE kzmconv)
target_link_options(kzmweb PRIVATE ${KZM_WASM_CONVERTER} -sENVIRONMENT=worker -sMODULARIZE=1
  -sEXPORT_NAME=createKzm -sFORCE_FILESYSTEM=1 -sEXPORTED_RUNTIME_METHODS=ccall,UTF8ToString
  "SHELL:--js-library ${KZM_PAGEJS}")
set_property(TARGET kzmweb APPEND PROPERTY LINK_DEPENDS ${KZM_PAGEJS} ${KZM_NODEJS})

# The page's player: libmikmod (the IT loader, the no-sound driver) driven by our glue, a factory,
# createPlay, for a worker of its own; no file system.
add_executable(kzmplay src/kzmplay/kzmplay.cpp)
target_include_directories(kzmplay PRIVATE include)
target_link_libraries(kzmplay PRIVATE kzmmikmod)
target_link_options(kzmplay PRIVATE -sINITIAL_MEMORY=16777216 -sALLOW_MEMORY_GROWTH=1
  -sENVIRONMENT=worker -sMODULARIZE=1 -sEXPORT_NAME=createPlay -sFILESYSTEM=0)

# The page in both forms, built by web/build.mjs from the same files: the static site in
# build-wasm/web/, and build-wasm/kzm2it.html, which holds everything and works opened from disk.
set(KZM_SITE ${CMAKE_BINARY_DIR}/web)
set(KZM_ONEFILE ${CMAKE_BINARY_DIR}/kzm2it.html)
set(KZM_PAGE index.html style.css main.js worker.js player.js sw.js icon.svg manifest.webmanifest build.mjs policy.mjs)
list(TRANSFORM KZM_PAGE PREPEND ${PROJECT_SOURCE_DIR}/web/)
include(${PROJECT_SOURCE_DIR}/packaging/notices.cmake)
kzm_notices(${CMAKE_BINARY_DIR}/page-notices.txt "kzm2it's page holds" zlib emscripten musl fflate libmikmod)
add_custom_command(OUTPUT ${KZM_SITE}/index.html ${KZM_ONEFILE}
  COMMAND node ${PROJECT_SOURCE_DIR}/web/build.mjs ${KZM_SITE} ${KZM_ONEFILE} ${PROJECT_VERSION}
    $<TARGET_FILE:kzmweb> $<TARGET_FILE_DIR:kzmweb>/kzmweb.wasm
    $<TARGET_FILE:kzmplay> $<TARGET_FILE_DIR:kzmplay>/kzmplay.wasm ${PROJECT_SOURCE_DIR}/LICENSE
    ${CMAKE_BINARY_DIR}/page-notices.txt
  DEPENDS ${KZM_PAGE} ${PROJECT_SOURCE_DIR}/web/node_modules/fflate/umd/index.js ${PROJECT_SOURCE_DIR}/LICENSE
    ${CMAKE_BINARY_DIR}/page-notices.txt kzmweb kzmplay
  COMMENT "The page in ${KZM_SITE} and ${KZM_ONEFILE}")
add_custom_target(site ALL DEPENDS ${KZM_SITE}/index.html ${KZM_ONEFILE})

# The npm package of the Node program, ready for npm pack: build-wasm/npm/, with the project's
# version, its licence, and the notices of the code compiled into kzm2it.js and kzm2it.wasm.
set(KZM_NPM ${CMAKE_BINARY_DIR}/npm)
configure_file(${PROJECT_SOURCE_DIR}/npm/package.json.in ${KZM_NPM}/package.json @ONLY)
kzm_notices(${KZM_NPM}/THIRD-PARTY.txt "kzm2it.js and kzm2it.wasm hold" zlib emscripten musl)
set(KZM_NPM_FILES ${PROJECT_SOURCE_DIR}/npm/README.md ${PROJECT_SOURCE_DIR}/LICENSE)
add_custom_command(OUTPUT ${KZM_NPM}/kzm2it.wasm
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KZM_NPM}/bin
  COMMAND ${CMAKE_COMMAND} -E copy ${KZM_NPM_FILES} $<TARGET_FILE:kzm2it> $<TARGET_FILE_DIR:kzm2it>/kzm2it.wasm ${KZM_NPM}/
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/npm/bin/kzm2it.js ${KZM_NPM}/bin/
  DEPENDS ${KZM_NPM_FILES} ${PROJECT_SOURCE_DIR}/npm/bin/kzm2it.js kzm2it
  COMMENT "The npm package in ${KZM_NPM}")
add_custom_target(npmpackage ALL DEPENDS ${KZM_NPM}/kzm2it.wasm)

# Tolvane programs in the browser, from the native build: the browser runtime built by
# em++ in web-runtime/ (cmake/web_runtime.cmake), the MIDI synthesizer and soundfont in
# web-synth/, what tolvanec needs to know to make pages (compiler/web_page.cpp, compiler/toolchain.cpp), and
# Stackmoor's page in web-stackmoor/. Everything here is skipped, with a note, where
# em++, the npm packages (scripts/install-web-deps.sh) or the soundfont are missing.
include(ExternalProject)

find_program(TOLVANE_EMXX em++)
find_file(TOLVANE_EMSCRIPTEN_TOOLCHAIN Emscripten.cmake
  PATHS /usr/share/emscripten/cmake/Modules/Platform /usr/lib/emscripten/cmake/Modules/Platform NO_DEFAULT_PATH)
set(TOLVANE_WEB_MODULES ${CMAKE_SOURCE_DIR}/tools/web/node_modules)
set(TOLVANE_WEB_LZO ${TOLVANE_WEB_MODULES}/lzo/lib/minilzo209)
set(TOLVANE_WEB_SYNTH_PACKAGE ${TOLVANE_WEB_MODULES}/js-synthesizer)
set(TOLVANE_SOUNDFONT /usr/share/sounds/sf2/TimGM6mb.sf2)
set(TOLVANE_NODE_PATH /usr/share/nodejs)

set(TOLVANE_WEB OFF)
if(TOLVANE_EMXX AND TOLVANE_EMSCRIPTEN_TOOLCHAIN AND EXISTS ${TOLVANE_WEB_LZO}/minilzo.c
   AND EXISTS ${TOLVANE_WEB_SYNTH_PACKAGE}/package.json AND EXISTS ${TOLVANE_SOUNDFONT})
  set(TOLVANE_WEB ON)
else()
  message(STATUS "Browser build off: it needs em++, the soundfont and tools/web/node_modules "
    "(bash scripts/install-web-deps.sh)")
endif()

# How tolvanec links a program for the browser. Asyncify lets the program's own loops
# give the browser its turn inside frame presentation and waits.
set(TOLVANE_WEB_LINK_FLAGS
  -sASYNCIFY "-sASYNCIFY_IMPORTS=[\"tolvane_music_play\",\"tolvane_movie_open\"]"
  -sMAX_WEBGL_VERSION=2 -sMIN_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH -sEXIT_RUNTIME=1 -sMODULARIZE -sEXPORT_NAME=TolvaneProgram
  -sENVIRONMENT=web -sFORCE_FILESYSTEM -sMINIFY_HTML=0 -lidbfs.js -lwebsocket.js
  "-sEXPORTED_RUNTIME_METHODS=[\"FS\",\"ENV\",\"IDBFS\",\"addRunDependency\",\"removeRunDependency\"]")

set(TOLVANE_WEB_LIB ${CMAKE_BINARY_DIR}/web-runtime/libtolvane.a)
set(TOLVANE_WEB_SYNTH ${CMAKE_BINARY_DIR}/web-synth)
set(TOLVANE_WEB_ENV ${CMAKE_COMMAND} -E env "PATH=/usr/bin:$ENV{PATH}" NODE_PATH=${TOLVANE_NODE_PATH})

if(TOLVANE_WEB)
  ExternalProject_Add(tolvane_web_runtime
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/web-runtime
    CONFIGURE_COMMAND ${TOLVANE_WEB_ENV} ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${CMAKE_BINARY_DIR}/web-runtime
      -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=${TOLVANE_EMSCRIPTEN_TOOLCHAIN}
      -DTOLVANE_LZO_SOURCE=${TOLVANE_WEB_LZO}
    BUILD_COMMAND ${TOLVANE_WEB_ENV} ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR}/web-runtime -j2
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${TOLVANE_WEB_LIB}
    USES_TERMINAL_BUILD ON)

  # The synthesizer (FluidSynth built for the web, LGPL; js-synthesizer, BSD) and the
  # soundfont, compressed for the download.
  set(SYNTH_FILES ${TOLVANE_WEB_SYNTH}/libfluidsynth.js ${TOLVANE_WEB_SYNTH}/js-synthesizer.min.js
    ${TOLVANE_WEB_SYNTH}/js-synthesizer.worklet.min.js ${TOLVANE_WEB_SYNTH}/TimGM6mb.sf2.gz)
  add_custom_command(OUTPUT ${SYNTH_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVANE_WEB_SYNTH}
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVANE_WEB_SYNTH_PACKAGE}/externals/libfluidsynth-2.4.6.js
      ${TOLVANE_WEB_SYNTH}/libfluidsynth.js
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVANE_WEB_SYNTH_PACKAGE}/externals/LICENSE.fluidsynth.txt
      ${TOLVANE_WEB_SYNTH_PACKAGE}/dist/js-synthesizer.min.js ${TOLVANE_WEB_SYNTH_PACKAGE}/dist/js-synthesizer.worklet.min.js
      ${TOLVANE_WEB_SYNTH}/
    COMMAND ${CMAKE_COMMAND} -E copy ${TOLVANE_WEB_SYNTH_PACKAGE}/LICENSE ${TOLVANE_WEB_SYNTH}/LICENSE.js-synthesizer.txt
    COMMAND gzip -9c ${TOLVANE_SOUNDFONT} > ${TOLVANE_WEB_SYNTH}/TimGM6mb.sf2.gz
    DEPENDS ${TOLVANE_SOUNDFONT} ${TOLVANE_WEB_SYNTH_PACKAGE}/package.json
    COMMENT "Preparing the MIDI synthesizer and the soundfont for the browser")
  add_custom_target(tolvane_web_synth ALL DEPENDS ${SYNTH_FILES})
endif()

# What tolvanec makes pages with (empty em++ where the browser build is off).
if(TOLVANE_WEB)
  set(WEB_EMXX ${TOLVANE_EMXX})
else()
  set(WEB_EMXX "")
endif()
set(WEB_FLAGS_C "")
foreach(flag IN LISTS TOLVANE_WEB_LINK_FLAGS)
  string(REPLACE "\"" "\\\"" flag "${flag}")
  string(APPEND WEB_FLAGS_C "\"${flag}\", ")
endforeach()
# Into tolvanec goes only the link's flags; the build tree's own paths go into
# tolvanec-web.txt beside its tolvanec (never installed), as for the native toolchain.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/compiler/tolvanec_web_config.h CONTENT
"// Made by the build: how tolvanec links a program for the browser.
#pragma once
inline constexpr const char* kWebKitFile = \"tolvanec-web.txt\";
inline constexpr const char* kWebLinkFlags[] = {${WEB_FLAGS_C}};
")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/compiler/tolvanec-web.txt CONTENT
"# Made by the build: the files of this build tree that its tolvanec makes pages with.
emxx=${WEB_EMXX}
include=${CMAKE_SOURCE_DIR}/runtime
lib=${TOLVANE_WEB_LIB}
jslibrary=${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
page=${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html
synth=${TOLVANE_WEB_SYNTH}
shoebox=$<TARGET_FILE:shoebox>
webmovie=$<TARGET_FILE:webmovie>
font=${CMAKE_BINARY_DIR}/Smalfont.bmp
nodepath=${TOLVANE_NODE_PATH}
")
target_sources(tolvanec PRIVATE ${CMAKE_SOURCE_DIR}/compiler/web_page.cpp ${CMAKE_SOURCE_DIR}/compiler/web_serve.cpp
  ${CMAKE_SOURCE_DIR}/compiler/touch_keys.cpp)

# Stackmoor in the browser.
if(TOLVANE_WEB)
  add_custom_target(tolvane_web_kit DEPENDS tolvane_web_runtime tolvane_web_synth webmovie)
  set(STACKMOOR_WEB ${CMAKE_BINARY_DIR}/web-stackmoor)
  add_custom_command(OUTPUT ${STACKMOOR_WEB}/index.html ${STACKMOOR_WEB}/stackmoor.wasm
    COMMAND tolvanec build --web game/stackmoor.bas --assets ${STACKMOOR_ASSETS} -o ${STACKMOOR_WEB}
      --touch-keys=Left,Right/Up --optimize
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    DEPENDS tolvanec tolvane_web_kit stackmoor_assets ${STACKMOOR_BASIC} ${TOLVANE_WEB_LIB}
      ${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
    COMMENT "Making Stackmoor's page for the browser")
  add_custom_target(stackmoor_web ALL DEPENDS ${STACKMOOR_WEB}/index.html)
endif()

# The runtime library for the browser, built by em++ (Emscripten) into its own build
# tree; the native build drives it (cmake/web.cmake) and tolvanec links programs with
# it. The browser platform (runtime/platform/web) takes the place of SDL, SDL_mixer and
# FFmpeg; LZO is compiled from its sources (miniLZO); network sessions go over the
# browser's WebSocket (a page joins, it never hosts). The renderer, 2D and 3D, is the
# desktop's: both draw through OpenGL ES 3.0.
set(TOLVANE_LZO_SOURCE "" CACHE PATH "folder with minilzo.c and minilzo.h")
if(NOT EXISTS "${TOLVANE_LZO_SOURCE}/minilzo.c")
  message(FATAL_ERROR "TOLVANE_LZO_SOURCE must name the folder of minilzo.c (scripts/install-web-deps.sh fetches it)")
endif()

file(GLOB TOLVANE_WEB_SOURCES CONFIGURE_DEPENDS
  runtime/core/*.cpp runtime/app/*.cpp runtime/files/*.cpp runtime/gfx2d/*.cpp runtime/sound/*.cpp
  runtime/input/*.cpp runtime/pathfinding/*.cpp runtime/gfx3d/*.cpp
  runtime/platform/files.cpp runtime/platform/web/*.cpp
  runtime/net/*.cpp runtime/net/web/*.cpp)
# The network session's parts that need UDP or threads have the page's own in net/web/.
list(FILTER TOLVANE_WEB_SOURCES EXCLUDE REGEX "runtime/net/(udp_links|net_thread|resolve)\\.cpp$")

# The LZO header the compression code includes, over miniLZO.
set(TOLVANE_WEB_LZO_INCLUDE ${CMAKE_BINARY_DIR}/lzo-include)
file(WRITE ${TOLVANE_WEB_LZO_INCLUDE}/lzo/lzo1x.h
  "// Made by the build: LZO1X from miniLZO.\n#pragma once\n#include \"minilzo.h\"\n")

# miniLZO is compiled into the runtime library, as it is.
set_source_files_properties(${TOLVANE_LZO_SOURCE}/minilzo.c PROPERTIES COMPILE_OPTIONS "-w")
add_library(tolvane STATIC ${TOLVANE_WEB_SOURCES} ${TOLVANE_LZO_SOURCE}/minilzo.c)
target_include_directories(tolvane PUBLIC runtime PRIVATE ${TOLVANE_WEB_LZO_INCLUDE} ${TOLVANE_LZO_SOURCE})

# Compiled in two large batches (a unity build): em++ spends most of its time on the
# headers every source includes, so two translation units, one a core, take about half
# as long as one for each source.
list(LENGTH TOLVANE_WEB_SOURCES TOLVANE_WEB_SOURCE_COUNT)
math(EXPR TOLVANE_WEB_BATCH "(${TOLVANE_WEB_SOURCE_COUNT} + 1) / 2")
option(TOLVANE_WEB_UNITY "Compile the browser runtime in two batches" ON)
set_target_properties(tolvane PROPERTIES UNITY_BUILD ${TOLVANE_WEB_UNITY} UNITY_BUILD_BATCH_SIZE ${TOLVANE_WEB_BATCH})
# Sources whose file-local helpers share a name with another's are compiled alone.
set_source_files_properties(runtime/gfx2d/sprites.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)

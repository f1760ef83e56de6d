# Tolvane programs in the browser, tested in Debian's headless chromium with software
# WebGL, served from 127.0.0.1 (tests/web/web_test.mjs). The pages are made once by the
# build: Stackmoor's (cmake/web.cmake) and the probe's below.
if(NOT TOLVANE_WEB)
  return()
endif()
# Whatever commands a program uses, it links for the browser.
find_program(TOLVANE_LLVM_NM NAMES llvm-nm llvm-nm-14)
if(TOLVANE_LLVM_NM)
  add_test(NAME WebRuntimeDefinesEveryPlatformFunction
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/platform_complete.sh ${TOLVANE_LLVM_NM} ${TOLVANE_WEB_LIB})
  set_tests_properties(WebRuntimeDefinesEveryPlatformFunction PROPERTIES LABELS web)
endif()

find_program(TOLVANE_NODE node)
find_program(TOLVANE_CHROMIUM chromium)
if(NOT TOLVANE_NODE OR NOT TOLVANE_CHROMIUM)
  message(STATUS "Browser tests off: they need node and chromium (bash scripts/install-web-deps.sh)")
  return()
endif()

set(PROBE_WEB ${CMAKE_BINARY_DIR}/web-probe)
add_custom_command(OUTPUT ${PROBE_WEB}/index.html
  COMMAND tolvanec build --web ${CMAKE_CURRENT_LIST_DIR}/probe.bas --assets ${STACKMOOR_ASSETS} -o ${PROBE_WEB}
    --touch-keys
  DEPENDS tolvanec tolvane_web_kit stackmoor_assets ${CMAKE_CURRENT_LIST_DIR}/probe.bas ${TOLVANE_WEB_LIB}
    ${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
  COMMENT "Making the browser tests' page")
add_custom_target(probe_web ALL DEPENDS ${PROBE_WEB}/index.html)

# The WebSocket endpoint's page: a C++ program (no BASIC command reaches the endpoint by
# itself) linked as tolvanec links a program, with the runtime library, its JavaScript
# library and its link flags.
set(WEBSOCKET_WEB ${CMAKE_BINARY_DIR}/web-websocket)
add_custom_command(OUTPUT ${WEBSOCKET_WEB}/websocket.js ${WEBSOCKET_WEB}/index.html
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WEBSOCKET_WEB}
  COMMAND ${TOLVANE_WEB_ENV} ${TOLVANE_EMXX} -std=c++20 -O1 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR}/runtime
    ${CMAKE_CURRENT_LIST_DIR}/websocket_endpoint.cpp ${TOLVANE_WEB_LIB} -o ${WEBSOCKET_WEB}/websocket.js
    --js-library ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js ${TOLVANE_WEB_LINK_FLAGS}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/websocket_endpoint.html ${WEBSOCKET_WEB}/index.html
  DEPENDS tolvane_web_runtime ${TOLVANE_WEB_LIB} ${CMAKE_CURRENT_LIST_DIR}/websocket_endpoint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/websocket_endpoint.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
  COMMENT "Making the WebSocket endpoint test's page" VERBATIM)
add_custom_target(websocket_web ALL DEPENDS ${WEBSOCKET_WEB}/websocket.js)

# The pages of the pixel cases' programs (tests/pixels/).
foreach(program draw2d draw3d debug3d scene3d)
  set(page ${CMAKE_BINARY_DIR}/web-${program})
  set(source ${CMAKE_SOURCE_DIR}/tests/pixels/${program}.bas)
  add_custom_command(OUTPUT ${page}/index.html
    COMMAND tolvanec build --web ${source} --assets ${STACKMOOR_ASSETS} -o ${page}
    DEPENDS tolvanec tolvane_web_kit stackmoor_assets ${source} ${TOLVANE_WEB_LIB}
      ${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
    COMMENT "Making the page of the pixel cases' ${program}.bas")
  add_custom_target(${program}_web ALL DEPENDS ${page}/index.html)
endforeach()

# The network test's page (tests/web/netpage.bas).
set(NET_WEB ${CMAKE_BINARY_DIR}/web-netpage)
add_custom_command(OUTPUT ${NET_WEB}/index.html
  COMMAND tolvanec build --web ${CMAKE_CURRENT_LIST_DIR}/netpage.bas --assets ${STACKMOOR_ASSETS} -o ${NET_WEB}
  DEPENDS tolvanec tolvane_web_kit stackmoor_assets ${CMAKE_CURRENT_LIST_DIR}/netpage.bas ${TOLVANE_WEB_LIB}
    ${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
  COMMENT "Making the browser network test's page")
add_custom_target(netpage_web ALL DEPENDS ${NET_WEB}/index.html)

# The movie test's page: a movie of every container made by moviegen (converted to WebM
# by the page's build where the browser cannot play it), and a file that is no movie.
set(MOVIE_ASSETS ${CMAKE_BINARY_DIR}/web-movie-assets)
tolvane_made_media(web_movie_media ${MOVIE_ASSETS}
  "Movies/plain.avi 320 240 25 1 440" "Movies/wide.mkv 320 180 25 1 660 colour=40,200,80"
  "Movies/small.ogv 160 120 25 1 550 colour=80,40,200" "Movies/program.mpg 320 240 25 1 440 colour=220,220,60"
  "Movies/anamorphic.vob 720 576 25 1 440 sar=64:45 colour=60,160,220"
  "Movies/turned.mp4 160 90 25 1 440 rotate=90 corner" "Movies/ready.webm 320 240 25 1 440 colour=200,200,200"
  "Movies/loop.mkv 160 120 25 0.6 440 colour=40,200,80")
file(WRITE ${MOVIE_ASSETS}/Movies/broken.mpg "This is no movie, though its name says so.\n")
set(MOVIE_WEB ${CMAKE_BINARY_DIR}/web-movie)
add_custom_command(OUTPUT ${MOVIE_WEB}/index.html
  COMMAND tolvanec build --web ${CMAKE_CURRENT_LIST_DIR}/movie.bas --assets ${MOVIE_ASSETS} -o ${MOVIE_WEB}
  DEPENDS tolvanec tolvane_web_kit webmovie web_movie_media ${CMAKE_CURRENT_LIST_DIR}/movie.bas ${TOLVANE_WEB_LIB}
    ${CMAKE_SOURCE_DIR}/runtime/platform/web/page.html ${CMAKE_SOURCE_DIR}/runtime/platform/web/tolvane_web.js
  COMMENT "Making the browser movie test's page")
add_custom_target(movie_web ALL DEPENDS ${MOVIE_WEB}/index.html)

foreach(pair "WebMoviesPlay movie" "WebStackmoorFrame600 stackmoor" "WebKeysMoveTheProgram keys"
        "WebKeysMoveStackmoorsWorker worker" "WebSoundIsHeard sound" "WebPageAsksForAClickAndForWebGL2 page"
        "WebDataFileSurvivesReload storage" "WebFramesShownAndHiddenPageRests frames"
        "WebLeftOutCommandsGiveTheirFailureValues absent" "WebExampleBuildsAndServes example"
        "WebPixelCases pixels" "WebPointerAndTouch touch" "WebPageMakesWebSocketConnections websocket"
        "WebSessionsOfPagesAndDesktops net" "WebChatWithADesktopProgram chat")
  separate_arguments(pair)
  list(GET pair 0 name)
  list(GET pair 1 case)
  add_test(NAME ${name}
    COMMAND ${TOLVANE_NODE} ${CMAKE_CURRENT_LIST_DIR}/web_test.mjs ${case} --modules ${TOLVANE_WEB_MODULES}
      --build ${CMAKE_BINARY_DIR} --source ${CMAKE_SOURCE_DIR})
  set_tests_properties(${name} PROPERTIES LABELS web TIMEOUT 600)
endforeach()

# Where tolvanec finds what it makes programs with (compiler/toolchain.h).
#
# Into the binary go only paths relative to tolvanec's own folder (the installed
# layout) and the system libraries every translated program links; the build tree's
# own paths go into tolvanec-toolchain.txt beside the build tree's tolvanec, a file that
# is never installed.
include(GNUInstallDirs)

# The installed layout (the install rules in cmake/package.cmake follow it).
set(TOLVANE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tolvane CACHE INTERNAL "")
set(TOLVANE_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/tolvane CACHE INTERNAL "")
set(TOLVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tolvane CACHE INTERNAL "")
foreach(dir CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_DATADIR)
  if(IS_ABSOLUTE "${${dir}}")
    message(FATAL_ERROR "${dir} must be relative to the install prefix, so that an installed tree can move")
  endif()
endforeach()
function(tvc_from_bindir out path)
  file(RELATIVE_PATH rel /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${path})
  set(${out} "${rel}" PARENT_SCOPE)
endfunction()
tvc_from_bindir(TVC_REL_PREFIX "")
tvc_from_bindir(TVC_REL_INCLUDE ${TOLVANE_INSTALL_INCLUDEDIR})
tvc_from_bindir(TVC_REL_LIB ${CMAKE_INSTALL_LIBDIR}/${CMAKE_STATIC_LIBRARY_PREFIX}tolvane${CMAKE_STATIC_LIBRARY_SUFFIX})
tvc_from_bindir(TVC_REL_FONT ${TOLVANE_INSTALL_DATADIR}/Smalfont.bmp)
tvc_from_bindir(TVC_REL_DOCS ${TOLVANE_INSTALL_DOCDIR})
# The browser kit: the runtime built by em++, the page, its JavaScript and the
# synthesizer, in one folder; the movie converter is a program of tolvanec's own.
set(TOLVANE_INSTALL_WEBDIR ${TOLVANE_INSTALL_DATADIR}/web CACHE INTERNAL "")
set(TOLVANE_INSTALL_LIBEXECDIR ${CMAKE_INSTALL_LIBDIR}/tolvane CACHE INTERNAL "")
tvc_from_bindir(TVC_REL_WEB ${TOLVANE_INSTALL_WEBDIR})
tvc_from_bindir(TVC_REL_WEBMOVIE ${TOLVANE_INSTALL_LIBEXECDIR}/webmovie)

# What a translated program links: the runtime's shared libraries, named by the file of
# their ABI (libSDL2-2.0.so.0, not the development link libSDL2.so), so that an installed
# tolvanec needs the libraries only, not their development packages.
set(TVC_LINK ${SDL2_LINK_LIBRARIES} ${SDL2_LDFLAGS_OTHER} ${SDL2_MIXER_LINK_LIBRARIES} ${LZO2_LINK_LIBRARIES}
  ${ENET_LINK_LIBRARIES} ${FFMPEG_LINK_LIBRARIES} ${GLES_LINK_LIBRARIES})
list(REMOVE_DUPLICATES TVC_LINK)
set(runtime_libs "")  # the files, for the package's dependencies
set(TVC_LINK_FLAGS "")
foreach(item IN LISTS TVC_LINK)
  if(item MATCHES "\\.so$" AND EXISTS "${item}")
    execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${item}" OUTPUT_VARIABLE dump ERROR_QUIET)
    if(dump MATCHES "SONAME +([^ \n]+)")
      get_filename_component(libdir "${item}" DIRECTORY)
      if(EXISTS "${libdir}/${CMAKE_MATCH_1}")
        set(item "${libdir}/${CMAKE_MATCH_1}")
      endif()
    endif()
    list(APPEND runtime_libs "${item}")
  endif()
  list(APPEND TVC_LINK_FLAGS "${item}")
endforeach()
set(TOLVANE_RUNTIME_SHARED_LIBRARIES "${runtime_libs}" CACHE INTERNAL "")
# gold links a program against the (large, with debug information) runtime library in
# a third of the time of the default linker.
find_program(TVC_GOLD NAMES ld.gold)
if(TVC_GOLD)
  list(APPEND TVC_LINK_FLAGS -fuse-ld=gold)
endif()
list(JOIN TVC_LINK_FLAGS "\",\n    \"" TVC_LINK_TEXT)

file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/toolchain_config.h CONTENT
"// Made by the build: the installed layout, relative to the folder of tolvanec, and the
// libraries every translated program links.
#pragma once
inline constexpr const char* kTvcBuildTreeFile = \"tolvanec-toolchain.txt\";
inline constexpr const char* kTvcInstalledPrefix = \"${TVC_REL_PREFIX}\";
inline constexpr const char* kTvcInstalledInclude = \"${TVC_REL_INCLUDE}\";
inline constexpr const char* kTvcInstalledLib = \"${TVC_REL_LIB}\";
inline constexpr const char* kTvcInstalledShoebox = \"shoebox\";
inline constexpr const char* kTvcInstalledFont = \"${TVC_REL_FONT}\";
inline constexpr const char* kTvcInstalledDocs = \"${TVC_REL_DOCS}\";
inline constexpr const char* kTvcInstalledWebLib = \"${TVC_REL_WEB}/libtolvane.a\";
inline constexpr const char* kTvcInstalledWebJs = \"${TVC_REL_WEB}/tolvane_web.js\";
inline constexpr const char* kTvcInstalledWebPage = \"${TVC_REL_WEB}/page.html\";
inline constexpr const char* kTvcInstalledWebSynth = \"${TVC_REL_WEB}/synth\";
inline constexpr const char* kTvcInstalledWebmovie = \"${TVC_REL_WEBMOVIE}\";
inline constexpr const char* kTvcLinkFlags[] = {
    \"${TVC_LINK_TEXT}\"};
" @ONLY)

# The build tree's own files, beside its tolvanec.
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/tolvanec-toolchain.txt CONTENT
"# Made by the build: the files of this build tree that its tolvanec makes programs with.
cxx=${CMAKE_CXX_COMPILER}
include=${CMAKE_SOURCE_DIR}/runtime
lib=$<TARGET_FILE:tolvane>
shoebox=$<TARGET_FILE:shoebox>
font=${CMAKE_BINARY_DIR}/Smalfont.bmp
docs=${CMAKE_SOURCE_DIR}/docs
")

# Installing Tolvane (cmake --install build --prefix P) and its Debian package
# (cpack -G DEB in build/). The layout is the one tolvanec looks for from its own place
# (compiler/toolchain.cmake):
#   bin/tolvanec, bin/shoebox, bin/tolvane-host
#   lib/libtolvane.a                      the runtime library
#   include/tolvane/tolvane.h             the public header and the headers it includes
#   share/tolvane/Smalfont.bmp            the built-in font
#   share/tolvane/editors/                the TextMate grammar, the Vim/Neovim files
#   share/doc/tolvane/                    the package's own first page (package/README.md,
#                                         for those who installed it), docs/, examples/
#                                         (with the game's assets and the example systemd
#                                         unit of tolvane-host)
#   share/tolvane/web/                    the browser kit, where the build has it: the
#                                         runtime built by em++ (libtolvane.a), the page
#                                         and its JavaScript, synth/ (the synthesizer)
#   lib/tolvane/webmovie                  the movie converter of the browser kit
#   share/man/man1/tolvanec.1.gz          the manual page (package/tolvanec.1)
#   share/vim/vimfiles, share/nvim/site   the syntax and file-type files, where Vim and
#                                         Neovim look for them under /usr
include(GNUInstallDirs)

install(TARGETS tolvanec shoebox tolvane-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tolvane ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# A stripped install (cmake --install --strip, the package) drops the library's
# debugging notes too, as it does the programs'.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:tolvane>\")
  endif()")

# The public header and what it includes, followed file by file; an internal header
# reached from it stops the configuration (it would be installed for every program).
set(todo tolvane.h)
set(public_headers "")
while(todo)
  list(POP_FRONT todo header)
  if(header IN_LIST public_headers)
    continue()
  endif()
  set(file ${CMAKE_SOURCE_DIR}/runtime/${header})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "runtime/${header}, included by the public header, is missing")
  endif()
  file(STRINGS ${file} first LIMIT_COUNT 1)
  if(first MATCHES "^// Internal")
    message(FATAL_ERROR "runtime/${header} is internal but the public header includes it")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  list(APPEND public_headers ${header})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" included "${line}")
    list(APPEND todo ${included})
  endforeach()
endwhile()
foreach(header IN LISTS public_headers)
  get_filename_component(subdir ${header} DIRECTORY)
  install(FILES runtime/${header} DESTINATION ${TOLVANE_INSTALL_INCLUDEDIR}/${subdir})
endforeach()

install(FILES ${CMAKE_BINARY_DIR}/Smalfont.bmp DESTINATION ${TOLVANE_INSTALL_DATADIR})
# The browser kit: what `tolvanec build --web` links and copies besides em++ itself.
if(TOLVANE_WEB)
  install(FILES ${TOLVANE_WEB_LIB} runtime/platform/web/tolvane_web.js runtime/platform/web/page.html
    DESTINATION ${TOLVANE_INSTALL_WEBDIR})
  install(DIRECTORY ${TOLVANE_WEB_SYNTH}/ DESTINATION ${TOLVANE_INSTALL_WEBDIR}/synth)
  install(TARGETS webmovie RUNTIME DESTINATION ${TOLVANE_INSTALL_LIBEXECDIR})
endif()
# Not the developers' README: a first page for those who installed the package.
install(FILES package/README.md DESTINATION ${TOLVANE_INSTALL_DOCDIR})
# The manual page, compressed as Debian keeps manual pages (the package tools leave it
# as it is).
set(tolvanec_man ${CMAKE_BINARY_DIR}/tolvanec.1.gz)
add_custom_command(OUTPUT ${tolvanec_man}
  COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/package/tolvanec.1 > ${tolvanec_man}
  DEPENDS ${CMAKE_SOURCE_DIR}/package/tolvanec.1
  COMMENT "Compressing the manual page of tolvanec")
add_custom_target(tolvanec_manpage ALL DEPENDS ${tolvanec_man})
install(FILES ${tolvanec_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY docs/ DESTINATION ${TOLVANE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${TOLVANE_INSTALL_DOCDIR}/examples)
# sprites.bas uses the game's pictures and sounds: beside the examples as assets/, the
# folder tolvanec packs into a program by itself.
install(DIRECTORY ${STACKMOOR_ASSETS}/ DESTINATION ${TOLVANE_INSTALL_DOCDIR}/examples/assets)
install(FILES tools/tolvane-host/tolvane-host.service DESTINATION ${TOLVANE_INSTALL_DOCDIR}/examples)
install(DIRECTORY editors/ DESTINATION ${TOLVANE_INSTALL_DATADIR}/editors)
foreach(vimdir vim/vimfiles nvim/site)
  install(FILES editors/vim/syntax/tolvane.vim DESTINATION ${CMAKE_INSTALL_DATADIR}/${vimdir}/syntax)
  install(FILES editors/vim/ftdetect/tolvane.vim DESTINATION ${CMAKE_INSTALL_DATADIR}/${vimdir}/ftdetect)
  install(FILES editors/vim/ftplugin/tolvane.vim DESTINATION ${CMAKE_INSTALL_DATADIR}/${vimdir}/ftplugin)
endforeach()

# ---- the Debian package --------------------------------------------------------------------
# Its dependencies: the packages of the shared libraries every translated program links
# (found with dpkg), a C++ compiler, em++ for the browser kit's final link, and what
# dpkg-shlibdeps finds for tolvanec, shoebox, tolvane-host and webmovie.
set(runtime_packages "")
foreach(lib IN LISTS TOLVANE_RUNTIME_SHARED_LIBRARIES)
  execute_process(COMMAND dpkg-query -S ${lib} OUTPUT_VARIABLE owner RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0)
    get_filename_component(real ${lib} REALPATH)
    execute_process(COMMAND dpkg-query -S ${real} OUTPUT_VARIABLE owner RESULT_VARIABLE rc ERROR_QUIET)
  endif()
  if(NOT rc EQUAL 0 AND lib MATCHES "^/usr(/lib/.*)$")
    # With /lib a link to /usr/lib, a package may have listed the file under /lib.
    execute_process(COMMAND dpkg-query -S ${CMAKE_MATCH_1} OUTPUT_VARIABLE owner RESULT_VARIABLE rc ERROR_QUIET)
  endif()
  if(rc EQUAL 0 AND owner MATCHES "^([^:,]+)")
    list(APPEND runtime_packages ${CMAKE_MATCH_1})
  else()
    message(WARNING "the Debian package of ${lib} is not known; the package will not depend on it")
  endif()
endforeach()
list(REMOVE_DUPLICATES runtime_packages)
list(JOIN runtime_packages ", " runtime_depends)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "The Tolvane developers")
set(CPACK_PACKAGE_CONTACT "The Tolvane developers <tolvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compiler and game runtime for the Tolvane BASIC dialect")
set(CPACK_PACKAGE_DESCRIPTION "Tolvane turns games written in Tolvane BASIC into native programs:\n\
tolvanec (compiler, game-folder template and language server), the runtime library\n\
with its public header, the runtime built for the browser, the archive tool shoebox,\n\
the headless session host tolvane-host for servers, editor support and examples.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "g++ | c++-compiler, ${runtime_depends}")
if(TOLVANE_WEB)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", emscripten")
endif()
include(CPack)

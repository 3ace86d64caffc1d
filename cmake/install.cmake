# Installation and Debian packaging.
#
#   cmake --install build [--prefix /usr/local]   installs bin/zorbel and man1/zorbel.1
#   cd build && cpack -G DEB                       builds zorbel_<version>_<arch>.deb

#   cd build/windows && cpack -G ZIP               builds zorbel-<version>-win64.zip

include(GNUInstallDirs)

if(WIN32)
  # One folder: the program (one file, no DLLs beside it) and the README.
  install(TARGETS zorbel RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
else()
  install(TARGETS zorbel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/man/zorbel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(ZORBEL_MAINTAINER "zorbel developers <zorbel@localhost>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME zorbel)
set(CPACK_PACKAGE_VENDOR "zorbel developers")
set(CPACK_PACKAGE_CONTACT "${ZORBEL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tidy hand-written and editor-saved HTML files in place")
# The installed binary needs no debugging symbols.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME zorbel)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZORBEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The usual Debian file name, zorbel_1.0.0_amd64.deb.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The long description; CPack puts the summary line above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"zorbel cleans up HTML pages written by hand or saved by a WYSIWYG editor:
it strips trailing white space and blank lines, wraps long lines at a
margin, turns straight quotes and apostrophes into typographic entities,
removes editor placeholder tags and writes fresh date-time stamps after
marker comments. Every changed file keeps a backup beside it (.b~k).")

# Dependencies come from the libraries the binary really links against when
# dpkg-shlibdeps (package dpkg-dev) is there; otherwise they are stated.
find_program(ZORBEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZORBEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

include(CPack)

# Installs into a scratch prefix and runs the installed binary there.
if(ZORBEL_TESTS AND NOT WIN32)
  add_test(NAME install_and_run
    COMMAND ${CMAKE_COMMAND} -E env
      CMAKE=${CMAKE_COMMAND}
      ZORBEL_BINDIR=${CMAKE_INSTALL_BINDIR}
      ZORBEL_MANDIR=${CMAKE_INSTALL_MANDIR}
      sh ${CMAKE_SOURCE_DIR}/scripts/check-install ${CMAKE_BINARY_DIR})
endif()

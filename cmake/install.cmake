# Installation and Debian packaging.
#
#   cmake --install build [--prefix /usr/local]   installs bin/zorbel, bin/zorbel-fmt,
#                                                  their manual pages (man1), and the
#                                                  library with its headers and CMake
#                                                  package (zorbel::zorbel)
#   cd build && cpack -G DEB                       builds zorbel_<version>_<arch>.deb,
#                                                  the two programs and their manuals only

#   cd build/windows && cpack -G ZIP               builds zorbel-<version>-win64.zip,
#                                                  the two programs and the README

include(CMakePackageConfigHelpers)

# The tool: zorbel, which keeps the classic command line, and zorbel-fmt,
# the formatter over the same library.
if(WIN32)
  # One folder: the programs (each one file, no DLLs beside it) and the README.
  install(TARGETS zorbel zorbel-fmt RUNTIME DESTINATION . COMPONENT Runtime)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . COMPONENT Runtime)
else()
  install(TARGETS zorbel zorbel-fmt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${CMAKE_SOURCE_DIR}/man/zorbel.1 ${CMAKE_SOURCE_DIR}/man/zorbel-fmt.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
endif()

# The library for other programs: the public headers, the static libraries
# behind zorbel::zorbel, and the package files find_package reads.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/zorbel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(TARGETS zorbel_api zorbel_cleanup zorbel_rewrite zorbel_workfiles zorbel_core zorbel_platform
  EXPORT zorbelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
set(ZORBEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zorbel)
install(EXPORT zorbelTargets NAMESPACE zorbel:: DESTINATION ${ZORBEL_CMAKE_DIR} COMPONENT Development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/zorbelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/zorbelConfig.cmake INSTALL_DESTINATION ${ZORBEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zorbelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zorbelConfig.cmake ${CMAKE_BINARY_DIR}/zorbelConfigVersion.cmake
  DESTINATION ${ZORBEL_CMAKE_DIR} COMPONENT Development)

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
marker comments. Every changed file keeps a backup beside it (.b~k).

zorbel keeps the classic command line and messages. zorbel-fmt applies the
same rules with a usual command line: a filter for editors, a check and a
diff that write nothing, folders walked, pages in parallel, output that a
second run leaves alone, and code samples in <pre> kept as written.")

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
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
# The Debian package (and the Windows zip) is the tool: the programs and
# their manuals (the README on Windows).
set(CPACK_COMPONENTS_ALL Runtime)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

include(CPack)

# Installs into a scratch prefix and runs the installed binary there; in an
# ordinary build it also builds the example against the installed package (a
# sanitized library links only into a sanitized program, so not there).
if(ZORBEL_TESTS AND NOT WIN32)
  add_test(NAME install_and_run
    COMMAND ${CMAKE_COMMAND} -E env
      CMAKE=${CMAKE_COMMAND}
      ZORBEL_BINDIR=${CMAKE_INSTALL_BINDIR}
      ZORBEL_MANDIR=${CMAKE_INSTALL_MANDIR}
      ZORBEL_EXAMPLE=$<$<NOT:$<BOOL:${ZORBEL_SANITIZE}>>:${CMAKE_SOURCE_DIR}/examples>
      ZORBEL_EXAMPLE_CXX=${CMAKE_CXX_COMPILER}
      sh ${CMAKE_SOURCE_DIR}/scripts/check-install ${CMAKE_BINARY_DIR})
endif()

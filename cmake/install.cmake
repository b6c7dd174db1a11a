# Installation in the places packagers and users expect, and a Debian package
# made by CPack ("cpack -G DEB" in the build folder).
include(GNUInstallDirs)

install(TARGETS dovetune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES man/dovetune.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion from a file named after it.
  install(FILES completion/dovetune.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME dovetune)
endif()

set(CPACK_PACKAGE_NAME dovetune)
set(CPACK_PACKAGE_VENDOR "dovetune")
set(CPACK_PACKAGE_VERSION "0.1.0")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep named presets of HE-AAC encoder settings")
set(CPACK_PACKAGE_DESCRIPTION
    "dovetune keeps named presets of the settings an HE-AAC encoder reads from the \
registry, and moves settings between the presets and the encoder's current settings. \
Off Windows the registry is an embedded one, kept in one SQLite file.")
set(CPACK_PACKAGE_CONTACT "dovetune maintainers <dovetune@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
# dpkg-shlibdeps (dpkg-dev) and file work out the libraries the binary needs;
# without them the package names the ones it is linked with.
find_program(DOVETUNE_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(DOVETUNE_FILE file)
if(DOVETUNE_DPKG_SHLIBDEPS AND DOVETUNE_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(DOVETUNE_STATIC_RUNTIME AND DOVETUNE_SQLITE3_STATIC)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libsqlite3-0")
endif()
include(CPack)

# Installation in the places packagers and users expect, and a Debian package
# made by CPack (packaging/build-deb.sh, in a build folder of its own: CPack
# rewrites install_manifest.txt in the folder it runs in).
include(GNUInstallDirs)

# Installs |source| compressed with gzip -9n, as Debian does manual pages and
# changelogs: no name or time inside, so the same text gives the same bytes.
function(dovetune_install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
                     COMMAND gzip -9n -c ${source} > ${compressed}
                     DEPENDS ${source} VERBATIM)
  string(MAKE_C_IDENTIFIER "compress_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${destination})
endfunction()

install(TARGETS dovetune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  dovetune_install_gzipped(${PROJECT_SOURCE_DIR}/man/dovetune.1 ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion from a file named after it.
  install(FILES completion/dovetune.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME dovetune)
  install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  dovetune_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME dovetune)
set(CPACK_PACKAGE_VENDOR "dovetune")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep named presets of HE-AAC encoder settings")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "dovetune keeps named presets of the settings an HE-AAC encoder reads from\n\
the registry, and moves settings between the presets and the encoder's\n\
current settings. Off Windows the registry is an embedded one, kept in one\n\
SQLite file; dovetune-reg looks into it and changes it as reg does.")
set(DOVETUNE_MAINTAINER "dovetune developers <dovetune@example.org>"
    CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT ${DOVETUNE_MAINTAINER})
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

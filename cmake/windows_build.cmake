# The Windows build beside the native programs: dovetune.exe, cross-compiled
# with mingw-w64 from the same sources in the build folder's "windows"
# folder, and installed in dovetune's private folder lib/dovetune. A native
# run on a Wine prefix whose wineserver runs starts it under that Wine
# (registry/running_wine.h), which looks for it where it is installed.
include(ExternalProject)

set(DOVETUNE_WINDOWS_FOLDER lib/dovetune)
set(DOVETUNE_WINDOWS_EXE ${PROJECT_BINARY_DIR}/windows/dovetune.exe)

# Its names are UTF-8 (see DOVETUNE_UTF8_CODE_PAGE), so that under Wine it
# reaches every name the native programs reach. A build of its own, with none of the native build's flags (a packager's
# hardening flags, a sanitizer, another C++ runtime): its compiler takes only
# the flags the toolchain gives it, and the linker strips it.
ExternalProject_Add(dovetune_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PROJECT_BINARY_DIR}/windows
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_CXX_FLAGS=
             -DCMAKE_EXE_LINKER_FLAGS=-s
             -DDOVETUNE_WERROR=${DOVETUNE_WERROR}
             -DDOVETUNE_TESTS=OFF
             -DDOVETUNE_BENCHMARKS=OFF
             -DDOVETUNE_UTF8_CODE_PAGE=ON
  BUILD_BYPRODUCTS ${DOVETUNE_WINDOWS_EXE}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)

install(FILES ${DOVETUNE_WINDOWS_EXE}
        DESTINATION ${DOVETUNE_WINDOWS_FOLDER})

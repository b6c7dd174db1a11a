# The tests of the cross-compiled Windows build, run under Wine on the build
# machine. GoogleTest is built from source with the cross compiler (Debian's
# googletest package ships it), and every test program runs through Wine:
#   - in a Wine prefix of the build folder's own (wine-prefix), never the
#     user's, since the tests clear the tool's keys in it;
#   - one at a time, whatever ctest -j says, because all of them share that
#     prefix's registry;
#   - without Wine's own debug output, so that standard error is the program's.
# The tests are listed when ctest runs, not when they are built, so that a
# build needs no Wine. .ci/windows.sh makes the prefix fresh and keeps its
# wineserver up while ctest runs.

set(DOVETUNE_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest sources, built here with the cross compiler")
set(DOVETUNE_WINE /usr/lib/wine/wine64 CACHE FILEPATH "The Wine loader that runs the tests")
set(DOVETUNE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix
    CACHE PATH "The Wine prefix the tests run in")

if(NOT EXISTS ${DOVETUNE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${DOVETUNE_GOOGLETEST_SOURCE} "
                      "(Debian: apt-get install googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${DOVETUNE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_library(GTest::gtest ALIAS gtest)
add_library(GTest::gtest_main ALIAS gtest_main)

set(CMAKE_CROSSCOMPILING_EMULATOR
    flock ${CMAKE_BINARY_DIR}/wine.lock
    env WINEPREFIX=${DOVETUNE_WINEPREFIX} WINEDEBUG=-all ${DOVETUNE_WINE})
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

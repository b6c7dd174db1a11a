# Whether the tests and the benchmarks are built, from DOVETUNE_TESTS and
# DOVETUNE_BENCHMARKS (AUTO, ON or OFF) and the libraries installed. A part
# asked for with ON whose library is missing stops the configuration and says
# which Debian package brings it.

# Sets |result| to whether |part| is built: never for OFF, when |found| for
# AUTO, and for ON only when |found| (else the configuration stops). |missing|
# says what is wrong when it is not found.
function(dovetune_decide result part setting found missing package)
  string(TOUPPER "${${setting}}" wanted)
  if(wanted MATCHES "^(OFF|FALSE|NO|0)$")
    message(STATUS "${part}: off")
    set(${result} OFF PARENT_SCOPE)
  elseif(found)
    message(STATUS "${part}: on")
    set(${result} ON PARENT_SCOPE)
  elseif(wanted STREQUAL "AUTO")
    message(STATUS "${part}: off (${missing}; apt-get install ${package})")
    set(${result} OFF PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${setting}=${${setting}} but ${missing} "
                        "(Debian: apt-get install ${package})")
  endif()
endfunction()

# Sets |result| to whether |source| builds and links with the imported
# |library| found: one built for another C++ runtime (libstdc++ or libc++) or
# compiler does not, and its part is then left out rather than break the build.
function(dovetune_library_usable result library source)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_LIBRARIES ${library})
  set(CMAKE_REQUIRED_QUIET ON)
  string(MAKE_C_IDENTIFIER "DOVETUNE_USABLE_${library}" cache_entry)
  check_cxx_source_compiles("${source}" ${cache_entry})
  set(${result} ${${cache_entry}} PARENT_SCOPE)
endfunction()

# Sets |result| to whether the tests are built.
function(dovetune_find_tests result)
  set(found FALSE)
  set(missing "GoogleTest is not found")
  set(package libgtest-dev)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Built from GoogleTest's sources with the cross compiler (wine-tests.cmake).
    set(source /usr/src/googletest)
    if(DEFINED DOVETUNE_GOOGLETEST_SOURCE)
      set(source ${DOVETUNE_GOOGLETEST_SOURCE})
    endif()
    if(EXISTS ${source}/CMakeLists.txt)
      set(found TRUE)
    endif()
    set(package googletest)
  elseif(NOT DOVETUNE_TESTS MATCHES "^(OFF|off|0)$")
    find_package(GTest QUIET)
    if(GTest_FOUND)
      dovetune_library_usable(found GTest::gtest_main
                              "#include <gtest/gtest.h>\nTEST(Usable, Links) { EXPECT_EQ(1, 1); }")
      set(missing "the GoogleTest found does not link with this compiler's programs")
    endif()
  endif()
  dovetune_decide(decided Tests DOVETUNE_TESTS "${found}" "${missing}" ${package})
  set(${result} ${decided} PARENT_SCOPE)
endfunction()

# Sets |result| to whether bench/ is built: its timing tools and the Google
# Benchmark of the registry layer.
function(dovetune_find_benchmarks result)
  if(NOT DOVETUNE_BENCHMARKS MATCHES "^(OFF|off|0)$")
    find_package(benchmark QUIET)
  endif()
  set(found FALSE)
  set(missing "Google Benchmark is not found")
  if(benchmark_FOUND)
    dovetune_library_usable(found benchmark::benchmark "#include <benchmark/benchmark.h>
void Usable(benchmark::State& state) { while (state.KeepRunning()) {} }
BENCHMARK(Usable);
BENCHMARK_MAIN();")
    set(missing "the Google Benchmark found does not link with this compiler's programs")
  endif()
  dovetune_decide(decided Benchmarks DOVETUNE_BENCHMARKS "${found}" "${missing}" libbenchmark-dev)
  set(${result} ${decided} PARENT_SCOPE)
endfunction()

# Sets |result| to whether the Windows build (dovetune.exe, which a native run
# starts under Wine while Wine runs in the prefix) is built with mingw-w64
# beside the native programs, from DOVETUNE_WINDOWS_BUILD.
function(dovetune_find_windows_build result)
  set(found FALSE)
  if(NOT DOVETUNE_WINDOWS_BUILD MATCHES "^(OFF|off|0)$")
    find_program(DOVETUNE_MINGW_POSIX_CXX x86_64-w64-mingw32-g++-posix)
    if(DOVETUNE_MINGW_POSIX_CXX)
      set(found TRUE)
    endif()
  endif()
  dovetune_decide(decided "Windows build" DOVETUNE_WINDOWS_BUILD "${found}"
                  "mingw-w64 is not found" g++-mingw-w64-x86-64)
  set(${result} ${decided} PARENT_SCOPE)
endfunction()

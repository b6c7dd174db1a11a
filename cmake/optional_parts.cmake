# Whether the tests and the benchmarks are built, from DOVETUNE_TESTS and
# DOVETUNE_BENCHMARKS (AUTO, ON or OFF) and the libraries installed. A part
# asked for with ON whose library is missing stops the configuration and says
# which Debian package brings it.

# Sets |result| to whether the tests are built.
function(dovetune_find_tests result)
  string(TOUPPER "${DOVETUNE_TESTS}" wanted)
  set(${result} OFF PARENT_SCOPE)
  if(wanted STREQUAL "OFF" OR wanted STREQUAL "FALSE" OR wanted STREQUAL "0")
    message(STATUS "Tests: off")
    return()
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Built from GoogleTest's sources with the cross compiler (wine-tests.cmake).
    set(source /usr/src/googletest)
    if(DEFINED DOVETUNE_GOOGLETEST_SOURCE)
      set(source ${DOVETUNE_GOOGLETEST_SOURCE})
    endif()
    set(found FALSE)
    if(EXISTS ${source}/CMakeLists.txt)
      set(found TRUE)
    endif()
    set(package googletest)
  else()
    find_package(GTest QUIET)
    set(found ${GTest_FOUND})
    set(package libgtest-dev)
  endif()
  if(found)
    message(STATUS "Tests: on")
    set(${result} ON PARENT_SCOPE)
  elseif(wanted STREQUAL "AUTO")
    message(STATUS "Tests: off (GoogleTest not found; apt-get install ${package})")
  else()
    message(FATAL_ERROR "DOVETUNE_TESTS=${DOVETUNE_TESTS} but GoogleTest is not found "
                        "(Debian: apt-get install ${package})")
  endif()
endfunction()

# Sets |result| to whether bench/ is built: its timing tools and the Google
# Benchmark of the registry layer.
function(dovetune_find_benchmarks result)
  string(TOUPPER "${DOVETUNE_BENCHMARKS}" wanted)
  set(${result} OFF PARENT_SCOPE)
  if(wanted STREQUAL "OFF" OR wanted STREQUAL "FALSE" OR wanted STREQUAL "0")
    message(STATUS "Benchmarks: off")
    return()
  endif()
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    message(STATUS "Benchmarks: on")
    set(${result} ON PARENT_SCOPE)
  elseif(wanted STREQUAL "AUTO")
    message(STATUS "Benchmarks: off (Google Benchmark not found; "
                   "apt-get install libbenchmark-dev)")
  else()
    message(FATAL_ERROR "DOVETUNE_BENCHMARKS=${DOVETUNE_BENCHMARKS} but Google Benchmark "
                        "is not found (Debian: apt-get install libbenchmark-dev)")
  endif()
endfunction()

# Whether the tests and the benchmarks are built, from DOVETUNE_TESTS and
# DOVETUNE_BENCHMARKS (AUTO, ON or OFF) and the libraries installed. A part
# asked for with ON whose library is missing stops the configuration and says
# which Debian package brings it.

# Sets |result| to whether |part| is built: never for OFF, when |found| for
# AUTO, and for ON only when |found| (else the configuration stops).
function(dovetune_decide result part setting found library package)
  string(TOUPPER "${${setting}}" wanted)
  if(wanted MATCHES "^(OFF|FALSE|NO|0)$")
    message(STATUS "${part}: off")
    set(${result} OFF PARENT_SCOPE)
  elseif(found)
    message(STATUS "${part}: on")
    set(${result} ON PARENT_SCOPE)
  elseif(wanted STREQUAL "AUTO")
    message(STATUS "${part}: off (${library} not found; apt-get install ${package})")
    set(${result} OFF PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${setting}=${${setting}} but ${library} is not found "
                        "(Debian: apt-get install ${package})")
  endif()
endfunction()

# Sets |result| to whether the tests are built.
function(dovetune_find_tests result)
  set(found FALSE)
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
    set(found ${GTest_FOUND})
  endif()
  dovetune_decide(decided Tests DOVETUNE_TESTS "${found}" GoogleTest ${package})
  set(${result} ${decided} PARENT_SCOPE)
endfunction()

# Sets |result| to whether bench/ is built: its timing tools and the Google
# Benchmark of the registry layer.
function(dovetune_find_benchmarks result)
  if(NOT DOVETUNE_BENCHMARKS MATCHES "^(OFF|off|0)$")
    find_package(benchmark QUIET)
  endif()
  dovetune_decide(decided Benchmarks DOVETUNE_BENCHMARKS "${benchmark_FOUND}"
                  "Google Benchmark" libbenchmark-dev)
  set(${result} ${decided} PARENT_SCOPE)
endfunction()

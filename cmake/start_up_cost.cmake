# A run of the tool is short, so resolving the symbols of the shared C++
# runtime and SQLite libraries at every start costs more than the run's own
# work (three quarters of the instructions of "view" on a fresh store). Off
# Windows the tool therefore links them statically where a static library is
# installed. The sanitizer build keeps them shared, as the sanitizers expect.

set(DOVETUNE_SQLITE_LIBRARY SQLite::SQLite3)
set(DOVETUNE_STATIC_RUNTIME OFF)
if(NOT WIN32 AND NOT DOVETUNE_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(DOVETUNE_STATIC_RUNTIME ON)
  find_library(DOVETUNE_SQLITE3_STATIC NAMES libsqlite3.a)
  if(DOVETUNE_SQLITE3_STATIC)
    find_package(Threads REQUIRED)
    set(DOVETUNE_SQLITE_LIBRARY ${DOVETUNE_SQLITE3_STATIC} Threads::Threads m ${CMAKE_DL_LIBS})
  endif()
endif()

# Links |target| the way the tool is linked.
function(dovetune_link_runtime target)
  if(DOVETUNE_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

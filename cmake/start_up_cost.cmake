# A run of the tool is short, so resolving the symbols of the shared C++
# runtime and SQLite libraries at every start costs more than the run's own
# work (three quarters of the instructions of "view" on a fresh store). Off
# Windows the tool therefore links them statically where a static library is
# installed. The sanitizer build keeps them shared, as the sanitizers expect.
#
# What is left for the dynamic loader is mostly relocating the program
# itself: a position-independent program has a relative relocation for every
# address it stores (vtables, SQLite's tables of functions), thousands of
# them. Packed relative relocations (DT_RELR, binutils 2.38 and glibc 2.36)
# take a fraction of the loader's time for those, and dropping the functions
# and data nothing calls shrinks both the relocations and the pages a run
# maps. (The C library's math library stays shared: glibc's libm.a only links
# into fully static programs.)

set(DOVETUNE_SQLITE_LIBRARY SQLite::SQLite3)
set(DOVETUNE_STATIC_RUNTIME OFF)
set(DOVETUNE_LEAN_LINK_OPTIONS)
set(DOVETUNE_LTO OFF)
if(NOT WIN32 AND NOT DOVETUNE_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(DOVETUNE_STATIC_RUNTIME ON)
  find_library(DOVETUNE_SQLITE3_STATIC NAMES libsqlite3.a)
  if(DOVETUNE_SQLITE3_STATIC)
    find_package(Threads REQUIRED)
    set(DOVETUNE_SQLITE_LIBRARY ${DOVETUNE_SQLITE3_STATIC} Threads::Threads m ${CMAKE_DL_LIBS})
  endif()
  add_compile_options(-ffunction-sections -fdata-sections)
  list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -Wl,--gc-sections)
  # Each registry call of a run passes through small functions in as many
  # files (CRegistry, the Win32-style entry points, the embedded registry and
  # its cache); optimised across files at link time they are inlined into one
  # another, a tenth fewer instructions for a listing of 10,000 presets. The
  # objects keep their machine code too, so that the tests, which are not
  # linked this way, link as fast as before.
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(DOVETUNE_LTO ON)
    add_compile_options(-flto=auto -ffat-lto-objects)
    list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -flto=auto)
  endif()
  if(NOT CMAKE_VERSION VERSION_LESS 3.18)
    include(CheckLinkerFlag)
    check_linker_flag(CXX -Wl,-z,pack-relative-relocs DOVETUNE_HAVE_PACKED_RELOCATIONS)
    if(DOVETUNE_HAVE_PACKED_RELOCATIONS)
      list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -Wl,-z,pack-relative-relocs)
    endif()
  endif()
endif()

# Links |target| the way the tool is linked.
function(dovetune_link_runtime target)
  if(DOVETUNE_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
                        ${DOVETUNE_LEAN_LINK_OPTIONS})
  endif()
endfunction()

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
#
# Each setting is used only where a test program builds with it at configure
# time: a static C++ runtime only where its library is installed (Fedora ships
# libstdc++.a apart, macOS has no static libc++), dropping unused sections
# with the option the linker takes (GNU ld, gold and lld: --gc-sections;
# Apple's ld: -dead_strip), link-time optimisation only where the linker can
# read the compiler's objects (clang's need lld or the gold plugin).

set(DOVETUNE_SQLITE_LIBRARY SQLite::SQLite3)
set(DOVETUNE_STATIC_RUNTIME OFF)
set(DOVETUNE_LEAN_LINK_OPTIONS)
set(DOVETUNE_LTO OFF)
# Whether the objects hold machine code beside the code for link-time
# optimisation (GCC's fat objects), so that programs link without it too.
set(DOVETUNE_LTO_FAT_OBJECTS OFF)
# The fuzzers' configuration builds the program its own way.
option(DOVETUNE_START_UP_SETTINGS "Link the programs for a fast start" ON)

# Sets |result| (a cached check) to whether a small C++ program builds with
# the compile and link |flags| (one string) and links with the |link_options|
# (a list) besides.
function(dovetune_builds_with result flags link_options)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "${flags}")
  set(CMAKE_REQUIRED_LINK_OPTIONS ${link_options})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles("#include <stdexcept>
#include <string>
int main(int argc, char**) {
  try {
    throw std::runtime_error(std::to_string(argc));
  } catch (const std::exception& e) {
    return e.what()[0] == '1' ? 0 : 1;
  }
}" ${result})
  if(${result})
    message(STATUS "Start-up setting ${result}: yes")
  else()
    message(STATUS "Start-up setting ${result}: no")
  endif()
endfunction()

if(DOVETUNE_START_UP_SETTINGS AND NOT WIN32 AND NOT DOVETUNE_SANITIZE AND
   CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # libstdc++ or libc++, whichever the compiler links, with its support
  # library. clang only warns about an option it cannot use (as on macOS,
  # which has no static libc++): that counts as failure here.
  set(strict "")
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(strict "-Werror=unused-command-line-argument")
  endif()
  dovetune_builds_with(DOVETUNE_HAVE_STATIC_CXX_RUNTIME "${strict}"
                       "-static-libstdc++;-static-libgcc")
  if(DOVETUNE_HAVE_STATIC_CXX_RUNTIME)
    set(DOVETUNE_STATIC_RUNTIME ON)
    list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -static-libstdc++ -static-libgcc)
  endif()
  find_library(DOVETUNE_SQLITE3_STATIC NAMES libsqlite3.a)
  if(DOVETUNE_SQLITE3_STATIC)
    find_package(Threads REQUIRED)
    set(DOVETUNE_SQLITE_LIBRARY ${DOVETUNE_SQLITE3_STATIC} Threads::Threads m ${CMAKE_DL_LIBS})
  endif()

  dovetune_builds_with(DOVETUNE_HAVE_GC_SECTIONS "-ffunction-sections -fdata-sections"
                       "-Wl,--gc-sections")
  if(NOT DOVETUNE_HAVE_GC_SECTIONS)
    dovetune_builds_with(DOVETUNE_HAVE_DEAD_STRIP "-ffunction-sections -fdata-sections"
                         "-Wl,-dead_strip")
  endif()
  if(DOVETUNE_HAVE_GC_SECTIONS OR DOVETUNE_HAVE_DEAD_STRIP)
    add_compile_options(-ffunction-sections -fdata-sections)
    if(DOVETUNE_HAVE_GC_SECTIONS)
      list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -Wl,--gc-sections)
    else()
      list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -Wl,-dead_strip)
    endif()
  endif()

  # Each registry call of a run passes through small functions in as many
  # files (CRegistry, the Win32-style entry points, the embedded registry and
  # its cache); optimised across files at link time they are inlined into one
  # another, a tenth fewer instructions for a listing of 10,000 presets.
  # GCC's objects keep their machine code too, so that the tests link without
  # it, and quickly. clang's objects hold no machine code, so every
  # program built from them (the tests' too) is linked with ThinLTO, which
  # does that part of the compiling in parallel.
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      dovetune_builds_with(DOVETUNE_HAVE_LTO "-flto=auto -ffat-lto-objects" "")
      if(DOVETUNE_HAVE_LTO)
        set(DOVETUNE_LTO ON)
        set(DOVETUNE_LTO_FAT_OBJECTS ON)
        add_compile_options(-flto=auto -ffat-lto-objects)
        list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -flto=auto)
      endif()
    else()
      dovetune_builds_with(DOVETUNE_HAVE_LTO "-flto=thin" "")
      if(NOT DOVETUNE_HAVE_LTO)
        dovetune_builds_with(DOVETUNE_HAVE_LTO_LLD "-flto=thin" "-fuse-ld=lld")
      endif()
      if(DOVETUNE_HAVE_LTO OR DOVETUNE_HAVE_LTO_LLD)
        set(DOVETUNE_LTO ON)
        add_compile_options(-flto=thin)
        add_link_options(-flto=thin)
        if(NOT DOVETUNE_HAVE_LTO)
          add_link_options(-fuse-ld=lld)
        endif()
      endif()
    endif()
  endif()
  dovetune_builds_with(DOVETUNE_HAVE_PACKED_RELOCATIONS "" "-Wl,-z,pack-relative-relocs")
  if(DOVETUNE_HAVE_PACKED_RELOCATIONS)
    list(APPEND DOVETUNE_LEAN_LINK_OPTIONS -Wl,-z,pack-relative-relocs)
  endif()
endif()

# Links |target| the way the tool is linked.
function(dovetune_link_runtime target)
  target_link_options(${target} PRIVATE ${DOVETUNE_LEAN_LINK_OPTIONS})
endfunction()

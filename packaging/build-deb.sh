#!/usr/bin/env bash
# Builds the Debian package in build-deb/, a build folder of its own (CPack
# rewrites the install_manifest.txt of the folder it runs in, which would lose
# the list of files a `cmake --install build` put in place). The compiler and
# linker take dpkg-buildflags' flags with every hardening feature, as a
# Debian package build does. The programs are built for /usr, where the
# package puts them: dovetune looks for its Windows build (built when
# mingw-w64 is installed) in /usr/lib/dovetune. Prints the package's path.
# Usage: bash packaging/build-deb.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake takes no CPPFLAGS: the preprocessor's flags go with the compiler's.
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

rm -rf "$build"
mkdir -p "$build"
log=$build/build.log
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DDOVETUNE_TESTS=OFF \
  -DDOVETUNE_BENCHMARKS=OFF >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
cmake --build "$build" -j2 >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
(cd "$build" && cpack -G DEB -B package) >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
ls "$PWD/$build"/package/dovetune_*.deb

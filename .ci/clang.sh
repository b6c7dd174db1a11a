#!/usr/bin/env bash
# The build with clang and libc++, the compiler and C++ runtime of macOS and
# FreeBSD, with warnings as errors, and its tests. GoogleTest is built from
# Debian's sources against libc++ (libgtest-dev is built for libstdc++, and
# does not link with libc++). Left out here and run by the GCC build: the
# tests on a real Wine prefix (label wine) and the Windows build they use,
# which check Wine's behaviour rather than the compiler's and take most of
# the time, and the stress test.
# Runs by itself too: bash .ci/clang.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing cmake make clang lld libc++-dev libc++abi-dev googletest libsqlite3-dev

export CC=clang CXX=clang++ CXXFLAGS="-stdlib=libc++" LDFLAGS="-stdlib=libc++"
googletest=$PWD/build-clang-googletest
echo "== GoogleTest for libc++"
if [ ! -f "$googletest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$googletest/build" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$googletest/install" >/dev/null
  cmake --build "$googletest/build" -j2 >/dev/null
  cmake --install "$googletest/build" >/dev/null
fi

echo "== build and test with clang and libc++ (warnings as errors)"
cmake -S . -B build-clang -DDOVETUNE_WERROR=ON -DDOVETUNE_TESTS=ON -DDOVETUNE_WINDOWS_BUILD=OFF \
  -DCMAKE_PREFIX_PATH="$googletest/install"
cmake --build build-clang -j2
ctest --test-dir build-clang -j2 --output-on-failure --no-tests=error --label-exclude '^(wine|stress)$'

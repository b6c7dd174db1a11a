#!/usr/bin/env bash
# The Windows build: cross-compiles dovetune.exe and its tests with mingw-w64,
# then runs the tests under Wine, against Wine's registry, in a Wine prefix
# made fresh for this run (the tests clear the tool's keys in it).
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing cmake make g++-mingw-w64-x86-64 wine64 googletest python3

build=build-windows
wine_tools=/usr/lib/wine

echo "== Windows build (mingw-w64)"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DDOVETUNE_WERROR=ON \
  -DDOVETUNE_TESTS=ON -DDOVETUNE_WINE="$wine_tools/wine64" -DDOVETUNE_WINEPREFIX="$PWD/$build/wine-prefix"
cmake --build "$build" -j2

echo "== Windows tests under Wine"
export WINEPREFIX="$PWD/$build/wine-prefix" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# One wineserver for the whole run, so that each test starts in well under a
# second; it is stopped however the run ends.
"$wine_tools/wineserver" -p
trap '"$wine_tools/wineserver" -k || true' EXIT
# The prefix needs neither .NET nor a browser engine: don't offer to fetch them.
if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_tools/wine64" wineboot -i \
  >"$build/wineboot.log" 2>&1; then
  cat "$build/wineboot.log"
  exit 1
fi
# All tests share the prefix's registry: they run one at a time.
ctest --test-dir "$build" --output-on-failure --no-tests=error

echo "== golden output of the Windows build under Wine"
# The corpus the native build is held to, on Wine's registry in the same
# prefix and through the same wineserver.
python3 tests/golden/golden.py --store windows --exe "$build/dovetune.exe" \
  --wineprefix "$WINEPREFIX" tests/golden/corpus.txt

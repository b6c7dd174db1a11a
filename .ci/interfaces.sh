#!/usr/bin/env bash
# Checks that the programs' own code (not the tests, benchmarks or fuzzers)
# uses only interfaces every POSIX system has: each source is compiled for
# syntax only with .ci/posix_interfaces.h forced in first, which poisons the
# names only Linux or GNU offer and reads the source as a system other than
# Linux. Sources with a branch for macOS are read again with __APPLE__
# defined. Runs by itself too: bash .ci/interfaces.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing g++ libsqlite3-dev

echo "== the programs use only POSIX interfaces"
check() {
  local source=$1
  shift
  local extra=()
  [ "$source" = base/sync_to_disk.cpp ] && extra+=(-DDOVETUNE_SYNC_HOME)
  g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I. -DDOVETUNE_VERSION='"0"' \
    -include .ci/posix_interfaces.h "${extra[@]}" "$@" "$source"
}
export -f check
# Everything of app/, base/, presets/, registry/ and regtool/ but what only
# the Windows build compiles.
sources=$(git ls-files 'app/*.cpp' 'base/*.cpp' 'presets/*.cpp' 'registry/*.cpp' 'regtool/*.cpp' |
  grep -v '_windows\.cpp$')
printf '%s\n' $sources | xargs -P2 -I{} bash -c 'check {}'
printf '%s\n' $sources | { xargs grep -l '__APPLE__' || true; } |
  xargs -r -P2 -I{} bash -c 'check {} -DDOVETUNE_READ_AS_APPLE'
echo "$(printf '%s\n' $sources | wc -l) sources checked"

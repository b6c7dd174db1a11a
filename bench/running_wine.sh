#!/usr/bin/env bash
# How long a user waits for one command while Wine runs in the prefix: a warm
# `dovetune use` through the running Wine (the Windows build under a
# persistent wineserver), the same command on an idle copy of the prefix
# (native, on user.reg), and Wine's own `reg add` of one value, each the mean
# of RUNS runs after one to warm up. Everything runs with a HOME, TMPDIR and
# prefixes of its own under BUILD/running-wine:
#
#   bash bench/running_wine.sh [BUILD [RUNS]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
runs=${2:-10}
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
[[ -f $build/windows/dovetune.exe ]] || { echo "no Windows build in $build/windows" >&2; exit 1; }

work=$build/running-wine
rm -rf "$work"
mkdir -p "$work/home" "$work/tmp"
export HOME=$work/home TMPDIR=$work/tmp WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DOVETUNE_WINDOWS_EXE=$build/windows/dovetune.exe
WINEPREFIX=$work/idle "$wine" wineboot -i >/dev/null 2>&1
WINEPREFIX=$work/idle "$server" -w
cp -a "$work/idle" "$work/running"
export WINEPREFIX=$work/running
"$server" -p </dev/null >/dev/null 2>&1
trap 'WINEPREFIX=$work/running "$server" -k || true' EXIT

# Prints the mean wall time of |runs| runs of the command, in milliseconds.
mean() {
  "$@" >/dev/null 2>&1 || true
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1 || true; done
  end=$(date +%s%N)
  echo $(((end - start) / runs / 1000000))
}
for prefix in idle running; do
  DOVETUNE_REGISTRY=$work/$prefix "$build/dovetune" create fast -cbr 128 >/dev/null
done
printf '%-40s %6s\n' "command" "ms"
printf '%-40s %6s\n' "use, through the running Wine" \
  "$(mean env DOVETUNE_REGISTRY="$work/running" "$build/dovetune" use fast)"
printf '%-40s %6s\n' "use, idle prefix (native)" \
  "$(mean env DOVETUNE_REGISTRY="$work/idle" WINEPREFIX="$work/idle" "$build/dovetune" use fast)"
printf '%-40s %6s\n' "wine reg add, one value" \
  "$(mean "$wine" reg add 'HKCU\Software\T' /v x /t REG_DWORD /d 2 /f)"

#!/usr/bin/env bash
# The timing table for the Windows build under Wine, where the presets live in
# Wine's registry. Called by bench/run.sh:
#
#   bash bench/wine.sh PATH/dovetune.exe RUNS WARMUP SIZE...
#
# All sizes share one Wine prefix, which grows from the smallest store to the
# largest, so each size is timed in a run of its own; within a run the floor
# (a do-nothing program built for Windows) and the command run side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/table.sh

exe="$(realpath "$1")"
runs="$2"
warmup="$3"
shift 3
sizes=("$@")

build=build-bench
work="$PWD/$build/wine"
wine=/usr/lib/wine/wine64
timer="$PWD/$build/bench/dovetune_process_timer"

echo "== Windows build under Wine: $exe"
if [ ! -x "$wine" ]; then
  echo "== skipped: Wine ($wine) is not installed"
  exit 0
fi
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-mingw-w64-x86-64 >/dev/null
fi

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
x86_64-w64-mingw32-g++ -O2 -static -o "$work/floor.exe" bench/floor.cpp
# One server for the whole table, so that no run pays for starting it.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k || true' EXIT
"$wine" wineboot --init >/dev/null 2>&1
"$wine" "$exe" >/dev/null

# Adds numbered presets to the registry until it holds |$1| presets in all.
grow_store() {
  local from="$1" to="$2" file="$work/presets.reg"
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    for ((i = from; i <= to; i++)); do
      printf '[HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\preset-%05d]\n' "$i"
      printf '"DefBitRate"=dword:%08x\n"DefVbrMode"=dword:%08x\n' $((96 + i % 4 * 32)) $((i % 2 * 6))
      printf '"DefCodecQuality"=dword:00000001\n"DefAacProfile"=dword:00000005\n'
      printf '"DefUsePNS"=dword:00000000\n"DefDownmix"=dword:%08x\n' $((i % 3 == 0))
      printf '"DefMuxIntoVideo"=dword:00000000\n"DefExportAAC"=dword:00000000\n'
      printf '"DefHintForStreaming"=dword:00000000\n"DefOptimize"=dword:00000000\n\n'
    done
  } >"$file"
  "$wine" regedit /S "$file"
}

# Commands that change the store are undone, untimed, before each timed run.
# Before the first run there is nothing to undo, and the undoing command says
# so with its exit status.
commands=("view" "view fast" "create newone" "edit fast -cbr 128" "use fast" "delete fast")
undo_of() {
  case "$1" in
    create*) echo "$wine $exe delete newone >/dev/null || true" ;;
    delete*) echo "$wine $exe create fast -cbr 128 -codecquality_fast >/dev/null || true" ;;
    *) echo "" ;;
  esac
}

"$wine" "$exe" create fast -cbr 128 -codecquality_fast >/dev/null
results="$work/results.tsv"
: >"$results"
presets=2
for size in "${sizes[@]}"; do
  [ "$size" -gt "$presets" ] && grow_store "$((presets - 1))" "$((size - 2))"
  presets="$size"
  for command in "${commands[@]}"; do
    read -ra words <<<"$command"
    undo="$(undo_of "$command")"
    {
      printf 'floor|-\t%s\t%s\t%s\n' "$undo" "$wine" "$work/floor.exe"
      printf '%s|%s\t%s\t%s\t%s' "$command" "$size" "$undo" "$wine" "$exe"
      printf '\t%s' "${words[@]}"
      printf '\n'
    } | "$timer" "$runs" "$warmup" >>"$results"
  done
  # The last command deleted the preset that the next size's commands use.
  "$wine" "$exe" create fast -cbr 128 -codecquality_fast >/dev/null
done

# Regroup: one floor per command, then the command on every size, as the table
# expects. The floor shown is the one timed beside the smallest store.
sorted="$work/table.tsv"
awk -F'\t' '
  { split($1, label, "|") }
  label[1] == "floor" { floor = $0; next }
  !(label[1] in rows) { order[++count] = label[1]; rows[label[1]] = floor "\n" }
  { rows[label[1]] = rows[label[1]] $0 "\n" }
  END { for (i = 1; i <= count; i++) printf "%s", rows[order[i]] }' "$results" >"$sorted"

echo
echo "Wine $("$wine" --version 2>/dev/null); medians of $runs runs; floor = a do-nothing .exe"
echo "(sizes were timed one after another, so \"x fresh\" is not side by side here)"
print_table "$sorted"
check_targets "$sorted" "${sizes[-1]}"

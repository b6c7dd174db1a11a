#!/usr/bin/env bash
# Times whole runs of dovetune against a do-nothing floor, on stores of 2, 100,
# 1,000 and 10,000 presets, and prints a table with the targets it checks:
# times, peak memory and the instructions of each run (which do not depend on
# how busy the machine is), what syncing to disk costs a changing run, and
# the size of the largest store beside the same data as a .reg file; then the
# same for a Wine prefix as the store (bench/wine_prefix.sh).
#
#   bash bench/run.sh                  # the full table (a few minutes)
#   bash bench/run.sh --smoke          # smallest store, few runs: checks the script works
#   bash bench/run.sh --exe PATH/dovetune.exe   # also the table under Wine
#
# Except with --smoke, it also times the Wine-prefix store on prefixes grown
# by Wine to 1, 5 and 20 MB (bench/wine_grown.sh; Wine needed, else skipped).
# It builds its own release build in build-bench/ and keeps its stores there.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/table.sh
source bench/instructions.sh
source .ci/packages.sh

sizes=(2 100 1000 10000)
runs=21
warmup=3
windows_exe=""
registry_benchmark_time=0.2
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) sizes=(2); runs=3; warmup=1; registry_benchmark_time=0.01 ;;
    --runs) runs="$2"; shift ;;
    --exe) windows_exe="$2"; shift ;;
    *) echo "usage: bash bench/run.sh [--smoke] [--runs N] [--exe PATH/dovetune.exe]" >&2; exit 2 ;;
  esac
  shift
done

build=build-bench
work="$build/stores"


echo "== release build in $build/"
install_missing cmake g++ make libsqlite3-dev libbenchmark-dev valgrind linux-perf
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDOVETUNE_TESTS=OFF \
  -DDOVETUNE_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
tool="$PWD/$build/dovetune"
floor="$PWD/$build/bench/dovetune_floor"
timer="$PWD/$build/bench/dovetune_process_timer"

echo "== stores of ${sizes[*]} presets in $work/"
rm -rf "$work"
mkdir -p "$work"
for size in "${sizes[@]}"; do
  "$build/bench/dovetune_make_store" "$work/base-$size.db" "$size"
done

# The commands under test; "fast" is a preset of every store, at a constant
# bitrate of 128, so that "edit" changes it and has a change to sync.
commands=("view" "view fast" "create newone" "edit fast -cbr 96" "use fast" "delete fast")

# One timing case: label, the untimed step that restores the store, the program.
# The restored copy is synced before the run: left dirty, its megabytes would
# be written out by the changing run's own sync, which a store at rest never
# asks of it.
native_case() {
  local label="$1" size="$2" program="$3"
  shift 3
  local store="$PWD/$work/run-$size.db"
  local restore="cp $PWD/$work/base-$size.db $store && sync $store"
  printf '%s\t%s\tDOVETUNE_REGISTRY=%s\t%s' "$label" "$restore" "$store" "$program"
  printf '\t%s' "$@"
  printf '\n'
}

echo "== timing: $runs runs after $warmup warm-up runs, every case in turn"
results="$work/results.tsv"
: >"$results"
for command in "${commands[@]}"; do
  read -ra words <<<"$command"
  {
    native_case "floor|-" "${sizes[0]}" "$floor"
    for size in "${sizes[@]}"; do
      native_case "$command|$size" "$size" "$tool" "${words[@]}"
    done
  } | "$timer" "$runs" "$warmup" >>"$results"
done

counter="$(instructions_counter)"
echo "== instructions: one run of each case, counted by $counter"
instructions="$work/instructions.tsv"
printf 'floor|-\t%s\n' "$(count_instructions "$counter" "$floor")" >"$instructions"
for command in "${commands[@]}"; do
  read -ra words <<<"$command"
  for size in "${sizes[@]}"; do
    cp "$work/base-$size.db" "$work/run-$size.db"
    printf '%s|%s\t%s\n' "$command" "$size" "$(DOVETUNE_REGISTRY="$PWD/$work/run-$size.db" \
      count_instructions "$counter" "$tool" "${words[@]}")" >>"$instructions"
  done
done

# A changing run syncs the store to disk when it commits; on a file system in
# memory the same run syncs nothing, so the difference is what syncing costs.
echo "== syncing: changing runs on the disk and in memory (/dev/shm)"
memory="$(mktemp -d /dev/shm/dovetune-bench.XXXXXX)"
trap 'rm -rf "$memory"' EXIT
syncs="$work/syncs.tsv"
{
  for command in "edit fast -cbr 96" "use fast"; do
    read -ra words <<<"$command"
    native_case "$command|disk" "${sizes[0]}" "$tool" "${words[@]}"
    native_case "$command|memory" "${sizes[0]}" "$tool" "${words[@]}" |
      sed "s|$PWD/$work/run-|$memory/run-|g"
  done
} | "$timer" "$runs" "$warmup" >"$syncs"

# The changing runs on the largest store beside the same on the smallest, both
# in memory: how a run's own work grows with the store, apart from what
# syncing the pages of a larger file costs the disk.
unsynced="$work/unsynced.tsv"
: >"$unsynced"
if [ "${sizes[-1]}" != "${sizes[0]}" ]; then
  echo "== changing runs on the smallest and the largest store, in memory"
  for command in "${commands[@]}"; do
    [[ "$command" == view* ]] && continue
    read -ra words <<<"$command"
    for size in "${sizes[0]}" "${sizes[-1]}"; do
      native_case "$command|$size" "$size" "$tool" "${words[@]}" |
        sed "s|$PWD/$work/run-|$memory/run-|g"
    done
  done | "$timer" "$runs" "$warmup" >"$unsynced"
fi

echo
echo "Linux, $(nproc) cores; medians of $runs runs; floor = a C++ program that does nothing;"
echo "instructions in millions (M instr), and as a multiple of the floor's (i x flr)"
print_table "$results" "$instructions"
check_targets "$results" "${sizes[-1]}" "$instructions"
awk -F'\t' '
  { split($1, label, "|"); ms[label[1], label[2]] = $2; if (!(label[1] in seen)) order[++n] = label[1]; seen[label[1]] = 1 }
  END {
    for (i = 1; i <= n; i++)
      printf "sync to disk, %s on a fresh store: %.2f ms (%.2f on disk, %.2f in memory)\n",
             order[i], ms[order[i], "disk"] - ms[order[i], "memory"], ms[order[i], "disk"],
             ms[order[i], "memory"]
  }' "$syncs"
awk -F'\t' -v smallest="${sizes[0]}" -v largest="${sizes[-1]}" '
  { split($1, label, "|"); ms[label[1], label[2]] = $2; if (!(label[1] in seen)) order[++n] = label[1]; seen[label[1]] = 1 }
  END {
    for (i = 1; i <= n; i++) {
      ratio = ms[order[i], largest] / ms[order[i], smallest]
      printf "target: %-60s %9.2f (at most 1.2) %s\n",
             order[i] ", " largest " presets, x fresh, in memory (no sync)", ratio,
             ratio <= 1.2 ? "met" : "MISSED"
    }
  }' "$unsynced"

largest="${sizes[-1]}"
store_bytes="$(stat -c %s "$work/base-$largest.db")"
DOVETUNE_REGISTRY="$PWD/$work/base-$largest.db" "$build/regtool/dovetune-reg" export \
  'HKCU\Software\Orvane\Ostrel' "$work/export.reg" /y >/dev/null
reg_bytes="$(iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | wc -c)"
awk -v store="$store_bytes" -v reg="$reg_bytes" -v largest="$largest" 'BEGIN {
  printf "store of %s presets: %.2f MB on disk; the same as a UTF-8 .reg file: %.2f MB\n",
         largest, store / 1048576, reg / 1048576
  # A store of a few presets is mostly fixed pages of the file: no target.
  if (largest < 10000) exit
  ratio = store / reg
  printf "target: %-60s %9.2f (at most 2) %s\n", "store size, x the same data as a UTF-8 .reg file",
         ratio, ratio <= 2 ? "met" : "MISSED"
}'

echo
# The Wine-prefix store, on the smallest and the largest size only.
prefix_sizes=("${sizes[0]}")
if [ "${sizes[-1]}" != "${sizes[0]}" ]; then prefix_sizes+=("${sizes[-1]}"); fi
bash bench/wine_prefix.sh "$runs" "$warmup" "${prefix_sizes[@]}"
if [ "${sizes[-1]}" != "${sizes[0]}" ]; then
  echo
  bash bench/wine_grown.sh "$runs" "$warmup" 1 5 20
fi

echo
if [ -x "$build/bench/dovetune_registry_benchmark" ]; then
  echo "== registry layer (Google Benchmark)"
  "$build/bench/dovetune_registry_benchmark" --benchmark_min_time="$registry_benchmark_time"
else
  echo "== registry layer: skipped, Google Benchmark (libbenchmark-dev) is not installed"
fi

echo
if [ -z "$windows_exe" ]; then
  echo "== Windows build under Wine: skipped (no --exe PATH/dovetune.exe given)"
else
  bash bench/wine.sh "$windows_exe" "$runs" "$warmup" "${sizes[@]}"
fi

#!/usr/bin/env bash
# Times whole runs of dovetune against a do-nothing floor, on stores of 2, 100,
# 1,000 and 10,000 presets, and prints a table with the targets it checks.
#
#   bash bench/run.sh                  # the full table (a few minutes)
#   bash bench/run.sh --smoke          # smallest store, few runs: checks the script works
#   bash bench/run.sh --exe PATH/dovetune.exe   # also the table under Wine
#
# It builds its own release build in build-bench/ and keeps its stores there.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/table.sh
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
install_missing cmake g++ make libsqlite3-dev libbenchmark-dev
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

# The commands under test; "fast" is a preset of every store.
commands=("view" "view fast" "create newone" "edit fast -cbr 128" "use fast" "delete fast")

# One timing case: label, the untimed step that restores the store, the program.
native_case() {
  local label="$1" size="$2" program="$3"
  shift 3
  local store="$PWD/$work/run-$size.db"
  local restore="cp $PWD/$work/base-$size.db $store"
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

echo
echo "Linux, $(nproc) cores; medians of $runs runs; floor = a C++ program that does nothing"
print_table "$results"
check_targets "$results" "${sizes[-1]}"

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

#!/usr/bin/env bash
# The timing table for a Wine prefix used as the store (its user.reg, read and
# written by dovetune itself, no Wine run), with the same presets as the
# SQLite stores of bench/run.sh. Called by it after its own table:
#
#   bash bench/wine_prefix.sh RUNS WARMUP SIZE...
#
# Each prefix starts as an empty user.reg in the form Wine writes, which the
# store maker fills through dovetune's own store, so that the file reads back
# byte for byte the same and dovetune may change it. Prints, besides the
# table, how many times slower the smallest prefix is than the SQLite store of
# the same size (side by side), and how long a run holds wineserver's lock.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/table.sh
source bench/instructions.sh
source .ci/packages.sh
install_missing strace

runs="$1"
warmup="$2"
shift 2
sizes=("$@")

build=build-bench
work="$build/prefixes"
tool="$PWD/$build/dovetune"
floor="$PWD/$build/bench/dovetune_floor"
timer="$PWD/$build/bench/dovetune_process_timer"

echo "== Wine prefixes of ${sizes[*]} presets in $work/"
rm -rf "$work"
mkdir -p "$work"
for size in "${sizes[@]}"; do
  mkdir -p "$work/base-$size"
  printf '%s\n' 'WINE REGISTRY Version 2' \
    ';; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000' '' '#arch=win64' '' \
    '[Software\\Wine] 1796704220' '#time=1dd86ccd5625c7a' >"$work/base-$size/user.reg"
  "$build/bench/dovetune_make_store" "$work/base-$size" "$size"
  "$build/bench/dovetune_make_store" "$work/base-$size.db" "$size"
done

commands=("view" "view fast" "use fast")

# One timing case: label, the untimed step that restores the store (synced, as
# in bench/run.sh), the program.
store_case() {
  local label="$1" base="$2" store="$3"
  shift 3
  printf '%s\tcp %s %s && sync %s\tDOVETUNE_REGISTRY=%s\t%s' "$label" "$base" "$store" "$store" \
    "$store" "$tool"
  printf '\t%s' "$@"
  printf '\n'
}
prefix_case() {
  local size="$1"
  shift
  store_case "$*|$size" "$PWD/$work/base-$size/user.reg" "$PWD/$work/run-$size/user.reg" "$@"
}

echo "== timing: $runs runs after $warmup warm-up runs, every case in turn"
for size in "${sizes[@]}"; do mkdir -p "$work/run-$size"; done
results="$work/results.tsv"
ratios="$work/ratios.tsv"
: >"$results"
: >"$ratios"
for command in "${commands[@]}"; do
  read -ra words <<<"$command"
  group="$work/group.tsv"
  {
    printf 'floor|-\t\t%s\n' "$floor"
    store_case "sqlite|${sizes[0]}" "$PWD/$work/base-${sizes[0]}.db" \
      "$PWD/$work/run-${sizes[0]}.db" "${words[@]}"
    for size in "${sizes[@]}"; do prefix_case "$size" "${words[@]}"; done
  } | "$timer" "$runs" "$warmup" >"$group"
  grep -v '^sqlite|' "$group" >>"$results"
  awk -F'\t' -v command="$command" '
    $1 ~ /^sqlite\|/ { sqlite = $2 }
    $1 == command "|" size { printf "%s\t%s\t%s\n", command, $2, sqlite }' \
    size="${sizes[0]}" "$group" >>"$ratios"
done

counter="$(instructions_counter)"
echo "== instructions and wineserver's lock: one run of each case"
instructions="$work/instructions.tsv"
locks="$work/locks.tsv"
printf 'floor|-\t%s\n' "$(count_instructions "$counter" "$floor")" >"$instructions"
: >"$locks"
for command in "${commands[@]}"; do
  read -ra words <<<"$command"
  cp "$work/base-${sizes[0]}.db" "$work/run-${sizes[0]}.db"
  printf 'sqlite %s|%s\t%s\n' "$command" "${sizes[0]}" "$(DOVETUNE_REGISTRY="$PWD/$work/run-${sizes[0]}.db" \
    count_instructions "$counter" "$tool" "${words[@]}")" >>"$instructions"
  for size in "${sizes[@]}"; do
    prefix="$PWD/$work/run-$size"
    cp "$work/base-$size/user.reg" "$prefix/user.reg"
    printf '%s|%s\t%s\n' "$command" "$size" "$(DOVETUNE_REGISTRY="$prefix" \
      count_instructions "$counter" "$tool" "${words[@]}")" >>"$instructions"
    # From taking the lock to closing its file, as strace stamps the calls;
    # only those two calls are traced, so the run is barely slowed.
    cp "$work/base-$size/user.reg" "$prefix/user.reg"
    DOVETUNE_REGISTRY="$prefix" strace -f --seccomp-bpf -y -ttt -e trace=fcntl,close \
      -o "$work/strace.txt" "$tool" "${words[@]}" >/dev/null
    awk -v label="$command|$size" '
      /F_SETLK, \{l_type=F_WRLCK/ && / = 0$/ && !start { start = $2 }
      /close\([0-9]+<[^>]*\/lock>\)/ { end = $2 }
      END { printf "%s\t%.2f\n", label, (end - start) * 1000 }' "$work/strace.txt" >>"$locks"
  done
done

echo
echo "Wine prefix as the store (user.reg, no Wine running); medians of $runs runs"
print_table "$results" "$instructions"
awk -F'\t' '
  { split($1, label, "|")
    printf "wineserver lock held, %s, %s presets: %.2f ms (one run under strace)\n", label[1],
           label[2], $2 }' \
  "$locks"
awk -F'\t' -v size="${sizes[0]}" '
  FILENAME == instructions_file { instructions[$1] = $2; next }
  {
    ratio = $2 / $3
    printf "target: %-60s %9.2f (at most 2) %s\n", $1 ", fresh prefix, x the same on the SQLite store",
           ratio, ratio <= 2 ? "met" : "MISSED"
    prefix = instructions[$1 "|" size]
    sqlite = instructions["sqlite " $1 "|" size]
    if (sqlite > 0) printf "  (in instructions rather than wall time: %.2f)\n", prefix / sqlite
  }' instructions_file="$instructions" "$instructions" "$ratios"

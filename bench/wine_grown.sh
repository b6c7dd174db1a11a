#!/usr/bin/env bash
# The Wine-prefix store on prefixes as users have them: a user.reg that other
# programs have grown to megabytes (bench/realistic_reg.cpp), grown by Wine
# itself (`wine regedit /S`, then `wineserver -w`, so the file is in the form
# Wine writes), plus 20 presets added through dovetune's own store. Called by
# bench/run.sh:
#
#   bash bench/wine_grown.sh RUNS WARMUP MEGABYTES...
#
# $DOVETUNE_BENCH_TOOL, when set, is the dovetune measured instead of the
# release build's (another commit's build, say).
#
# For each size, side by side in one timer group: view, view NAME, use NAME,
# edit NAME -cbr 96, and the floors: a do-nothing program, `cat user.reg`, a
# key-header line scan of the file (bench/key_scan.cpp) and a copy of the file
# synced and renamed over it with its folder synced (bench/replace_copy.cpp).
# Then the same commands on a fresh `wineboot` prefix with the same presets
# beside the SQLite store. Prints wall and processor time, peak memory,
# instructions, how long wineserver's lock is held, the targets' ratios and
# how each grows with the file.
#
# The grown prefixes are kept in build-bench/grown/, named after what they
# were made from (generator, Wine's version, sizes), so a rerun reuses them.
set -euo pipefail
cd "$(dirname "$0")/.."
# dovetune and Wine keep lock and server folders under /tmp and /run/user:
# where it can, the bench runs in a private mount namespace with fresh ones,
# so it leaves nothing in the machine's own.
if [[ -z ${DOVETUNE_BENCH_NAMESPACE:-} && $(id -u) == 0 ]] && unshare --mount true 2>/dev/null; then
  exec unshare --mount --propagation private env DOVETUNE_BENCH_NAMESPACE=1 bash "$0" "$@"
fi
if [[ -n ${DOVETUNE_BENCH_NAMESPACE:-} ]]; then
  mount -t tmpfs tmpfs /tmp
  if [ -d /run/user ]; then mount -t tmpfs tmpfs /run/user; fi
fi
source bench/instructions.sh
source .ci/packages.sh

runs="$1"
warmup="$2"
shift 2
sizes=("$@")

build=build-bench
bin="$PWD/$build/bench"
tool="$(realpath "${DOVETUNE_BENCH_TOOL:-$build/dovetune}")"
timer="$bin/dovetune_process_timer"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

echo "== Wine prefixes grown by Wine to ${sizes[*]} MB"
if [ ! -x "$wine" ]; then
  echo "== skipped: Wine ($wine) is not installed"
  exit 0
fi
install_missing strace
for program in dovetune_realistic_reg dovetune_key_scan dovetune_replace_copy; do
  if [ ! -x "$bin/$program" ]; then
    echo "bench: $bin/$program is missing; bash bench/run.sh builds it" >&2
    exit 1
  fi
done

work="$PWD/$build/grown"
mkdir -p "$work/home" "$work/tmp"
# Everything here, Wine included, stays in this folder.
export HOME="$work/home" TMPDIR="$work/tmp" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/unused-prefix"
unset DOVETUNE_REGISTRY XDG_CONFIG_HOME

key="$(cat bench/realistic_reg.cpp bench/store_filler.cpp | cksum | cut -d' ' -f1)"
key="$key-$("$wine" --version 2>/dev/null | tr -c 'a-zA-Z0-9.\n' -)"
cache="$work/cache-$key"
mkdir -p "$cache"

# Runs Wine in prefix $1 with the rest of the arguments and waits for its
# server to save the registry and end.
in_wine() {
  local prefix="$1"
  shift
  WINEPREFIX="$prefix" "$wine" "$@" >/dev/null 2>&1
  WINEPREFIX="$prefix" "$wineserver" -w
}

if [ ! -f "$cache/booted/user.reg" ]; then
  echo "== wineboot of a fresh prefix"
  rm -rf "$cache/booted"
  in_wine "$cache/booted" wineboot --init
fi
grow() {
  local name="$1" megabytes="$2"
  [ -f "$cache/$name/done" ] && return
  rm -rf "${cache:?}/$name"
  cp -a "$cache/booted" "$cache/$name"
  if [ "$megabytes" -gt 0 ]; then
    echo "== growing a prefix to $megabytes MB with wine regedit"
    "$bin/dovetune_realistic_reg" "$((megabytes * 1048576))" "$cache/$name.reg"
    in_wine "$cache/$name" regedit /S "$cache/$name.reg"
    rm -f "$cache/$name.reg"
  fi
  # default, fast and 19 more: 20 presets besides the default.
  "$bin/dovetune_make_store" "$cache/$name" 21
  touch "$cache/$name/done"
}
grow fresh 0
for size in "${sizes[@]}"; do grow "$size" "$size"; done
if [ ! -f "$cache/sqlite.db" ]; then "$bin/dovetune_make_store" "$cache/sqlite.db" 21; fi

commands=("view" "view fast" "use fast" "edit fast -cbr 96")

# One timing case: label, the store's base copy and its working copy (the
# copy is restored and synced before each run), the program.
case_line() {
  local label="$1" base="$2" copy="$3"
  shift 3
  local registry="$copy"
  [ "$(basename "$copy")" = user.reg ] && registry="$(dirname "$copy")"
  printf '%s\tcp %s %s && sync %s\tDOVETUNE_REGISTRY=%s' "$label" "$base" "$copy" "$copy" \
    "$registry"
  printf '\t%s' "$@"
  printf '\n'
}

# The cases of one size: the floors, then each command.
size_cases() {
  local size="$1" base="$cache/$1/user.reg" copy="$work/run-$1/user.reg"
  mkdir -p "$work/run-$size"
  printf 'floor|%s\t\t%s\n' "$size" "$bin/dovetune_floor"
  case_line "cat|$size" "$base" "$copy" cat "$copy"
  case_line "scan|$size" "$base" "$copy" "$bin/dovetune_key_scan" "$copy"
  case_line "copy|$size" "$base" "$copy" "$bin/dovetune_replace_copy" "$copy"
  for command in "${commands[@]}"; do
    read -ra words <<<"$command"
    case_line "$command|$size" "$base" "$copy" "$tool" "${words[@]}"
  done
}

# How long wineserver's byte is held in one run of the case
# (bench/lock_stretches.awk). Only fcntl and the exit are traced, so the run
# is barely slowed; the lock files are closed just before the exit.
lock_time() {
  local copy="$1"
  shift
  DOVETUNE_REGISTRY="$(dirname "$copy")" strace -f --seccomp-bpf -y -ttt -e trace=fcntl,exit_group \
    -o "$work/strace.txt" "$@" >/dev/null
  awk -f bench/lock_stretches.awk "$work/strace.txt"
}

echo "== timing: $runs runs after $warmup warm-up runs, every case of a size in turn"
results="$work/results.tsv"
: >"$results"
for size in fresh "${sizes[@]}"; do
  {
    size_cases "$size"
    if [ "$size" = fresh ]; then
      for command in "${commands[@]}"; do
        read -ra words <<<"$command"
        case_line "sqlite $command|fresh" "$cache/sqlite.db" "$work/run-sqlite/store.db" \
          "$tool" "${words[@]}"
      done
    fi
  } >"$work/cases.tsv"
  mkdir -p "$work/run-sqlite"
  "$timer" "$runs" "$warmup" <"$work/cases.tsv" >>"$results"
done

counter="$(instructions_counter)"
echo "== instructions (counted by $counter) and wineserver's lock: runs of each case"
measures="$work/measures.tsv"
: >"$measures"
# measure LABEL BASE COPY PROGRAM...: one line of instructions and lock time.
measure() {
  local label="$1" base="$2" copy="$3"
  shift 3
  local registry="$copy" lock="-"$'\t'"-"
  [ "$(basename "$copy")" = user.reg ] && registry="$(dirname "$copy")"
  cp "$base" "$copy"
  local count
  count="$(DOVETUNE_REGISTRY="$registry" count_instructions "$counter" "$@")"
  if [[ "$label" != sqlite* && "$1" == "$tool" ]]; then
    local stretches=() i
    for ((i = 0; i < 5; i++)); do
      cp "$base" "$copy"
      stretches+=("$(lock_time "$copy" "$@")")
    done
    # The median of five runs by the total.
    lock="$(printf '%s\n' "${stretches[@]}" | sort -n | sed -n 3p)"
  fi
  printf '%s\t%s\t%s\n' "$label" "$count" "$lock" >>"$measures"
}
for size in fresh "${sizes[@]}"; do
  base="$cache/$size/user.reg"
  copy="$work/run-$size/user.reg"
  measure "floor|$size" "$base" "$copy" "$bin/dovetune_floor"
  measure "scan|$size" "$base" "$copy" "$bin/dovetune_key_scan" "$copy"
  for command in "${commands[@]}"; do
    read -ra words <<<"$command"
    measure "$command|$size" "$base" "$copy" "$tool" "${words[@]}"
    if [ "$size" = fresh ]; then
      measure "sqlite $command|fresh" "$cache/sqlite.db" "$work/run-sqlite/store.db" "$tool" \
        "${words[@]}"
    fi
  done
done

for size in fresh "${sizes[@]}"; do
  printf '%s\t%s\n' "$size" "$(stat -c %s "$cache/$size/user.reg")"
done >"$work/sizes.tsv"
echo
echo "Grown Wine prefixes; medians of $runs runs; M instr: one run in user space ($counter);"
echo "lock: wineserver's byte held, ms (stretches joined by +), median of 5 runs under strace"
awk -f bench/wine_grown_table.awk "$work/sizes.tsv" "$work/measures.tsv" "$results"

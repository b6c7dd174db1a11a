#!/usr/bin/env bash
# Reliability checks beyond the test suite, on the build .ci/run made in build/:
# the stress test at full size, the process tests under valgrind, and the
# fuzzers (command line, .reg reader, whole import) on fixed inputs. Any
# failure, leak or crash fails CI.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing clang libclang-rt-14-dev valgrind

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command with its output kept in a log: the whole log on failure,
# else only the lines matching a pattern.
run_logged() {
  local pattern=$1
  shift
  if ! "$@" >"$work/log" 2>&1; then
    cat "$work/log"
    return 1
  fi
  grep -E "$pattern" "$work/log" || true
}

echo "== stress: 2000 runs, 8 at a time, a share of them killed"
DOVETUNE_STRESS_RUNS=2000 DOVETUNE_STRESS_PARALLEL=8 \
  run_logged '^[0-9]+: stress' ctest --test-dir build -L stress --output-on-failure --no-tests=error -V

# The kill tests are left out: a killed valgrind reports nothing. So are the
# Wine prefix tests (label wine): they stop and kill their runs at set points,
# and would run Wine itself under valgrind; and the golden output (label
# golden), whose runs take no wrapper.
echo "== process tests under valgrind"
DOVETUNE_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full \
--errors-for-leak-kinds=definite,indirect" \
  run_logged 'tests passed|Total Test time' \
  ctest --test-dir build -j2 --output-on-failure --no-tests=error -LE 'stress|wine|golden' \
  -E '^KillTest\.'

CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -DDOVETUNE_WERROR=ON >/dev/null
cmake --build build-fuzz -j2 >/dev/null

# The seeds in fuzz/corpus/$1, listed by name with the folder $2 before each,
# comma-separated, as libFuzzer's -seed_inputs takes them: given the folder,
# libFuzzer would take them in the order the file system keeps them, which
# differs from one machine (or file system) to another.
seed_list() {
  (cd "fuzz/corpus/$1" && ls | LC_ALL=C sort | sed "s|^|$2/|" | paste -sd,)
}

# libFuzzer's progress lines in log $1 (the seeds' and each new input's), less
# their speed and memory figures. The "pulse" lines are left out: libFuzzer
# prints them only once the run has taken two seconds.
progress() {
  grep -aE '^#[0-9]+	(INITED|NEW|REDUCE) ' "$1" | sed -E 's/ exec\/s: [0-9]+//; s/ rss: [0-9]+Mb//'
}

# Runs fuzzer $1 from the seeds in fuzz/corpus/$2 for $3 inputs, from a fixed
# random seed: the same inputs every run, so that a finding is a finding on
# every machine and never a matter of chance or of the machine's speed. The
# new inputs go to a folder of their own, which nothing reloads meanwhile.
# libFuzzer's own timer is off: its signal, every few seconds, sets a run on
# other inputs from the moment it first comes. An input that hangs is caught
# by the outer timeout instead, whose SIGABRT makes libFuzzer save the input
# it was running.
fuzz_fixed() {
  echo "== $1, $3 inputs"
  mkdir "$work/$1"
  seed_list "$2" "$PWD/fuzz/corpus/$2" >"$work/$1.seeds"
  run_logged '^Done|stat::number_of_executed_units|stat::peak_rss_mb' \
    timeout --signal=ABRT 900 "build-fuzz/$1" -seed=1 -runs="$3" -timeout=0 -max_len=4096 \
    -reload=0 -print_final_stats=1 -artifact_prefix="$work/$1-" \
    -seed_inputs="@$work/$1.seeds" "$work/$1"
}

# Runs fuzzer $1 for $3 inputs from folder $4, on a copy of the seeds in
# fuzz/corpus/$2 made there, and keeps its progress in $4/progress; untimed,
# as the run above.
fuzz_from() {
  local root=$PWD
  mkdir -p "$4/corpus" "$4/new"
  cp -r "fuzz/corpus/$2" "$4/corpus/"
  seed_list "$2" "$4/corpus/$2" >"$4/seeds"
  (cd "$4" && timeout 600 "$root/build-fuzz/$1" -seed=1 -runs="$3" -timeout=0 -max_len=4096 \
    -reload=0 -artifact_prefix="$4/" -seed_inputs="@$4/seeds" new) >"$4/log" 2>&1 ||
    { cat "$4/log"; return 1; }
  progress "$4/log" >"$4/progress"
}

# Runs fuzzer $1 twice for a tenth of its $3 inputs, from two folders of
# different depth, and fails unless both make the same progress: nothing of
# the run's place, of chance or of the moment may steer which inputs it tries.
fuzz_same_twice() {
  local first=$(($3 / 10))
  echo "== $1 twice more from elsewhere, $first inputs each"
  fuzz_from "$1" "$2" "$first" "$work/again-$1"
  fuzz_from "$1" "$2" "$first" "$work/and/again/$1"
  if ! diff "$work/again-$1/progress" "$work/and/again/$1/progress"; then
    echo "$1 tried other inputs the second time"
    return 1
  fi
}

fuzz_twice() {
  fuzz_fixed "$@"
  fuzz_same_twice "$@"
}
fuzz_twice command_line_fuzzer command_line 20000
fuzz_twice reg_file_fuzzer reg_file 300000
fuzz_twice import_fuzzer reg_file 20000

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
# and would run Wine itself under valgrind.
echo "== process tests under valgrind"
DOVETUNE_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full \
--errors-for-leak-kinds=definite,indirect" \
  run_logged 'tests passed|Total Test time' \
  ctest --test-dir build -j2 --output-on-failure --no-tests=error -LE 'stress|wine' -E '^KillTest\.'

CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -DDOVETUNE_WERROR=ON >/dev/null
cmake --build build-fuzz -j2 >/dev/null

# The seeds in fuzz/corpus/$1, listed by name with the folder $2 before each,
# comma-separated, as libFuzzer's -seed_inputs takes them: given the folder,
# libFuzzer would take them in the order the file system keeps them, which
# differs from one machine (or file system) to another.
seed_list() {
  (cd "fuzz/corpus/$1" && ls | LC_ALL=C sort | sed "s|^|$2/|" | paste -sd,)
}

# libFuzzer's progress lines in log $1 up to input $2 (the seeds' and each new
# input's), less their speed and memory figures. The "pulse" lines are left
# out: libFuzzer prints them only once the run has taken two seconds.
progress() {
  grep -aE '^#[0-9]+	(INITED|NEW|REDUCE) ' "$1" | sed -E 's/ exec\/s: [0-9]+//; s/ rss: [0-9]+Mb//' |
    awk -v last="$2" 'substr($1, 2) + 0 <= last'
}

# Runs fuzzer $1 from the seeds in fuzz/corpus/$2 for $3 inputs, from a fixed
# random seed: the same inputs every run, so that a finding is a finding on
# every machine and never a matter of chance or of the machine's speed. The
# new inputs go to a folder of their own, which nothing reloads meanwhile.
fuzz_fixed() {
  echo "== $1, $3 inputs"
  mkdir "$work/$1"
  seed_list "$2" "$PWD/fuzz/corpus/$2" >"$work/$1.seeds"
  run_logged '^Done|stat::number_of_executed_units|stat::peak_rss_mb' \
    "build-fuzz/$1" -seed=1 -runs="$3" -timeout=10 -max_len=4096 -reload=0 \
    -print_final_stats=1 -artifact_prefix="$work/$1-" -seed_inputs="@$work/$1.seeds" "$work/$1"
  progress "$work/log" "$3" >"$work/$1.progress"
}

# Runs fuzzer $1 again for the first tenth of its $3 inputs, from another
# folder and on a copy of its seeds elsewhere, and fails unless it reports
# the same progress as the first run did that far: nothing of the run's place,
# of chance or of the moment may steer which inputs it tries.
fuzz_same_again() {
  local again="$work/again-$1" first=$(($3 / 10)) root=$PWD
  echo "== $1 again from elsewhere, $first inputs"
  mkdir -p "$again/corpus" "$again/new"
  cp -r "fuzz/corpus/$2" "$again/corpus/"
  seed_list "$2" "$again/corpus/$2" >"$again/seeds"
  (cd "$again" && "$root/build-fuzz/$1" -seed=1 -runs="$first" -timeout=10 -max_len=4096 \
    -reload=0 -artifact_prefix="$again/" -seed_inputs="@$again/seeds" new) >"$again/log" 2>&1 ||
    { cat "$again/log"; return 1; }
  progress "$again/log" "$first" >"$again/progress"
  if ! diff <(progress "$work/$1.progress" "$first") "$again/progress"; then
    echo "$1 tried other inputs the second time"
    return 1
  fi
}

fuzz_twice() {
  fuzz_fixed "$@"
  fuzz_same_again "$@"
}
fuzz_twice command_line_fuzzer command_line 20000
fuzz_twice reg_file_fuzzer reg_file 300000
fuzz_twice import_fuzzer reg_file 20000

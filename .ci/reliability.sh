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

# Runs fuzzer $1 from the seeds in fuzz/corpus/$2 for $3 inputs, from a fixed
# random seed: the same inputs every run, so that a finding is a finding on
# every machine and never a matter of chance or of the machine's speed.
fuzz_fixed() {
  echo "== $1, $3 inputs"
  mkdir "$work/$1"
  run_logged '^Done|stat::number_of_executed_units|stat::peak_rss_mb' \
    "build-fuzz/$1" -seed=1 -runs="$3" -timeout=10 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$work/$1-" "$work/$1" "fuzz/corpus/$2"
}
fuzz_fixed command_line_fuzzer command_line 20000
fuzz_fixed reg_file_fuzzer reg_file 300000
fuzz_fixed import_fuzzer reg_file 20000

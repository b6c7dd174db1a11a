#!/usr/bin/env bash
# Checks the awk programs of bench/wine_grown.sh on made-up input: how long
# the lock is held, read from strace's lines, and the table's ratios, verdicts
# and growth.
#
#   bash tests/bench/bench_awk_test.sh SOURCE_DIR
set -euo pipefail
source_dir="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

# One case per line: name | strace lines (\n between them) | expected output.
lock_cases=(
  "two places, byte 1 ignored|10.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n10.000500 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=1, l_len=1}) = 0\n10.001000 fcntl(4</t/b/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n10.004000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_UNLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n10.005000 fcntl(4</t/b/lock>, F_SETLK, {l_type=F_UNLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0|5.00	5.0"
  "read, then write ended by close|10.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n10.002000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_UNLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n11.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n11.010000 close(3</t/a/lock>) = 0|12.00	2.0+10.0"
  "held to the exit|10.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n10.003000 exit_group(0) = ?|3.00	3.0"
  "lines of strace -f|77    10.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0\n77 10.001500 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_UNLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = 0|1.50	1.5"
  "busy lock, other files|10.000000 fcntl(3</t/a/lock>, F_SETLK, {l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0, l_len=1}) = -1 EAGAIN (Resource temporarily unavailable)\n10.001000 close(5</t/user.reg>) = 0\n10.002000 exit_group(1) = ?|0.00	-"
)
for entry in "${lock_cases[@]}"; do
  IFS='|' read -r name lines expected <<<"$entry"
  printf '%b\n' "$lines" >"$work/strace.txt"
  expect "lock: $name" "$expected" "$(awk -f "$source_dir/bench/lock_stretches.awk" "$work/strace.txt")"
done

# The table: a fresh prefix and sizes 1 and 5 (the largest), made-up figures.
printf 'fresh\t32768\n1\t1048576\n5\t5242880\n' >"$work/sizes.tsv"
printf '%s\n' "scan|5	1000000	-	-" "view|1	2000000	1.00	1.0" "view|5	4000000	2.00	2.0" \
  "edit fast -cbr 96|5	9000000	30.00	1.0+29.0" "view|fresh	300	0.1	0.1" \
  "sqlite view|fresh	200	-	-" | tr -s ' ' >"$work/measures.tsv"
printf '%s\n' "floor|fresh	1	1	1024" "view|fresh	5	4	2048" "sqlite view|fresh	2	2	2048" \
  "floor|1	1	1	1024" "view|1	10	8	4096" "floor|5	1	1	1024" "cat|5	3	2	1024" \
  "copy|5	21	2	1024" "view|5	9	8	9216" "edit fast -cbr 96|5	42	30	16384" >"$work/results.tsv"
table="$(awk -f "$source_dir/bench/wine_grown_table.awk" "$work/sizes.tsv" "$work/measures.tsv" \
  "$work/results.tsv")"
table_lines=(
  "target: view, 5 MB, x cat user.reg                                     3.00 (at most 3) met"
  "target: view, 5 MB, instructions x the key-header scan                 4.00 (at most 5) met"
  "target: view, 5 MB, peak MB                                            9.00 (at most 8) MISSED"
  "target: view, 5 MB, lock held x reading the file                       1.00 (at most 2) met"
  "target: edit fast -cbr 96, 5 MB, x copy + sync + rename + sync         2.00 (at most 1.5) MISSED"
  "target: edit fast -cbr 96, 5 MB, peak MB above the file's size        11.00 (at most 8) MISSED"
  "target: edit fast -cbr 96, 5 MB, lock held x read + write + syncs      1.50 (at most 1.2) MISSED"
  "target: view, fresh prefix, instructions x the SQLite store            1.50 (at most 1.5) met"
  "  view                  1-> 5 MB: file x5.0, time x0.9, cpu x1.0, instr x2.0, memory x2.2, lock x2.0"
)
for line in "${table_lines[@]}"; do
  grep -qxF -- "$line" <<<"$table" || expect "table line" "$line" "(missing)"
done
if [ "$failures" -gt 0 ]; then
  printf '%s\n' "$table"
  exit 1
fi
echo "all bench awk checks passed"

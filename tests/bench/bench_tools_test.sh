#!/usr/bin/env bash
# Checks the floors and the .reg maker of bench/wine_grown.sh: the key-header
# scan counts the lines that start with '[' wherever its reads split them,
# the replacing copy leaves the file as it was and nothing beside it, and the
# .reg maker writes the same file for the same size, of about that size.
#
#   bash tests/bench/bench_tools_test.sh BENCH_BINARY_DIR
set -euo pipefail
bin="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

# A line of 65,535 bytes and its newline fill the scan's first read exactly,
# so what follows starts its second read: a header, or the rest of a line.
long_line="$(head -c 65535 /dev/zero | tr '\0' x)"
# One case per line: name | file contents (printf %b) | headers expected.
scan_cases=(
  "headers and values|[A] 1\n\"v\"=\"[not a header]\"\n\n[B] 2\n|2"
  "no newline at the end|[A] 1\n[B] 2|2"
  "CRLF and an indented bracket|[A] 1\r\n  [x]\r\n[B]\r\n|2"
  "a header after a full read|${long_line}\n[A] 1\n|1"
  "a bracket after a full read, mid-line|${long_line}x[y]\n[A] 1\n|1"
  "an empty file||0"
)
for entry in "${scan_cases[@]}"; do
  IFS='|' read -r name contents expected <<<"$entry"
  printf '%b' "$contents" >"$work/scan.reg"
  expect "scan: $name" "$expected" "$("$bin/dovetune_key_scan" "$work/scan.reg")"
done
if "$bin/dovetune_key_scan" "$work/missing.reg" 2>/dev/null; then
  expect "scan: a missing file fails" "failure" "success"
fi

rm -f "$work/scan.reg"
printf 'WINE REGISTRY Version 2\n[A] 1\n' >"$work/user.reg"
cp "$work/user.reg" "$work/before.reg"
"$bin/dovetune_replace_copy" "$work/user.reg"
cmp -s "$work/before.reg" "$work/user.reg" || expect "copy: the file is unchanged" same different
expect "copy: nothing left beside it" "before.reg user.reg" "$(cd "$work" && echo *)"
if "$bin/dovetune_replace_copy" "$work/missing.reg" 2>/dev/null; then
  expect "copy: a missing file fails" "failure" "success"
fi
expect "copy: a failure leaves nothing" "before.reg user.reg" "$(cd "$work" && echo *)"

for bytes in 1000 300000; do
  "$bin/dovetune_realistic_reg" "$bytes" "$work/first.reg"
  "$bin/dovetune_realistic_reg" "$bytes" "$work/second.reg"
  cmp -s "$work/first.reg" "$work/second.reg" || expect "reg $bytes: the same file" same different
  size="$(stat -c %s "$work/first.reg")"
  # Past the size by at most one program's keys and one 100 KB value.
  [ "$size" -ge "$bytes" ] && [ "$size" -le $((bytes + 400000)) ] ||
    expect "reg $bytes: about that size" "$bytes" "$size"
  expect "reg $bytes: regedit's first line" "Windows Registry Editor Version 5.00" \
    "$(head -n 1 "$work/first.reg" | tr -d '\r')"
  # Every line is blank, a key, a value or the continuation of a wrapped one.
  expect "reg $bytes: lines of a .reg file" "" \
    "$(tail -n +2 "$work/first.reg" | tr -d '\r' |
      grep -vE '^$|^\[HKEY_CURRENT_USER\\Software\\[^]]+\]$|^"[^"]+"=|^  [0-9a-f]{2}' | head -n 3)"
done

[ "$failures" -eq 0 ] && echo "all bench tool checks passed"

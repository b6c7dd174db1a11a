#!/usr/bin/env bash
# Holds the manual page to the program: every parameter word does what the
# page says it writes, the bitrate ladder is the one the program climbs, the
# summary texts are spelled as printed, and every example prints what the
# page shows. The page's parameter words are also the ones completion offers.
# Usage: manual_test.sh PAGE DOVETUNE_BINARY COMPLETION_SCRIPT
set -euo pipefail

page=$1
program=$2
completion=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The lines of one section of the page, without its heading.
section() {
  awk -v heading=".SH $1" '$0 == heading { inside = 1; next }
    /^\.SH / { inside = 0 } inside' "$page"
}

# Page text as it reads: escapes for dashes, quotes and fonts undone.
plain() {
  local text=$1
  text=${text//\\-/-}
  text=${text//\\(aq/\'}
  text=${text//\\(dq/\"}
  text=${text//\\(rs/\\}
  text=${text//\\%/}
  text=${text//\\~/ }
  text=${text//\\fB/}
  text=${text//\\fI/}
  text=${text//\\fR/}
  printf '%s\n' "$text"
}

# Standard output only: the page describes it; warnings go to standard error.
run() { "$program" "$@" 2>/dev/null || true; }

new_store() { export DOVETUNE_REGISTRY=$work/$1.db; }

# --- parameter words: the page lists what completion offers
section PARAMETERS | sed -n 's/^\.BI\{0,1\} \\-\([a-z_]*\).*/-\1/p' | sort -u >"$work/page-words"
(
  # shellcheck source=/dev/null
  source "$completion"
  COMP_WORDS=(dovetune edit name "")
  COMP_CWORD=3
  _dovetune
  printf '%s\n' "${COMPREPLY[@]}" | sort
) >"$work/completion-words"
[[ $(wc -l <"$work/page-words") -ge 25 ]] ||
  fail "the page lists only $(wc -l <"$work/page-words") parameter words"
diff "$work/page-words" "$work/completion-words" >"$work/diff" ||
  fail "parameter words of the page (<) and of completion (>) differ: $(cat "$work/diff")"

# --- each "writes V to NAME" holds, checked after another word of the same
# setting has written a different number, so that no factory value can pass
# for a write.
declare -A writes_value writes_setting
word=""
while IFS= read -r line; do
  if [[ $line =~ ^\.B\ \\-([a-z_]+)$ ]]; then
    word=-${BASH_REMATCH[1]}
  elif [[ -n $word && $line =~ ^writes\ ([0-9]+)\ to\ \\fB([A-Za-z]+)\\fR ]]; then
    writes_value[$word]=${BASH_REMATCH[1]}
    writes_setting[$word]=${BASH_REMATCH[2]}
    word=""
  else
    word=""
  fi
done < <(section PARAMETERS)
[[ ${#writes_value[@]} == 22 ]] ||
  fail "the page gives the number written for ${#writes_value[@]} words, not 22"

new_store parameters
for word in "${!writes_value[@]}"; do
  other=""
  for candidate in "${!writes_value[@]}"; do
    if [[ ${writes_setting[$candidate]} == "${writes_setting[$word]}" &&
      ${writes_value[$candidate]} != "${writes_value[$word]}" ]]; then
      other=$candidate
      break
    fi
  done
  [[ -n $other ]] || {
    fail "no other word writes ${writes_setting[$word]}"
    continue
  }
  run create "p$word" "$other" "$word" >/dev/null
  expected="${writes_setting[$word]} - ${writes_value[$word]}"
  run view "p$word" | grep -q -x -F -- "$expected" ||
    fail "$other $word: view shows no line \"$expected\""
done

# --- the bitrate ladder: each step is kept, a rate just below it falls to
# the next step down, and below the lowest step to the number the page gives
ladder_line=$(section "BITRATE LADDER" | grep -E '^\.B [0-9 ]+$')
read -r -a ladder <<<"${ladder_line#.B }"
[[ ${#ladder[@]} == 19 ]] || fail "the page's ladder has ${#ladder[@]} steps, not 19"
lowest=$(section "BITRATE LADDER" | sed -n 's/.*and \([0-9]*\) when the value is.*/\1/p')
[[ -n $lowest ]] || fail "the page gives no rate for values below the ladder"
new_store ladder
run create rate >/dev/null
check_rate() {
  local requested=$1 expected=$2 line
  line=$(run edit rate -cbr "$requested")
  [[ $line == "rate - bitrate: cbr $expected" ]] ||
    fail "-cbr $requested: the program printed \"$line\", the page gives $expected"
}
check_rate 100000 "${ladder[0]}"
for index in "${!ladder[@]}"; do
  check_rate "${ladder[index]}" "${ladder[index]}"
  check_rate $((ladder[index] - 1)) "${ladder[index + 1]:-$lowest}"
done
check_rate none "$lowest"

# --- summary texts: each one as the program prints it
new_store summary
word_writing() { # SETTING VALUE: the page's word that writes VALUE to SETTING
  local candidate
  for candidate in "${!writes_value[@]}"; do
    if [[ ${writes_setting[$candidate]} == "$1" && ${writes_value[$candidate]} == "$2" ]]; then
      printf '%s\n' "$candidate"
      return
    fi
  done
}
summary_checks=0
text=""
setting=""
while IFS= read -r line; do
  if [[ $line =~ ^\.B\ (vbr\ [a-z]+)$ ]]; then
    text=${BASH_REMATCH[1]}
    setting=DefVbrMode
  elif [[ $line =~ ^\.B\ \"(,\ [^\"]+)\"$ ]]; then
    text=${BASH_REMATCH[1]}
    setting=""
  elif [[ $line =~ ^\.B\ (Def[A-Za-z]+)$ && -n $text ]]; then
    setting=${BASH_REMATCH[1]}
  elif [[ $line =~ ^([0-9]+) && -n $text && -n $setting ]]; then
    word=$(word_writing "$setting" "${BASH_REMATCH[1]}")
    if [[ -z $word ]]; then
      fail "no parameter word writes ${BASH_REMATCH[1]} to $setting"
    else
      # From the factory settings, only the rate control or one flag changes.
      if [[ $setting == DefVbrMode ]]; then
        expected="s$word - bitrate: $text"
      else
        expected="s$word - bitrate: vbr streaming$text"
      fi
      actual=$(run create "s$word" "$word" | tail -n 1)
      [[ $actual == "$expected" ]] || fail "$word: printed \"$actual\", the page gives \"$expected\""
      summary_checks=$((summary_checks + 1))
    fi
    text=""
    setting=""
  fi
done < <(section SUMMARY)
[[ $summary_checks == 15 ]] || fail "the page gives $summary_checks summary texts, not 15"

# --- examples, run in order on a new store
new_store examples
expected_file=$work/example-expected
actual_file=$work/example-actual
: >"$expected_file"
: >"$actual_file"
while IFS= read -r line; do
  line=$(plain "$line")
  if [[ $line == '$ export DOVETUNE_REGISTRY='* ]]; then
    printf '%s\n' "$line" >>"$expected_file"
    printf '%s\n' "$line" >>"$actual_file"
    new_store example-export
  elif [[ $line == '$ dovetune '* ]]; then
    printf '%s\n' "$line" >>"$expected_file"
    printf '%s\n' "$line" >>"$actual_file"
    eval "run ${line#'$ dovetune '}" >>"$actual_file"
  elif [[ $line == '$ '* ]]; then
    fail "an example runs something else: $line"
  else
    printf '%s\n' "$line" >>"$expected_file"
  fi
done < <(section EXAMPLES | awk '/^\.EE/ { inside = 0 } inside; /^\.EX/ { inside = 1 }')
[[ $(grep -c '^\$ dovetune ' "$expected_file") -ge 8 ]] || fail "the page has too few examples"
diff "$expected_file" "$actual_file" >"$work/diff" ||
  fail "examples: page (<) and program (>) differ: $(cat "$work/diff")"

if ((failures > 0)); then
  echo "$failures checks of the manual page failed" >&2
  exit 1
fi
echo "the manual page agrees with the program"

#!/usr/bin/env bash
# Sources the bash completion and calls it as bash does, with prepared
# COMP_WORDS and COMP_CWORD, against a temporary store holding awkward names.
# Usage: completion_test.sh COMPLETION_SCRIPT DOVETUNE_BINARY [REG_COMPLETION_SCRIPT REG_BINARY]
# Names hold quotes, dollars, colons and backslashes on purpose.
# shellcheck disable=SC1003,SC2016
set -euo pipefail

script=$1
program=$2
reg_script=${3-}
reg_program=${4-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# shellcheck source=/dev/null
source "$script"

# Completes the last word of "$@" and sets REPLIES to what bash would offer.
# The words are COMP_WORDS as bash splits them; the line joins them with
# blanks, or is $LINE when set (for words bash split where no blank was).
completer=_dovetune
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE=${LINE-"$*"}
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$completer"
  REPLIES=("${COMPREPLY[@]}")
}

# expect_replies DESCRIPTION EXPECTED... -- WORDS...
expect_replies() {
  local description=$1 expected=() actual
  shift
  while [[ $1 != -- ]]; do expected+=("$1"); shift; done
  shift
  complete_line "$@"
  actual=$(printf '[%s]' "${REPLIES[@]}")
  if [[ $actual != "$(printf '[%s]' "${expected[@]}")" ]]; then
    echo "FAIL: $description: offered ${actual:-nothing}," \
      "expected $(printf '[%s]' "${expected[@]}")" >&2
    failures=$((failures + 1))
  fi
}

# Bash puts each reply in place of the word being completed (after its quote,
# when one is open); the shell must then read back exactly the name.
expect_reads_back() {
  local description=$1 name=$2 open_quote=$3 kept=$4 reply text
  shift 4
  complete_line "$@"
  if [[ ${#REPLIES[@]} != 1 ]]; then
    echo "FAIL: $description: offered ${#REPLIES[@]} replies: ${REPLIES[*]-}" >&2
    failures=$((failures + 1))
    return
  fi
  reply=${REPLIES[0]}
  text=$(eval "printf '%s' $kept$open_quote$reply$open_quote" 2>/dev/null) ||
    text="(does not parse)"
  if [[ $text != "$name" ]]; then
    echo "FAIL: $description: the reply [$reply] reads back as [$text], not [$name]" >&2
    failures=$((failures + 1))
  fi
}

export DOVETUNE_REGISTRY=$work/registry.db
dovetune=$program

# --- command words and parameter words need no store
expect_replies "command words" view create create_from_current edit delete use -- \
  "$dovetune" ""
expect_replies "command words by prefix" create create_from_current -- "$dovetune" cr
expect_replies "no command word matches" -- "$dovetune" View
expect_replies "parameter words by prefix" -downmix -downmix_no -- \
  "$dovetune" edit fast -down
expect_replies "variable-bitrate words" -vbr_tape -vbr_radio -vbr_internet -vbr_streaming \
  -vbr_normal -vbr_extreme -vbr_audiophile -vbr_transcoding -- "$dovetune" use fast -vbr
expect_replies "bitrate ladder after -cbr, in numeric order" 16 112 128 160 192 -- \
  "$dovetune" create fast -cbr 1
expect_replies "nothing after -optimize" -- "$dovetune" edit fast -optimize ""
expect_replies "view takes no parameters" -- "$dovetune" view fast -d
expect_replies "delete takes no parameters" -- "$dovetune" delete fast ""
expect_replies "no command, no completion" -- "$dovetune" bogus ""

# --- a store that does not exist yet is not made by completing
expect_replies "names from a store not made yet" current default -- "$dovetune" view ""
[[ ! -e $DOVETUNE_REGISTRY ]] || {
  echo "FAIL: completing created the store" >&2
  failures=$((failures + 1))
}

# --- names from a real store
for name in fast "road trip" "road works" "x - bitrate: y" "it's" 'q"u$o`te'; do
  "$program" create "$name" >/dev/null
done
# In the order of the listing: current and default first, then the store's.
expect_replies "every name after a command word" current default fast "it\\'s" \
  'q\"u\$o\`te' "road\\ trip" "road\\ works" "x\\ -\\ bitrate:\\ y" -- "$dovetune" edit ""
expect_replies "names again after -preset" "road\\ trip" "road\\ works" -- \
  "$dovetune" create new -downmix -preset r
expect_replies "current after -preset" current -- "$dovetune" use fast -preset cu

expect_reads_back "escaped blank" "road trip" "" "" "$dovetune" view 'road\ t'
expect_reads_back "open double quote" "road trip" '"' "" "$dovetune" view '"road t'
expect_reads_back "open single quote" "road trip" "'" "" "$dovetune" view "'road t"
expect_reads_back "quote opened mid-word" "road trip" '"' "road" "$dovetune" view 'road" t'
expect_reads_back "quote closed mid-word" "road trip" "" "" "$dovetune" view "'road 't"
expect_reads_back "shell characters, unquoted" 'q"u$o`te' "" "" "$dovetune" view q
expect_reads_back "shell characters, double-quoted" 'q"u$o`te' '"' "" "$dovetune" view '"q'
expect_reads_back "separator inside a name" "x - bitrate: y" "" "" "$dovetune" view x
expect_reads_back "apostrophe" "it's" "" "" "$dovetune" view i

# --- names compare without regard to case, as the store compares them
expect_replies "names in any letter case" fast -- "$dovetune" view FA
expect_replies "names after -preset in any letter case" "road\\ trip" -- \
  "$dovetune" edit fast -preset "ROAD\\ T"
expect_replies "command words keep their case" -- "$dovetune" VI
# The completion sets nocasematch for names only, and puts the user's back.
shopt -s nocasematch
expect_replies "command words keep their case under nocasematch" -- "$dovetune" VI
shopt -q nocasematch || {
  echo "FAIL: completing turned the user's nocasematch off" >&2
  failures=$((failures + 1))
}
shopt -u nocasematch
expect_replies "names in any letter case, again" fast -- "$dovetune" view FA
! shopt -q nocasematch || {
  echo "FAIL: completing left nocasematch on" >&2
  failures=$((failures + 1))
}
# "current" is never a preset to delete
expect_replies "delete offers no current" -- "$dovetune" delete cu
expect_replies "delete offers the presets" default -- "$dovetune" delete d

# --- bash splits words at ':' and '=' and replaces only the part after it
"$program" create "ratio:2" >/dev/null
"$program" create "bit=rate" >/dev/null
expect_replies "a name with a colon, whole" "ratio:2" -- "$dovetune" view rat
LINE="$dovetune view ratio:" expect_replies "a name with a colon, after it" 2 -- \
  "$dovetune" view ratio :
LINE="$dovetune view ratio:" expect_replies "the colon's word counts as the name's" 2 -- \
  "$dovetune" view ratio :
LINE="$dovetune edit bit=rate -d" expect_replies "parameters after a name with '='" \
  -downmix -downmix_no -- "$dovetune" edit bit = rate -d
LINE="$dovetune view bit=r" expect_replies "a name with '=', after it" rate -- \
  "$dovetune" view bit = r

# --- backslashes: the store nests at a backslash, so the listing comes from a
# stand-in program that prints names holding them
fake=$work/fake-dovetune
cat >"$fake" <<'LISTING'
#!/usr/bin/env bash
[[ $* == view ]] || exit 2
printf '%s\n' 'current - bitrate: vbr streaming' 'default - bitrate: vbr streaming' \
  'back\slash - bitrate: cbr 128' 'trailing\ - bitrate: ' 'Default - preset doesn'"'"'t exist'
LISTING
chmod +x "$fake"
expect_replies "names from the listing, backslashes escaped" current default \
  'back\\slash' 'trailing\\' Default -- "$fake" view ""
expect_reads_back "backslash, unquoted" 'back\slash' "" "" "$fake" view b
expect_reads_back "backslash, typed escaped" 'back\slash' "" "" "$fake" view 'back\\s'
expect_reads_back "backslash, double-quoted" 'back\slash' '"' "" "$fake" view '"back\s'
expect_reads_back "backslash, single-quoted" 'back\slash' "'" "" "$fake" view "'back\\"
expect_reads_back "trailing backslash" 'trailing\' "" "" "$fake" view t
expect_reads_back "trailing backslash, double-quoted" 'trailing\' '"' "" "$fake" view '"t'

# --- a program that fails offers no names and no error
broken=$work/broken-dovetune
printf '#!/bin/sh\necho "Fatal Error: damaged" >&2\nexit 1\n' >"$broken"
chmod +x "$broken"
expect_replies "a failing program offers nothing" -- "$broken" view ""

# --- dovetune-reg: operations, switches, types, keys a level at a time and
# value names, read from the same store
if [[ -n $reg_script ]]; then
  # shellcheck source=/dev/null
  source "$reg_script"
  completer=_dovetune_reg
  reg=$reg_program
  presets='HKCU\Software\Orvane\Ostrel\Presets'
  expect_replies "operations" query add delete export import -- "$reg" ""
  expect_replies "operations by prefix" export -- "$reg" ex
  expect_replies "an operation in capitals" /v /ve /s -- "$reg" QUERY 'HKCU\\x' /
  expect_replies "switches of query" /v /ve /s -- "$reg" query 'HKCU\\Software' /
  expect_replies "switches of delete" /v /ve /va -- "$reg" delete 'HKCU\\Software' /V
  expect_replies "types after /t" REG_DWORD -- "$reg" add 'HKCU\\x' /v n /t reg_dw
  expect_replies "roots" HKCU HKCR HKCC -- "$reg" query HKC
  expect_reads_back "a key one level down" 'HKCU\Software' "'" "" "$reg" query "'HKCU\\So"
  expect_reads_back "keys beneath a key" "$presets" "'" "" \
    "$reg" query "'HKCU\\Software\\Orvane\\Ostrel\\Pre"
  expect_reads_back "keys, backslashes escaped" "$presets" "" "" \
    "$reg" add 'HKCU\\Software\\Orvane\\Ostrel\\pre'
  expect_reads_back "a preset's key" "$presets\\road trip" "'" "" "$reg" query "'$presets\\road t"
  expect_replies "value names after /v" DefBitRate -- "$reg" query "'$presets\\fast'" /v DefB
  expect_replies "the file of export is the shell's" -- "$reg" export 'HKCU\\x' ""
  expect_replies "nothing after /d" -- "$reg" add 'HKCU\\x' /v n /d ""
  DOVETUNE_REGISTRY=$work/none/registry.db expect_replies "no keys from a missing store" -- \
    "$reg" query 'HKCU\\'
  [[ ! -e $work/none ]] || {
    echo "FAIL: completing dovetune-reg created a store" >&2
    failures=$((failures + 1))
  }
fi

# --- macOS's /bin/bash is 3.2: nothing later versions added may be used (the
# scripts' first comment lists it). Comment lines are not code.
forbidden=(
  '\$\{[^}]*(,,?|\^\^?)\}'     # case conversion, bash 4.0
  '\[-[0-9]+\]'                  # negative array index, bash 4.3
  '\b(mapfile|readarray|coproc)\b'  # bash 4.0
  '(declare|local|typeset) -[a-zA-Z]*[An]'  # associative arrays, namerefs: 4.0, 4.3
  '\$\{[^}]*@[QEPAaUuLK]\}'       # transformations, bash 4.4
  ';;&|;&'                        # case fall-through, bash 4.0
  '\{[a-zA-Z_]+\}[<>]'             # descriptor variables, bash 4.1
)
for script_file in "$script" ${reg_script:+"$reg_script"}; do
  for pattern in "${forbidden[@]}"; do
    if grep -vE '^[[:space:]]*#' "$script_file" | grep -nE -- "$pattern" >&2; then
      echo "FAIL: $script_file uses what bash 3.2 lacks (/$pattern/)" >&2
      failures=$((failures + 1))
    fi
  done
done

if ((failures > 0)); then
  echo "$failures completion checks failed" >&2
  exit 1
fi
echo "completion checks passed"

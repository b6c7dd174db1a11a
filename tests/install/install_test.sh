#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and runs the program from
# there, as a user who installed it would.
# Usage: install_test.sh CMAKE BUILD_FOLDER
set -euo pipefail

cmake=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" ||
  fail "cmake --install failed: $(cat "$work/install.log")"

for file in bin/dovetune bin/dovetune-reg share/man/man1/dovetune.1.gz \
  share/man/man1/dovetune-reg.1.gz share/bash-completion/completions/dovetune \
  share/bash-completion/completions/dovetune-reg share/doc/dovetune/copyright \
  share/doc/dovetune/changelog.gz; do
  [[ -f $prefix/$file ]] || fail "not installed: $file"
done
[[ -x $prefix/bin/dovetune ]] || fail "bin/dovetune is not executable"

# Every installed file is one of ours: the layout names no build leftovers.
unexpected=$(cd "$prefix" && find . -type f | grep -v -E \
  '^\./(bin/dovetune[^/]*|lib/dovetune/dovetune\.exe|share/man/man1/dovetune[^/]*\.1\.gz|share/bash-completion/completions/dovetune[^/]*|share/doc/dovetune/(copyright|changelog\.gz))$') ||
  true
[[ -z $unexpected ]] || fail "unexpected files installed: $unexpected"

installed=$prefix/bin/dovetune
export DOVETUNE_REGISTRY=$work/store/registry.db

help=$("$installed")
[[ $help == *"dovetune help:"* && $help == *"dovetune delete *name*   :  deletes prset *name*"* ]] ||
  fail "the installed program printed no help screen: $help"

created=$("$installed" create "road trip" -cbr 100 -downmix)
expected=$'preset road trip created\nroad trip - bitrate: cbr 96, downmix'
[[ $created == "$expected" ]] || fail "create printed: $created"

listing=$("$installed" view)
expected=$'current - bitrate: vbr streaming\ndefault - bitrate: vbr streaming\nroad trip - bitrate: cbr 96, downmix'
[[ $listing == "$expected" ]] || fail "view printed: $listing"
[[ -f $DOVETUNE_REGISTRY ]] || fail "the store was not made at \$DOVETUNE_REGISTRY"

# A store that cannot be used: exit status 1 and the reason on standard error.
status=0
DOVETUNE_REGISTRY=$work "$installed" view >"$work/out" 2>"$work/err" || status=$?
[[ $status == 1 ]] || fail "a folder as the store gave exit status $status"
[[ ! -s $work/out ]] || fail "a failed run printed on standard output"
[[ $(cat "$work/err") == "Fatal Error: $work: is a folder, not a registry store" ]] ||
  fail "a failed run reported: $(cat "$work/err")"

# The installed manual page is the one man finds for the installed program.
# A minimised system has a man that only explains itself.
if [[ $(man --version 2>/dev/null) == "man "[0-9]* ]]; then
  page=$(MANPATH=$prefix/share/man MANWIDTH=80 man dovetune 2>/dev/null | tr -d '\b') ||
    fail "man finds no page for dovetune under the prefix"
  [[ $page == *"BITRATE LADDER"* ]] || fail "man dovetune shows another page"
fi
# Uninstalling as the README says: the manifest of that install lists every
# file it made, and removing them leaves none behind. The same line as there,
# in any POSIX shell (the list's last line has no line end).
sh -c 'while IFS= read -r f || [ -n "$f" ]; do rm -f -- "$f"; done' <"$build/install_manifest.txt"
left=$(find "$prefix" -type f)
[[ -z $left ]] || fail "files left after removing those of install_manifest.txt: $left"
echo "installed, ran and uninstalled from $prefix"

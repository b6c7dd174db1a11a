#!/usr/bin/env bash
# Installation checks on top of the build in build/, whose tests have run:
# the manual pages with man and groff at hand (the tests skip that check
# without them), and a Debian package made by CPack in a build folder of its
# own that holds and runs what it should, and that lintian passes without an
# error.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing man-db groff-base dpkg-dev file lintian binutils g++-mingw-w64-x86-64

echo "== manual pages"
bash tests/install/man_lint.sh --require man/*.1

echo "== Debian package"
deb=$(bash packaging/build-deb.sh build-deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb: Depends: $depends"
# The tool links SQLite and the C++ runtime statically where their static
# libraries are installed (they are, with the build's packages): then only
# the C library is left to depend on.
[[ $depends == *libc6* ]] || { echo "the package does not depend on libc6" >&2; exit 1; }
if [[ $depends == *libsqlite3* ]] && ! ldd build-deb/dovetune | grep -q libsqlite3; then
  echo "the package depends on a SQLite library the program does not link" >&2
  exit 1
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for file in usr/bin/dovetune usr/bin/dovetune-reg usr/share/man/man1/dovetune.1.gz \
  usr/share/man/man1/dovetune-reg.1.gz usr/share/bash-completion/completions/dovetune \
  usr/share/bash-completion/completions/dovetune-reg usr/share/doc/dovetune/copyright \
  usr/share/doc/dovetune/changelog.gz usr/lib/dovetune/dovetune.exe; do
  [[ -f $unpacked/$file ]] || { echo "the package lacks $file" >&2; exit 1; }
done
export DOVETUNE_REGISTRY=$unpacked/registry.db
"$unpacked/usr/bin/dovetune" create packaged -cbr 64 | grep -qx 'packaged - bitrate: cbr 64' ||
  { echo "the packaged program does not run" >&2; exit 1; }
echo "the package installs and runs"
# The Windows build is where the packaged program looks for it.
# (grep reads every line: with -q it could stop early and fail the pipe.)
strings "$unpacked/usr/bin/dovetune" | grep -x /usr/lib/dovetune/dovetune.exe >/dev/null ||
  { echo "the packaged program looks for its Windows build elsewhere" >&2; exit 1; }

echo "== lintian"
# Errors fail the run; warnings and the rest are shown for the record.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "lintian finds no error in $deb"

#!/usr/bin/env bash
# Wineserver's lock where the Wine installed keeps it, and nowhere else, run
# in a private mount namespace with a fresh /tmp and /run/user and Debian's
# Wine hidden, as on a system whose Wine is upstream's (Fedora, Arch):
#   - a run takes wineserver's lock at /tmp/.wine-<uid>/server-<dev>-<ino>
#     and leaves no folder under /run/user;
#   - with /proc hidden (as on macOS), changes are refused and views go on;
#   - a /tmp/.wine-<uid> of another user's, which Wine would refuse too,
#     stops nothing.
# Needs root and unshare: skipped without them, except in CI.
set -euo pipefail
dovetune=$1

if [[ -z ${DOVETUNE_IN_NAMESPACE:-} ]]; then
  if [[ $(id -u) != 0 ]] || ! unshare --mount true 2>/dev/null; then
    if [[ -n ${CI:-} ]]; then
      echo "FAIL: CI runs this as root with unshare" >&2
      exit 1
    fi
    echo "skipped: needs root and unshare for a private mount namespace"
    exit 77
  fi
  exec unshare --mount --propagation private env DOVETUNE_IN_NAMESPACE=1 bash "$0" "$@"
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The program may lie under /tmp: copied into the fresh one.
exec 3<"$dovetune"
mount -t tmpfs tmpfs /tmp
# The working folder may have been under the /tmp just replaced.
cd /
mkdir -m 755 /tmp/bin
cat <&3 >/tmp/bin/dovetune
exec 3<&-
chmod 755 /tmp/bin/dovetune
dovetune=/tmp/bin/dovetune
mkdir -p /run/user
mount -t tmpfs tmpfs /run/user
if [[ -d /usr/lib/wine ]]; then mount -t tmpfs tmpfs /usr/lib/wine; fi
uid=$(id -u)
mkdir -m 700 "/run/user/$uid"
export HOME=/tmp/home TMPDIR=/tmp
mkdir -m 700 "$HOME"
prefix=/tmp/prefix
mkdir -m 700 "$prefix"
printf '%s\n' 'WINE REGISTRY Version 2' \
  ';; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000' '' '#arch=win64' '' \
  '[Software\\Wine] 1796704220' '#time=1dd86ccd5625c7a' '"v"="x"' >"$prefix/user.reg"
export DOVETUNE_REGISTRY=$prefix
err=/tmp/err

"$dovetune" create first >/dev/null 2>$err || fail "create: $(cat $err)"
[[ -z $(ls -A "/run/user/$uid") ]] || fail "left /run/user/$uid/$(ls -A "/run/user/$uid")"
# The lock it took is the one upstream's server takes, named here from stat.
read -r dev ino < <(stat -L -c '%d %i' "$prefix")
server=$(printf '/tmp/.wine-%s/server-%x-%x' "$uid" "$dev" "$ino")
[[ -f $server/lock ]] || fail "no lock at $server: $(ls -AR "/tmp/.wine-$uid" 2>&1)"

# A sanitizer build reads its own options, and LeakSanitizer the threads to
# scan, from /proc: it cannot run without it. The plain build checks this.
if grep -qa __asan_init "$dovetune"; then
  echo "without /proc: left to the build without sanitizers"
else
  mount -t tmpfs tmpfs /proc
  if "$dovetune" create third >/dev/null 2>$err; then fail "a change went on without /proc"; fi
  grep -q "no /proc" $err || fail "refusal without /proc: $(cat $err)"
  "$dovetune" view first >/dev/null 2>$err || fail "view without /proc: $(cat $err)"
  umount /proc
fi

rm -rf "/tmp/.wine-$uid"
mkdir -m 755 "/tmp/.wine-$uid"
chown 65534 "/tmp/.wine-$uid"
"$dovetune" create fourth >/dev/null 2>$err || fail "another user's folder: $(cat $err)"
"$dovetune" view fourth >/dev/null || fail "view fourth"
echo "ok"

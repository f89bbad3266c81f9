#!/usr/bin/env bash
# Debian's as-installed tests (debian/tests) on the package that package.sh
# built, run by autopkgtest in a clean testbed of this Debian release: a
# minimal system made with debootstrap and kept as a tarball under
# BUILD_DIRECTORY/autopkgtest, unpacked afresh by autopkgtest-virt-unshare
# for each run, where the tests run as an ordinary user.
# Usage: autopkgtest.sh BUILD_DIRECTORY
set -euo pipefail
build=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$build/autopkgtest
mkdir -p "$work"

deb=$(ls "$build"/deb/engine-simulator_*.deb | grep -v dbgsym) || fail "no package in $build/deb"

# autopkgtest-virt-unshare maps the testbed's users onto a range of this
# user's subordinate ids.
user=$(id -un)
for map in /etc/subuid /etc/subgid; do
    if ! grep -q "^$user:" "$map" 2>/dev/null; then
        [ "$(id -u)" -eq 0 ] || fail "$map has no range for $user: add one, e.g. $user:100000:65536"
        echo "$user:100000:65536" >>"$map"
    fi
done

# The testbed: this release, as debootstrap makes it.
. /etc/os-release
codename=${VERSION_CODENAME:-sid}
tarball=$work/$codename.tar
if [ ! -s "$tarball" ]; then
    [ "$(id -u)" -eq 0 ] || fail "making the testbed needs root"
    echo "== Making a minimal $codename testbed (a few minutes)"
    testbed=$(mktemp -d "$work/testbed.XXXXXX")
    trap 'rm -rf "$testbed"' EXIT
    chmod 755 "$testbed" # the testbed's root folder, which its users must enter
    # A release newer than this debootstrap has no script of its own; the
    # unstable one makes any release after it.
    script=/usr/share/debootstrap/scripts/$codename
    [ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
    debootstrap --variant=minbase "$codename" "$testbed" "${DEBIAN_MIRROR:-http://deb.debian.org/debian}" \
        "$script" >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
    # A frozen snapshot's Release file may be past its Valid-Until date.
    echo 'Acquire::Check-Valid-Until "false";' >"$testbed/etc/apt/apt.conf.d/99no-check-valid-until"
    tar -C "$testbed" -cf "$tarball.part" .
    mv "$tarball.part" "$tarball"
fi

# The source tree the tests come from, without build output.
rm -rf "$work/source" "$work/output"
mkdir "$work/source"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/source" -xf -
autopkgtest "$deb" "$work/source" --output-dir "$work/output" -- unshare -t "$tarball" \
    >"$work/autopkgtest.log" 2>&1 || { tail -n 60 "$work/autopkgtest.log" >&2; exit 1; }
grep -q '^installed-program *PASS' "$work/output/summary" || fail "$(cat "$work/output/summary")"
echo "1 passed, 0 failed"

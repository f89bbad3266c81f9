#!/usr/bin/env bash
# Debian's as-installed tests (debian/tests) on the package that package.sh
# built, run by autopkgtest in a clean testbed of this Debian release: a
# minimal system made with debootstrap and kept as a tarball under
# BUILD_DIRECTORY/autopkgtest, unpacked afresh for each run, where the tests
# run as an ordinary user.
#
# The testbed is unpacked by autopkgtest-virt-unshare where this machine can
# make a user namespace. In a chroot or a container it cannot, and there,
# as root, autopkgtest-virt-chroot runs the tests in a copy unpacked here,
# with the file systems they need mounted in; the copy goes when the run
# ends, however it ends, and a copy or testbed left by a run that was killed
# goes at the next run. VIRT (unshare or chroot) chooses one of the two.
# Usage: autopkgtest.sh BUILD_DIRECTORY [VIRT]
set -euo pipefail
build=$(realpath "$1")
virt=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$build/autopkgtest
mkdir -p "$work"

deb=$(ls "$build"/deb/engine-simulator_*.deb) || fail "no package in $build/deb"

# Removes a folder this script made, unmounting first whatever is mounted
# below it; it never crosses into another file system.
remove_tree() { # FOLDER
    local mounts
    mounts=$(awk -v top="$1" '$5 == top || index($5, top "/") == 1 { print $5 }' /proc/self/mountinfo |
        sort -r)
    while read -r mount; do
        [ -z "$mount" ] || umount -l "$(printf '%b' "$mount")" 2>/dev/null || true
    done <<<"$mounts"
    rm -rf --one-file-system "$1"
}
made=()
cleanup() {
    for folder in ${made[@]+"${made[@]}"}; do remove_tree "$folder"; done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
for leftover in "$work"/testbed.* "$work"/chroot.*; do
    [ ! -e "$leftover" ] || remove_tree "$leftover"
done

# The testbed: this release, as debootstrap makes it.
. /etc/os-release
codename=${VERSION_CODENAME:-sid}
tarball=$work/$codename.tar
if [ ! -s "$tarball" ]; then
    [ "$(id -u)" -eq 0 ] || fail "making the testbed needs root"
    echo "== Making a minimal $codename testbed (a few minutes)"
    testbed=$(mktemp -d "$work/testbed.XXXXXX")
    made+=("$testbed")
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

# autopkgtest-virt-unshare maps the testbed's users onto a range of this
# user's subordinate ids, through a user namespace made with unshare
# --map-auto: where the kernel refuses one, that waits for ever, so it is
# tried first, briefly.
user=$(id -un)
for map in /etc/subuid /etc/subgid; do
    if ! grep -q "^$user:" "$map" 2>/dev/null; then
        [ "$(id -u)" -eq 0 ] || fail "$map has no range for $user: add one, e.g. $user:100000:65536"
        echo "$user:100000:65536" >>"$map"
    fi
done
# The attempt runs in a process group of its own, which goes afterwards:
# where the kernel refuses, unshare's helper for --map-auto stays behind.
makes_user_namespace() {
    setsid unshare --user --map-root-user --map-auto true </dev/null >/dev/null 2>&1 &
    local attempt=$! status=1
    for _ in $(seq 50); do
        kill -0 "$attempt" 2>/dev/null || break
        sleep 0.2
    done
    kill -0 "$attempt" 2>/dev/null || { wait "$attempt" && status=0; }
    kill -KILL -- -"$attempt" 2>/dev/null
    wait "$attempt" 2>/dev/null
    return "$status"
}
if [ -z "$virt" ]; then
    if makes_user_namespace; then
        virt=unshare
    elif [ "$(id -u)" -eq 0 ]; then
        virt=chroot
    else
        fail "this machine makes no user namespace (a chroot or container?) and this is not root: run ./test as root here, or on a whole machine"
    fi
fi

# The source tree the tests come from, without build output.
rm -rf "$work/source" "$work/output"
mkdir "$work/source"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/source" -xf -
case $virt in
unshare) server=(unshare -t "$tarball") ;;
chroot)
    [ "$(id -u)" -eq 0 ] || fail "the chroot testbed needs root"
    testbed=$(mktemp -d "$work/chroot.XXXXXX")
    made+=("$testbed")
    chmod 755 "$testbed"
    tar -C "$testbed" -xf "$tarball"
    mount -t proc proc "$testbed/proc"
    mount -t sysfs sysfs "$testbed/sys"
    for dev in /dev /dev/pts /dev/shm; do
        mkdir -p "$testbed$dev"
        mount --bind "$dev" "$testbed$dev"
    done
    cp /etc/resolv.conf "$testbed/etc/resolv.conf"
    chroot "$testbed" useradd --create-home --shell /bin/bash tester
    server=(chroot "$testbed")
    user_option=(--user tester)
    ;;
*) fail "no such virt server: $virt (unshare or chroot)" ;;
esac
echo "== autopkgtest through autopkgtest-virt-$virt"
autopkgtest "$deb" "$work/source" ${user_option[@]+"${user_option[@]}"} --output-dir "$work/output" \
    -- "${server[@]}" >"$work/autopkgtest.log" 2>&1 || { tail -n 60 "$work/autopkgtest.log" >&2; exit 1; }
grep -q '^installed-program *PASS' "$work/output/summary" || fail "$(cat "$work/output/summary")"
echo "1 passed, 0 failed"

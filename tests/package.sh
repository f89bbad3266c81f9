#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian (no error, warning
# or pedantic remark) and that it brings Qt's Wayland plugin; checks that
# the package's build dependencies are in the project's package list and
# that its version is the project's.
# Usage: package.sh OUTPUT_DIRECTORY
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

# One version and date in CMake, the changelog and the AppStream metadata
# (checked in the package below), above the release before it.
version=$(grep -oP 'project\(\S+ VERSION \K[0-9.]+' "$root/CMakeLists.txt")
date=$(grep -oP 'set\(RELEASE_DATE \K[0-9-]+' "$root/CMakeLists.txt")
changelog=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
[ "$changelog" = "$version" ] || fail "debian/changelog is at $changelog, the project at $version"
[ "$(date -u -d "$(dpkg-parsechangelog -l "$root/debian/changelog" -S Date)" +%F)" = "$date" ] ||
    fail "debian/changelog's date is not the project's release date $date"
previous=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version -o 1 -c 1)
dpkg --compare-versions "$version" gt "$previous" || fail "version $version is not above $previous"
build_depends=$(awk '/^Build-Depends:/ { sub(/^Build-Depends:/, ""); f = 1; print; next }
                     f && /^ / { print; next } { f = 0 }' "$root/debian/control")
for dependency in $(echo "$build_depends" | sed 's/([^)]*)//g' | tr ',' '\n' | awk '{print $1}'); do
    [ "$dependency" = debhelper-compat ] && dependency=debhelper
    grep -qx "$dependency" "$root/scripts/debian-packages" ||
        fail "build dependency $dependency is missing from scripts/debian-packages"
done

# build-deb refuses the source tree, a folder holding it and a folder with a
# file of the user's, in one line and before it touches anything; an
# earlier output of its own it empties and reuses.
user=$(mktemp -d)
trap 'rm -rf "$user"' EXIT
echo mine >"$user/file"
for refused in "$root" "$(dirname "$root")" "$user"; do
    message=$("$root/scripts/build-deb" "$refused" 2>&1) && fail "build-deb built into $refused"
    [ "$(wc -l <<<"$message")" -eq 1 ] && grep -q "^build-deb: refusing $(realpath "$refused"): " <<<"$message" ||
        fail "build-deb refused $refused with: $message"
done
[ "$(ls -A "$user")" = file ] && [ "$(cat "$user/file")" = mine ] || fail "build-deb touched $user"
mkdir -p "$1"
touch "$1/.engine-simulator-build-deb" "$1/left from before"
deb=$("$root/scripts/build-deb" "$1" | grep "/engine-simulator_${version}_.*\.deb$")
[ ! -e "$1/left from before" ] || fail "build-deb did not empty its earlier output"
report=$(lintian --pedantic "$deb" 2>&1 | grep -v 'running with root privileges' || true)
# Lintian of Debian 13 and later fails AppStream metadata without a home
# page, which the project does not have (the install test validates the
# metadata with only that check lowered); anything else fails here.
report=$(grep -v ': appstream-metadata-validation-failed Problems reported by "appstreamcli' \
    <<<"$report" || true)
if grep -qE '^[EWP]: ' <<<"$report"; then
    fail "lintian: $report"
fi
release=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards './usr/share/metainfo/*.metainfo.xml' |
    grep -m1 -o '<release [^>]*>')
[ "$release" = "<release version=\"$version\" date=\"$date\"/>" ] || fail "the metainfo's newest release: $release"
# On a Wayland desktop Qt needs its Wayland plugin.
grep -q 'qt6-wayland' <<<"$(dpkg-deb -f "$deb" Recommends Depends)" ||
    fail "the package does not bring Qt's Wayland plugin"
echo "1 passed, 0 failed"

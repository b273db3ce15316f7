#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need that this Debian
# machine lacks: CMake and GoogleTest for the native tests, the mingw-w64 i686 cross
# compiler for SETUP.EXE, 32-bit Wine and Xvfb for the end-to-end tests, clang with
# libFuzzer for the fuzzers, Python for the icon and screenshots, osslsigncode and
# openssl for signing, and the locale tools that give one test a Japanese code page.
# A need is known by its package's status, never by a command of that name on PATH:
# the scripts call each tool by the path its package installs.
set -euo pipefail
PATH=/usr/sbin:/usr/bin:/sbin:/bin

packages=(cmake g++ make libgtest-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          xvfb wine wine32 clang libclang-rt-14-dev python3 osslsigncode openssl locales xorriso)

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="/usr/bin/sudo"; fi
echo "Installing: ${missing[*]}"
# wine32 is an i386 package, and its status is unknown until apt knows i386.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught in the middle of a sync serves an index that does not match its
# release file, and apt-get update fails on it; a later try usually gets a whole one.
updated=false
for attempt in 1 2 3; do
    if $sudo apt-get update -q; then updated=true; break; fi
    [ $attempt -eq 3 ] || { echo "apt-get update failed; trying again in 30 s" >&2; sleep 30; }
done
if $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null; then exit 0; fi
$updated && exit 1
# Without the security suite's i386 index, the i386 libraries wine32 needs cannot
# match the versions of their amd64 halves that suite holds. Both halves then come
# from the release itself, for this one install: the pin lives in a folder of its
# own, named on this command line alone, so that nothing of it outlasts the install.
echo "Installing again without the security suite, whose package lists are incomplete" >&2
pins=$(mktemp -d)
trap 'rm -rf "$pins"' EXIT
printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: -1\n' >"$pins/without-security"
chmod -R a+rX "$pins"
$sudo apt-get -o Dir::Etc::PreferencesParts="$pins" install -y -q --no-install-recommends "${missing[@]}" </dev/null

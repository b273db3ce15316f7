#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need that this Debian
# machine lacks: CMake and GoogleTest for the native tests, the mingw-w64 i686 cross
# compiler for SETUP.EXE, 32-bit Wine and Xvfb for the end-to-end tests, clang with
# libFuzzer for the fuzzers, ImageMagick for screenshots.
set -euo pipefail

missing=()
need() {  # need PACKAGE TEST-COMMAND...
    local package=$1
    shift
    "$@" >/dev/null 2>&1 || missing+=("$package")
}
need cmake command -v cmake
need g++ command -v g++
need make command -v make
need libgtest-dev test -e /usr/include/gtest/gtest.h
need g++-mingw-w64-i686-posix command -v i686-w64-mingw32-g++-posix
need binutils-mingw-w64-i686 command -v i686-w64-mingw32-windres
need xvfb command -v Xvfb
need wine command -v wine
need wine32 test -x /usr/lib/wine/wine
need imagemagick command -v convert
need clang command -v clang++
need libclang-rt-14-dev test -e /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
case " ${missing[*]} " in
    *" wine32 "*|*" wine "*)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
        fi ;;
esac
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null

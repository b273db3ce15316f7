#!/usr/bin/env bash
# Two builds of one commit give the same bytes: builds SETUP.EXE and GRPCONV.EXE a
# second time, in another folder, and compares them with the build's own.
# Usage: reproducible_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
source=${1:?usage: reproducible_test.sh SOURCE-DIR BUILD-DIR}
build=${2:?usage: reproducible_test.sh SOURCE-DIR BUILD-DIR}
again=$build/reproduced/in/another/folder
rm -rf "$build/reproduced"
trap 'rm -rf "$build/reproduced"' EXIT
/usr/bin/cmake -S "$source" -B "$again" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
/usr/bin/cmake --build "$again" --target setup grpconv -j 2 >/dev/null
failures=0
for program in SETUP.EXE GRPCONV.EXE; do
    if cmp "$build/$program" "$again/$program"; then
        echo "$program: the same $(stat -c %s "$build/$program") bytes from both builds"
    else
        echo "FAIL: $program differs between two builds of one commit" >&2
        failures=$((failures + 1))
    fi
done
exit $failures

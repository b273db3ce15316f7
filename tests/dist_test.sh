#!/usr/bin/env bash
# make dist's assembly: a complete payload gives the shipping folder, a payload
# without a game file is refused with that file's name. Usage: dist_test.sh BUILD-DIR
set -euo pipefail
build=${1:?usage: dist_test.sh BUILD-DIR}
dist=$(cd "$(dirname "$0")/../scripts" && pwd)/dist.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/game/Data/sub"
for name in zoppel.exe ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do
    echo "$name" >"$work/game/$name"
done
echo level >"$work/game/Data/start.lev"
echo deep >"$work/game/Data/sub/deep.dat"
echo other >"$work/game/notes.txt"

"$dist" "$work/game" "$work/out" "$build" >/dev/null || fail "a complete payload was refused"
listing=$(cd "$work/out" && find . -type f | sed 's|^\./||' | sort)
expected=$(printf '%s\n' GRPCONV.EXE ORDERFRM.DOC README.DOC README.TXT SETUP.EXE UNINSTAL.BAT UNINSTAL.EXE \
    data/start.lev data/sub/deep.dat zoppel.exe | sort)
[ "$listing" == "$expected" ] || fail "shipping folder holds [$listing], expected [$expected]"
cmp -s "$work/out/SETUP.EXE" "$build/SETUP.EXE" || fail "SETUP.EXE differs from the build's"

rm "$work/game/README.TXT" "$work/game/UNINSTAL.BAT"
if message=$("$dist" "$work/game" "$work/out2" "$build" 2>&1); then
    fail "a payload without README.TXT was accepted"
fi
case "$message" in
    *"lacks README.TXT UNINSTAL.BAT"*) ;;
    *) fail "the refusal does not name the missing files: $message" ;;
esac
[ ! -e "$work/out2" ] || fail "a refused payload left a folder behind"

[ $failures -eq 0 ] && echo "dist: 2 passed, 0 failed"
exit $failures

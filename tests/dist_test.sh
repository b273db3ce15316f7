#!/usr/bin/env bash
# make dist's assembly: a complete payload gives the shipping folder, a payload
# without a game file is refused with that file's name, and signing that cannot be
# done is refused with its cause, before any folder is made. (The signed distribution
# itself is verified and installed by the e2e typical install.)
# Usage: dist_test.sh BUILD-DIR
set -euo pipefail
build=${1:?usage: dist_test.sh BUILD-DIR}
here=$(cd "$(dirname "$0")" && pwd)
dist=$here/../scripts/dist.sh
source "$here/test_certificate.sh"
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

# Signing refused: each case names its cause and leaves no folder, whole or partial.
make_test_certificate "$work/sign"
head -c 2000 /dev/urandom >"$work/sign/junk.pfx"
echo "not the password" >"$work/sign/wrong"
rm -rf "$work/game"
mkdir -p "$work/game"
for name in ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do echo "$name" >"$work/game/$name"; done
cases=(
    "$work/sign/none.pfx|$work/sign/password|the certificate $work/sign/none.pfx does not exist"
    "$work/sign|$work/sign/password|the certificate $work/sign is not a readable file"
    "$work/sign/junk.pfx|$work/sign/password|$work/sign/junk.pfx is not a PKCS#12 (.pfx) certificate"
    "$work/sign/cert.pfx|$work/sign/wrong|the password in $work/sign/wrong does not open the certificate"
    "$work/sign/cert.pfx|$work/sign/none|the password file $work/sign/none does not exist"
    "$work/sign/cert.pfx||SIGN_CERT needs SIGN_PASSWORD_FILE"
)
for row in "${cases[@]}"; do
    IFS='|' read -r cert password expected <<<"$row"
    if message=$(SIGN_CERT=$cert SIGN_PASSWORD_FILE=$password "$dist" "$work/game" "$work/signed" "$build" 2>&1); then
        fail "signing with [$cert] and [$password] was accepted"
    fi
    case "$message" in
        *"$expected"*"no distribution was made"*) ;;
        *) fail "signing with [$cert] and [$password]: [$message] does not say [$expected]" ;;
    esac
    leftovers=$(find "$work" -maxdepth 1 -name 'signed*')
    [ -z "$leftovers" ] || fail "signing with [$cert] and [$password] left $leftovers"
done

[ $failures -eq 0 ] && echo "dist: 3 passed, 0 failed"
exit $failures

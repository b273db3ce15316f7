#!/usr/bin/env bash
# make dist: a complete payload gives the shipping folder (folders 0755, files 0644),
# its archive and its CD image, each holding the folder's files and nothing else, the
# same bytes from run to run; a payload without a game file is refused with that file's
# name, and signing that cannot be done is refused with its cause; a run that fails,
# whatever the cause, leaves the previous distribution exactly as it was. Only a previous
# distribution is replaced, even one changed while a run assembles; one run at a time; a
# killed run leaves nothing stale for the next one. The files are dated by the commit. A
# password file's first line signs, and a signed program less its signature is the
# build's. (The signed programs are installed by the e2e typical install.)
# Usage: dist_test.sh BUILD-DIR
set -euo pipefail
build=${1:?usage: dist_test.sh BUILD-DIR}
here=$(cd "$(dirname "$0")" && pwd)
dist=$here/../scripts/dist.py
source "$here/test_certificate.sh"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# FOLDER: FOLDER.zip holds the folder's folders and files, byte for byte, sorted, and
# nothing else; so does FOLDER.iso, read through Rock Ridge and through Joliet (what
# Windows reads), with AUTORUN.INF besides; it is volume ZOPPEL and keeps the names of
# SETUP.EXE and AUTORUN.INF in its ISO 9660 tree too.
check_archive_and_image() {
    local folder=$1 names tree
    rm -rf "$work/copy"
    names=$(/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); z.extractall(sys.argv[2])
print("\n".join(z.namelist()))' "$folder.zip" "$work/copy")
    [ "$names" == "$(cd "$folder" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \) | LC_ALL=C sort)" ] \
        && diff -r "$folder" "$work/copy" >&2 || fail "$folder.zip does not hold the folder's files alone, sorted: [$names]"
    for tree in any norock; do
        rm -rf "$work/copy"
        /usr/bin/xorriso -osirrox on -read_fs $tree -indev "$folder.iso" -extract / "$work/copy" >/dev/null 2>&1 \
            && chmod -R u+w "$work/copy" || fail "$folder.iso cannot be read"
        printf '[autorun]\r\nopen=SETUP.EXE\r\nicon=SETUP.EXE\r\n' | cmp -s - "$work/copy/AUTORUN.INF" \
            || fail "$folder.iso ($tree) has no AUTORUN.INF of the three lines"
        rm -f "$work/copy/AUTORUN.INF"
        diff -r "$folder" "$work/copy" >&2 || fail "$folder.iso ($tree) does not hold the folder's files alone"
    done
    /usr/bin/xorriso -indev "$folder.iso" -pvd_info 2>/dev/null | grep -qx 'Volume Id    : ZOPPEL' \
        || fail "$folder.iso is not volume ZOPPEL"
    [ "$(/usr/bin/xorriso -read_fs ecma119 -indev "$folder.iso" -find / 2>/dev/null | grep -cx "'/SETUP.EXE'\|'/AUTORUN.INF'")" == 2 ] \
        || fail "$folder.iso's ISO 9660 names lack SETUP.EXE or AUTORUN.INF"
}
# ARCHIVE EPOCH: every entry of ARCHIVE is dated EPOCH (UTC, in the two-second steps of ZIP).
dated() {
    /usr/bin/python3 -c 'import sys, time, zipfile
when = list(time.gmtime(int(sys.argv[2]))[:6]); when[5] -= when[5] % 2
sys.exit(any(list(entry.date_time) != when for entry in zipfile.ZipFile(sys.argv[1]).infolist()))' "$@"
}

mkdir -p "$work/game/Data/sub"
for name in zoppel.exe ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do
    echo "$name" >"$work/game/$name"
done
echo level >"$work/game/Data/start.lev"
echo effects >"$work/game/Data/Sound Effects.wav"
echo deep >"$work/game/Data/sub/deep.dat"
echo other >"$work/game/notes.txt"
chmod 0600 "$work/game/README.DOC"
chmod 0700 "$work/game/Data/sub"

shown=$(umask 077; "$dist" "$work/game" "$work/out" "$build") || fail "a complete payload was refused"
# What the setup never installs is named, data's folders among it; zoppel.exe keeps its spelling.
grep -q "^dist: not shipped.*notes\.txt.*Data/sub/" <<<"$shown" || fail "no notice of what is not shipped: $shown"
grep -q "^dist: shipped under the payload's own spelling.*zoppel\.exe" <<<"$shown" || fail "no notice of zoppel.exe: $shown"
grep -qx "dist: shipped, but the setup deletes them again at its end: data/start.lev" <<<"$shown" \
    || fail "no notice of the data file the setup deletes: $shown"
dated "$work/out.zip" "$(/usr/bin/git -C "$here" log -1 --format=%ct 2>/dev/null || echo 946684800)" \
    || fail "out.zip is not dated by the commit"
listing=$(cd "$work/out" && find . -type f | sed 's|^\./||' | sort)
expected=$(printf '%s\n' GRPCONV.EXE ORDERFRM.DOC README.DOC README.TXT SETUP.EXE UNINSTAL.BAT UNINSTAL.EXE \
    data/start.lev "data/Sound Effects.wav" zoppel.exe | sort)
[ "$listing" == "$expected" ] || fail "shipping folder holds [$listing], expected [$expected]"
cmp -s "$work/out/SETUP.EXE" "$build/SETUP.EXE" || fail "SETUP.EXE differs from the build's"
odd=$(find "$work/out" "$work/out.zip" "$work/out.iso" \( -type d ! -perm 0755 \) -o \( ! -type d ! -perm 0644 \))
[ -z "$odd" ] || fail "not folders 0755 and files 0644: $odd"
check_archive_and_image "$work/out"
mkdir "$work/first" && cp "$work/out.zip" "$work/out.iso" "$work/first/"
first_run=$(date +%s)

cp -R "$work/game" "$work/lacking"
rm "$work/lacking/README.TXT" "$work/lacking/UNINSTAL.BAT"
if message=$("$dist" "$work/lacking" "$work/out2" "$build" 2>&1); then
    fail "a payload without README.TXT was accepted"
fi
case "$message" in
    *"lacks README.TXT UNINSTAL.BAT"*) ;;
    *) fail "the refusal does not name the missing files: $message" ;;
esac
[ ! -e "$work/out2" ] || fail "a refused payload left a folder behind"
# Given a payload that would be refused too, lest a fault here touch the root.
for out in "" / //; do
    message=$("$dist" "$work/lacking" "$out" "$build" 2>&1) && fail "OUT-DIR [$out] was accepted"
    [[ $message == *"OUT-DIR '$out' names no folder"* ]] || fail "OUT-DIR [$out]: $message"
done

# Each run that fails names its cause and leaves the previous distribution (folder,
# archive, image) byte for byte and mode for mode, and nothing beside it.
watched=signed
snapshot() { (cd "$work" && find "$watched"* -printf '%p %m %s %l\n' && find "$watched"* -type f -exec md5sum {} +) | sort; }
refused() {  # EXPECTED COMMAND...; leaves what it said in $message
    local expected=$1
    shift
    message=$("$@" 2>&1) && fail "[$*] was accepted"
    [[ $message == *"$expected"*"no distribution was made"* ]] || fail "[$*]: [$message] does not say [$expected]"
    [ "$(snapshot)" == "$previous" ] || fail "[$*] changed the previous distribution or left something beside it"
}
"$dist" "$work/game" "$work/signed" "$build" >/dev/null
chmod 0600 "$work/signed/README.TXT"
previous=$(snapshot)
make_test_certificate "$work/sign"
head -c 2000 /dev/urandom >"$work/sign/junk.pfx"
echo "not the password" >"$work/sign/wrong"
cases=(
    "$work/sign/none.pfx|$work/sign/password|the certificate $work/sign/none.pfx does not exist"
    "$work/sign|$work/sign/password|the certificate $work/sign is not a readable file"
    "$work/sign/junk.pfx|$work/sign/password|$work/sign/junk.pfx is not a PKCS#12 (.pfx) certificate"
    "$work/sign/cert.pfx|$work/sign/wrong|the password in $work/sign/wrong does not open the certificate"
    "$work/sign/cert.pfx|$work/sign/none|the password file $work/sign/none does not exist"
    "$work/sign/cert.pfx||SIGN_CERT needs SIGN_PASSWORD_FILE"
)
for row in "${cases[@]}"; do
    IFS='|' read -r cert password says <<<"$row"
    SIGN_CERT=$cert SIGN_PASSWORD_FILE=$password refused "$says" "$dist" "$work/game" "$work/signed" "$build"
done
# The disk fills up while the image is written: xorriso fails.
refused "making the CD image $work/signed.iso failed" "$BASH" -c 'ulimit -f $1; exec "${@:2}"' - \
    $(($(stat -c %s "$work/signed.iso") / 2048)) "$dist" "$work/game" "$work/signed" "$build"
cp -R "$work/game" "$work/long"
echo long >"$work/long/Data/$(printf 'n%.0s' {1..66}).dat"
refused "would not be the folder's" "$dist" "$work/long" "$work/signed" "$build"
# Two data names that differ only in case would be one file on Windows.
cp -R "$work/game" "$work/twins" && echo other >"$work/twins/Data/START.LEV"
refused "holds START.LEV and start.lev, which Windows takes for one name" "$dist" "$work/twins" "$work/signed" "$build"
refused "holds $work/game, which would be deleted" "$dist" "$work/game" "$work/game" "$build"

# Only an empty folder or a previous distribution (files alone in its data) is replaced,
# and beside it only a distribution's archive and image: anything else, a link
# included, is refused by name. A path too long to look at is refused as well.
watched=own
mkdir -p "$work/own/zeta" && echo mine >"$work/own/report.txt" && cp "$work/game/README.TXT" "$work/own/"
# Outside a checkout and without SOURCE_DATE_EPOCH, the files are dated 2000-01-01, as it says.
mkdir "$work/bare" && cp "$here/../scripts/dist.py" "$here/../scripts/make_zip.py" "$work/bare/"
shown=$("$work/bare/dist.py" "$work/game" "$work/ownd" "$build") && [[ $shown == *"dated 2000-01-01 00:00 UTC"* ]] \
    && dated "$work/ownd.zip" 946684800 || fail "outside a checkout: [$shown]"
/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], "w")
z.writestr("SETUP.EXE", ""); z.writestr("data/sub/deep.dat", ""); z.close()
image = open(sys.argv[2], "rb").read()
open(sys.argv[3], "wb").write(image[:32808] + b"OTHER " + image[32814:])
open(sys.argv[4], "wb").write(image.replace(b"AUTORUN.INF;1", b"AUTORUX.INF;1"))' \
    "$work/ownz.zip" "$work/ownd.iso" "$work/owni.iso" "$work/owna.iso"
mkdir "$work/ownd/data/sub"
ln -s ownd "$work/ownl"
previous=$(snapshot)
refused "OUT-DIR $work/own holds report.txt, which no distribution holds" "$dist" "$work/game" "$work/own" "$build"
refused "OUT-DIR $work/ownd holds data/sub, which no distribution holds" "$dist" "$work/game" "$work/ownd" "$build"
refused "$work/ownz.zip is not a distribution's archive" "$dist" "$work/game" "$work/ownz" "$build"
for name in owni owna; do
    refused "$work/$name.iso is not a CD image of make dist's" "$dist" "$work/game" "$work/$name" "$build"
done
refused "OUT-DIR $work/ownl is a symbolic link" "$dist" "$work/game" "$work/ownl" "$build"
refused "File name too long" "$dist" "$work/game" "$work/own$(printf 'n%.0s' {1..250})" "$build"

# While a run assembles (held still here), a second one is refused and leaves its stage
# be; a file written meanwhile into the previous distribution is found at the swap, and
# kept. A run killed outright while it assembles leaves a stage that the next run
# removes; one killed between its renames left the previous distribution in the stage,
# which is refused, kept, and put back by the renames the refusal gives; once all three
# new ones are in place nothing is to be put back. A folder named like a stage that
# holds anything else, or like another OUT-DIR's stage, is left alone, and named.
watched=killed
cp -R "$work/game" "$work/big"
head -c 16000000 /dev/urandom >"$work/big/Data/big.dat"
"$dist" "$work/game" "$work/killed" "$build" >/dev/null
assembling() {  # waits for the run in the background to assemble; sets $stage
    for _ in $(seq 1000); do stage=$(compgen -G "$work/killed.partial.*/new.folder") && break; sleep 0.01; done
    stage=${stage%/new.folder}
}
"$dist" "$work/big" "$work/killed" "$build" >"$work/held" 2>&1 &
assembling && kill -STOP $!
message=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) && fail "a second run at once was accepted"
[[ $message == *"another make dist is running in $work;"* ]] && [ -d "$stage/new.folder" ] \
    || fail "a second run at once: [$message]"
echo mine >"$work/killed/data/mine.txt"
kill -CONT $!
! wait $! && grep -q "$work/killed changed while this run made the distribution (data/mine.txt is new" "$work/held" \
    && [ -f "$work/killed/data/mine.txt" ] && [ ! -e "$stage" ] || fail "a file added meanwhile: $(cat "$work/held")"
rm "$work/killed/data/mine.txt"
"$dist" "$work/big" "$work/killed" "$build" >/dev/null &
assembling
kill -KILL $! && ! wait $! 2>/dev/null || fail "the run was not killed while it assembled"
[ -d "$stage" ] || fail "the killed run left no stage"
cp -R "$stage" "$work/stage-copy"
kept=$(snapshot)
mv "$work/killed" "$stage/old.folder"
previous=$(snapshot)
refused "the previous one is in $stage; to put it back: mv -T" "$dist" "$work/game" "$work/killed" "$build"
eval "$(sed -n 's/.*to put it back: \(.*\); no distribution was made$/\1/p' <<<"$message")"
[ "$(snapshot)" == "$kept" ] || fail "the renames given did not put the previous distribution back: $message"
cp -R "$work/stage-copy" "$work/killed.partial.mine" && echo mine >"$work/killed.partial.mine/notes.txt"
cp -R "$work/stage-copy" "$work/killed.partial.x.partial.abcdefgh"
cp -R "$work/game" "$work/nodata" && rm -r "$work/nodata/Data"
shown=$("$dist" "$work/nodata" "$work/killed" "$build") || fail "the run after a killed one was refused"
[[ $shown == *"$work/nodata has no data folder"* ]] || fail "a payload without data is not told: $shown"
[[ $shown == *"left alone, as they are not recognisably stages of make dist: $work/killed.partial.mine, $work/killed.partial.x.partial.abcdefgh"$'\n'* ]] \
    || fail "the folders named like stages are not told: $shown"
beside="killed killed.iso killed.partial.mine killed.partial.x.partial.abcdefgh killed.zip"
[ "$(cd "$work" && echo killed*)" == "$beside" ] || fail "beside killed after a killed run: $(cd "$work" && echo killed*)"
rm -r "$work/stage-copy/new."*
cp -R "$work/killed" "$work/stage-copy/old.folder" && cp "$work/killed.zip" "$work/stage-copy/old.zip"
mv "$work/stage-copy" "$work/killed.partial.finished"
"$dist" "$work/game" "$work/killed" "$build" >/dev/null || fail "a stage whose new ones were all in place was refused"
[ "$(cd "$work" && echo killed*)" == "$beside" ] \
    || fail "beside killed after a stage whose new ones were in place: $(cd "$work" && echo killed*)"

# The password is the file's first line, whatever follows it. The files are dated by
# SOURCE_DATE_EPOCH when it is set.
{ cat "$work/sign/password"; echo "a second line"; } >"$work/sign/two-lines"
SOURCE_DATE_EPOCH=1700000000 SIGN_CERT=$work/sign/cert.pfx SIGN_PASSWORD_FILE=$work/sign/two-lines \
    "$dist" "$work/game" "$work/signed" "$build" >/dev/null || fail "signing with the first line of two-lines was refused"
for program in SETUP.EXE GRPCONV.EXE; do
    /usr/bin/osslsigncode verify -CAfile "$work/sign/cert.pem" -in "$work/signed/$program" >/dev/null 2>&1 \
        || fail "$program signed does not verify"
    # What was signed is the build's program, byte for byte.
    /usr/bin/osslsigncode remove-signature -in "$work/signed/$program" -out "$work/unsigned" >/dev/null 2>&1 \
        && cmp -s "$work/unsigned" "$build/$program" || fail "$program without its signature is not the build's"
    rm -f "$work/unsigned"
done
check_archive_and_image "$work/signed"
dated "$work/signed.zip" 1700000000 && /usr/bin/xorriso -indev "$work/signed.iso" -pvd_info 2>/dev/null \
    | grep -qx 'Modif. Time  : 2023111422132000' || fail "the files are not dated by SOURCE_DATE_EPOCH"

# Again into the same folder, named with trailing slashes, another umask, time zone and
# time (two seconds on at least, the archive's dates being in steps of two): one new
# distribution in place, nothing beside it, the archive and the image the same bytes.
touch "$work/out/data/stale.lev"
for _ in $(seq 30); do [ "$(date +%s)" -ge $((first_run + 2)) ] && break; sleep 0.1; done
(umask 022; TZ=Asia/Tokyo "$dist" "$work/game" "$work/out//" "$build" >/dev/null) || fail "OUT-DIR out// was refused"
listing=$(cd "$work/out" && find . -type f | sed 's|^\./||' | sort)
[ "$listing" == "$expected" ] || fail "after a run with out//, the folder holds [$listing]"
[ "$(cd "$work" && echo out*)" == "out out.iso out.zip" ] || fail "beside out: $(cd "$work" && echo out*)"
cmp "$work/first/out.zip" "$work/out.zip" || fail "two runs gave two archives"
cmp "$work/first/out.iso" "$work/out.iso" || fail "two runs gave two CD images"

[ $failures -eq 0 ] && echo "dist: passed"
exit $failures

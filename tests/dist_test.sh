#!/usr/bin/env bash
# make dist: a complete payload gives the shipping folder (folders 0755, files 0644),
# its archive and its CD image, each holding the folder's files and nothing else, the
# same bytes from run to run, dated by the commit. What cannot ship (a missing game file,
# a name Windows cannot take, outputs nested in the payload, signing that cannot be
# done, no release date) is refused by name, and leaves the previous distribution as it
# was; so is anything at the outputs' places that the previous .zip does not list. One
# run at a time, the programs it starts holding its lock; a run killed at any moment is
# finished or cleared by the next. A password file's first line signs, and a signed
# program less its signature is the build's. (The e2e typical install installs them.)
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
cp -R "$work/game" "$work/other" && echo more >"$work/other/Data/more.lev"  # a second release

shown=$(umask 077; "$dist" "$work/game" "$work/out" "$build") || fail "a complete payload was refused"
# What the setup never installs is named, data's folders among it; zoppel.exe keeps its spelling.
grep -q "^dist: not shipped.*notes\.txt.*Data/sub/" <<<"$shown" || fail "no notice of what is not shipped: $shown"
grep -q "^dist: shipped under the payload's own spelling.*zoppel\.exe" <<<"$shown" || fail "no notice of zoppel.exe: $shown"
grep -qx "dist: shipped, but the setup deletes them again at its end: data/start.lev" <<<"$shown" \
    || fail "no notice of the data file the setup deletes: $shown"
dated "$work/out.zip" "$(/usr/bin/git -c safe.directory="$(cd "$here/.." && pwd -P)" -C "$here" log -1 --format=%ct)" \
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
[[ $message == *"lacks README.TXT UNINSTAL.BAT"* ]] || fail "the refusal does not name the missing files: $message"
[ ! -e "$work/out2" ] || fail "a refused payload left a folder behind"
# Given a payload that would be refused too, lest a fault here touch the root.
for out in "" / //; do
    message=$("$dist" "$work/lacking" "$out" "$build" 2>&1) && fail "OUT-DIR [$out] was accepted"
    [[ $message == *"OUT-DIR '$out' names no folder"* ]] || fail "OUT-DIR [$out]: $message"
done

# Each run that is refused names its cause and leaves the previous distribution (folder,
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
# Names a player's Windows cannot take or install as they are, each refused by name.
cp -R "$work/game" "$work/names"
bad_names() {  # EXPECTED NAME...: the game with the files NAME... in its data is refused, saying EXPECTED
    local expected=$1 name
    shift
    for name in "$@"; do echo bad >"$work/names/Data/$name"; done
    refused "$expected" "$dist" "$work/names" "$work/signed" "$build"
    for name in "$@"; do rm "$work/names/Data/$name"; done
}
for name in 'a<b.lev' 'a|b.lev' 'x.lev.' 'x.lev ' con.lev NUL COM1.wav 'Musik-Café.wav' "$(printf 'n%.0s' {1..65})"; do
    bad_names "$work/names/Data/$name cannot ship: its name" "$name"
done
bad_names "holds START.LEV and start.lev, which Windows takes for one name" START.LEV
bad_names "holds ABCDEF~1.DAT and abcdefghij.dat, which Windows may name ABCDEF~1.DAT too" ABCDEF~1.DAT abcdefghij.dat
# Outputs and payload nested either way.
refused "holds $work/game, which would be deleted" "$dist" "$work/game" "$work/game" "$build"
refused "OUT-DIR $work/game/Data/rel is inside the payload" "$dist" "$work/game" "$work/game/Data/rel" "$build"
[ -z "$(compgen -G "$work/game/Data/rel*")" ] || fail "a release refused inside the payload left something there"
# Dated by the commit of the checkout the tool is in, even one another user owns; with
# no checkout and no SOURCE_DATE_EPOCH it says how to set that. The files the setup
# deletes are the engine's table, which must hold its 38 entries.
mkdir -p "$work/clone/scripts" "$work/clone/engine"
cp "$dist" "$work/clone/scripts/" && cp "$here/../engine/file_transfer.cpp" "$work/clone/engine/"
refused "set SOURCE_DATE_EPOCH to the time of the commit shipped" "$work/clone/scripts/dist.py" "$work/game" "$work/signed" "$build"
sed -i 's/"license.txt",//' "$work/clone/engine/file_transfer.cpp"
SOURCE_DATE_EPOCH=1600000000 refused "RemovalList has 37 entries there, not 38" \
    "$work/clone/scripts/dist.py" "$work/game" "$work/signed" "$build"
cp "$here/../engine/file_transfer.cpp" "$work/clone/engine/"
(cd "$work/clone" && /usr/bin/git init -q && /usr/bin/git add . && GIT_COMMITTER_DATE=@1600000000 \
    /usr/bin/git -c user.name=t -c user.email=t@example.org commit -qm release)
if [ "$(id -u)" -eq 0 ]; then chown -R 65534:65534 "$work/clone"; else echo "SKIP: a checkout of another user's (needs root)"; fi
"$work/clone/scripts/dist.py" "$work/game" "$work/cloned" "$build" >/dev/null && dated "$work/cloned.zip" 1600000000 \
    || fail "a checkout of another user's does not date the release by its commit"

# Only what the previous run made is replaced: anything its .zip does not list, in the
# folder or beside it, is refused by name and left as it is.
watched=own
"$dist" "$work/game" "$work/own" "$build" >/dev/null
"$dist" "$work/other" "$work/otherrel" "$build" >/dev/null
mkdir "$work/pristine" && cp -a "$work/own" "$work/own.zip" "$work/own.iso" "$work/pristine/"
changes=(
    "echo mine >own/data/my.lev|own|OUT-DIR $work/own holds data/my.lev, which $work/own.zip does not list"
    "echo edited >>own/README.TXT|own|OUT-DIR $work/own holds README.TXT changed from what $work/own.zip lists"
    "rm own/data/start.lev|own|OUT-DIR $work/own lacks data/start.lev, which $work/own.zip lists"
    "rm own.zip|own|OUT-DIR $work/own holds GRPCONV.EXE, and there is no $work/own.zip"
    "echo not a zip >own.zip|own|$work/own.zip is not a ZIP archive"
    "cp otherrel.iso own.iso|own|$work/own.iso holds data/more.lev, which $work/own.zip with AUTORUN.INF does not list"
    "rm -r own own.iso && /usr/bin/python3 -m zipfile -c own.zip first|own|$work/own.zip is not the archive of a distribution"
    "ln -s own ownl|ownl|$work/ownl is a symbolic link"
)
for row in "${changes[@]}"; do
    IFS='|' read -r change out says <<<"$row"
    rm -rf "$work/own"* && cp -a "$work/pristine/." "$work/"
    (cd "$work" && eval "$change")
    previous=$(snapshot)
    refused "$says" "$dist" "$work/game" "$work/$out" "$build"
done
refused "File name too long" "$dist" "$work/game" "$work/own$(printf 'n%.0s' {1..250})" "$build"

# While a run assembles (held still here), a second one is refused and leaves its stage
# be; a file written meanwhile into the previous distribution is found before the
# swap, and kept.
watched=killed
cp -R "$work/game" "$work/big"
head -c 16000000 /dev/urandom >"$work/big/Data/big.dat"
"$dist" "$work/game" "$work/killed" "$build" >/dev/null
"$dist" "$work/big" "$work/killed" "$build" >"$work/held" 2>&1 &
for _ in $(seq 1000); do [ -d "$work/killed.make-dist/new.folder" ] && break; sleep 0.01; done
kill -STOP $!
message=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) && fail "a second run at once was accepted"
[[ $message == *"another make dist is running in $work;"* ]] && [ -d "$work/killed.make-dist/new.folder" ] \
    || fail "a second run at once: [$message]"
echo mine >"$work/killed/data/mine.txt"
kill -CONT $!
! wait $! && grep -q "OUT-DIR $work/killed holds data/mine.txt, which" "$work/held" && [ -f "$work/killed/data/mine.txt" ] \
    && [ ! -e "$work/killed.make-dist" ] || fail "a file added meanwhile: $(cat "$work/held")"
rm "$work/killed/data/mine.txt"

# A run killed at any moment, then a normal run: exactly the folder, its .zip and its
# .iso, from one release. First at each rename of the swap and as the stage is removed;
# then while a program it started (osslsigncode, held by a time-stamp server that never
# answers) works on and holds the lock, so that the next run is refused until it ends;
# then at random moments.
one_release() {
    [ "$(cd "$work" && echo killed*)" == "killed killed.iso killed.zip" ] || fail "$1: beside killed: $(cd "$work" && echo killed*)"
    check_archive_and_image "$work/killed"
}
killed_at() {  # FUNCTION N COMMAND...: COMMAND (a Python script) killed at its Nth call (from 0) of os.FUNCTION
    /usr/bin/python3 -c 'import os, runpy, sys
function, count = getattr(os, sys.argv[1]), int(sys.argv[2])
def killing(*args, **kwargs):
    global count
    if count == 0:
        os.kill(os.getpid(), 9)
    count -= 1
    return function(*args, **kwargs)
setattr(os, sys.argv[1], killing)
sys.argv = sys.argv[3:]
runpy.run_path(sys.argv[0], run_name="__main__")' "$@"
}
for point in "rename 0" "rename 1" "rename 2" "rename 3" "rename 4" "rename 5" "rmdir 0"; do
    killed_at $point "$dist" "$work/other" "$work/killed" "$build" >/dev/null 2>&1 && fail "not killed at $point"
    shown=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) || fail "after a kill at $point: $shown"
    says=$([ "$point" == "rmdir 0" ] && echo "removed $work/killed.make-dist, left by a stopped run" \
        || echo "a stopped run had made a whole distribution; it is now in place: $work/killed,")
    [[ $shown == "dist: $says"* ]] || fail "after a kill at $point: $shown"
    one_release "a kill at $point"
done
# Killed before the previous folder went aside, which the player's publisher then
# changes: the next run discards the new release and keeps what was put there.
killed_at rename 0 "$dist" "$work/other" "$work/killed" "$build" >/dev/null 2>&1 && fail "not killed at rename 0"
echo mine >"$work/killed/data/mine.txt"
message=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) && fail "a file added after a kill was accepted"
[[ $message == *"holds data/mine.txt, which"* ]] && [ -f "$work/killed/data/mine.txt" ] \
    && [ ! -e "$work/killed.make-dist" ] || fail "a file added after a kill: $message"
rm "$work/killed/data/mine.txt"
/usr/bin/python3 -c 'import socket, sys, time
server = socket.create_server(("127.0.0.1", 0)); print(server.getsockname()[1], flush=True)
connection = server.accept(); open(sys.argv[1], "w").close(); time.sleep(600)' "$work/accepted" >"$work/port" & server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
SIGN_CERT=$work/sign/cert.pfx SIGN_PASSWORD_FILE=$work/sign/password SIGN_TIMESTAMP_URL=http://127.0.0.1:$(cat "$work/port") \
    "$dist" "$work/other" "$work/killed" "$build" >/dev/null 2>&1 &
for _ in $(seq 300); do [ -e "$work/accepted" ] && break; sleep 0.05; done
kill -KILL $! && ! wait $! 2>/dev/null || fail "the run that signs was not killed"
previous=$(snapshot)
refused "another make dist is running in $work" "$dist" "$work/game" "$work/killed" "$build"
kill $server && wait $server 2>/dev/null || true
for _ in $(seq 100); do
    shown=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) && break
    [[ $shown == *"another make dist is running"* ]] || break
    sleep 0.1
done
[[ $shown == "dist: removed $work/killed.make-dist, left by a stopped run"* ]] || fail "after osslsigncode ended: $shown"
one_release "a kill while osslsigncode works"
start=${EPOCHREALTIME/./}
"$dist" "$work/other" "$work/killed" "$build" >/dev/null
span=$((${EPOCHREALTIME/./} - start))  # microseconds
declare -A next=([removed]=0 [finished]=0 [clean]=0)
for round in $(seq 20); do
    /usr/bin/setsid "$dist" "$work/other" "$work/killed" "$build" >/dev/null 2>&1 &
    moment=$(((RANDOM * 32768 + RANDOM) % span))
    sleep "$(printf '%d.%06d' $((moment / 1000000)) $((moment % 1000000)))"
    kill -KILL -- -$! 2>/dev/null || true
    wait $! 2>/dev/null || true
    shown=$("$dist" "$work/game" "$work/killed" "$build" 2>&1) || fail "round $round: $shown"
    case $shown in
        "dist: removed "*) next[removed]=$((next[removed] + 1)) ;;
        "dist: a stopped run"*) next[finished]=$((next[finished] + 1)) ;;
        *) next[clean]=$((next[clean] + 1)) ;;
    esac
    one_release "round $round"
done
echo "dist: 20 kills at random moments in ${span} µs; the next run removed a stage ${next[removed]} times," \
    "finished a swap ${next[finished]} times, found nothing left ${next[clean]} times"

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
# time (two seconds on at least, the archive's dates being in steps of two): the
# previous distribution replaced whole, nothing beside it, the same bytes.
for _ in $(seq 30); do [ "$(date +%s)" -ge $((first_run + 2)) ] && break; sleep 0.1; done
(umask 022; TZ=Asia/Tokyo "$dist" "$work/game" "$work/out//" "$build" >/dev/null) || fail "OUT-DIR out// was refused"
listing=$(cd "$work/out" && find . -type f | sed 's|^\./||' | sort)
[ "$listing" == "$expected" ] || fail "after a run with out//, the folder holds [$listing]"
[ "$(cd "$work" && echo out*)" == "out out.iso out.zip" ] || fail "beside out: $(cd "$work" && echo out*)"
cmp "$work/first/out.zip" "$work/out.zip" || fail "two runs gave two archives"
cmp "$work/first/out.iso" "$work/out.iso" || fail "two runs gave two CD images"

[ $failures -eq 0 ] && echo "dist: passed"
exit $failures

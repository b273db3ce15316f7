#!/usr/bin/env bash
# Assembles what ships: the folder OUT-DIR (SETUP.EXE and GRPCONV.EXE from the build,
# the six game files and the "data" folder from a folder that holds the game), and
# beside it OUT-DIR.zip, an archive of that folder, and OUT-DIR.iso, a CD image of it
# (ISO 9660 with Joliet names, volume ZOPPEL) whose AUTORUN.INF starts SETUP.EXE. With
# SIGN_CERT (a PKCS#12 .pfx file) and SIGN_PASSWORD_FILE (a file whose first line is
# its password), both programs are signed with osslsigncode (SHA-256), time-stamped
# by SIGN_TIMESTAMP_URL when that is given. All three are made beside their places and
# put there only once all three are whole: a run that fails leaves the previous ones.
# Usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR
set -euo pipefail
usage="usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR"
[ $# -eq 3 ] || { echo "$usage" >&2; exit 1; }
payload=${1:?$usage}
build=${3:?$usage}
cert=${SIGN_CERT:-}
password_file=${SIGN_PASSWORD_FILE:-}
timestamp_url=${SIGN_TIMESTAMP_URL:-}
here=$(cd "$(dirname "$0")" && pwd)
OSSLSIGNCODE=/usr/bin/osslsigncode
PYTHON=/usr/bin/python3
XORRISO=/usr/bin/xorriso
INSTALL_LIST=(ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT)
PROGRAMS=(SETUP.EXE GRPCONV.EXE)
# Every file in the archive and the image carries this date (2000-01-01 00:00 UTC),
# so that one commit's distribution always has the same bytes.
STAMP_EPOCH=946684800
STAMP_ISO=2000010100000000
# Started by Windows 95 and later when the disc is inserted: runs the setup, and the
# drive shows the setup's icon.
AUTORUN=$'[autorun]\r\nopen=SETUP.EXE\r\nicon=SETUP.EXE\r\n'

refuse() { echo "dist: $*; no distribution was made" >&2; exit 1; }

# "build/dist/" names the folder "build/dist"; the names beside it are made from that.
out=${2%"${2##*[!/]}"}
[ -n "$out" ] || refuse "OUT-DIR '$2' names no folder (it is empty or the root)"
case ${out##*/} in .|..) refuse "OUT-DIR '$2' names no folder of its own" ;; esac
[ -d "$payload" ] || refuse "there is no payload folder $payload"
for program in "${PROGRAMS[@]}"; do
    [ -f "$build/$program" ] || refuse "$build/$program is not built"
done
# The previous distribution is removed at the end; it must not hold what is shipped.
out_path=$(realpath -m -- "$out")
for source in "$payload" "$build"; do
    source_path=$(realpath -- "$source")
    if [ "$source_path" == "$out_path" ] || [ "${source_path#"$out_path"/}" != "$source_path" ]; then
        refuse "OUT-DIR $out holds $source, which would be deleted with the previous distribution"
    fi
done
# Windows finds the files whatever their case; so does this check.
found=()
missing=()
for name in "${INSTALL_LIST[@]}"; do
    file=$(find "$payload" -maxdepth 1 -type f -iname "$name" | head -n 1)
    if [ -n "$file" ]; then found+=("$file"); else missing+=("$name"); fi
done
if [ ${#missing[@]} -gt 0 ]; then
    refuse "$payload lacks ${missing[*]}; the setup needs all of: ${INSTALL_LIST[*]}"
fi
data=$(find "$payload" -maxdepth 1 -type d -iname data | head -n 1)
if [ -n "$cert" ]; then
    [ -e "$cert" ] || refuse "the certificate $cert does not exist"
    [ -f "$cert" ] && [ -r "$cert" ] || refuse "the certificate $cert is not a readable file"
    [ -n "$password_file" ] || refuse "SIGN_CERT needs SIGN_PASSWORD_FILE, a file whose first line is the certificate's password"
    [ -e "$password_file" ] || refuse "the password file $password_file does not exist"
    [ -f "$password_file" ] && [ -r "$password_file" ] || refuse "the password file $password_file is not a readable file"
    [ -x "$OSSLSIGNCODE" ] || refuse "$OSSLSIGNCODE is missing (Debian package osslsigncode)"
elif [ -n "$password_file" ]; then
    refuse "SIGN_PASSWORD_FILE is given without SIGN_CERT"
fi
[ -x "$PYTHON" ] || refuse "$PYTHON is missing (Debian package python3)"
[ -x "$XORRISO" ] || refuse "$XORRISO is missing (Debian package xorriso)"

# Everything is made in a folder beside OUT-DIR (the same parent, so that putting it
# in place is a rename) and removed with whatever it still holds when the run ends.
umask 022
parent=$(dirname "$out")
made_parent=""  # the outermost folder made for OUT-DIR's parent, removed on failure
ancestor=$parent
while [ ! -e "$ancestor" ] && [ ! -L "$ancestor" ]; do made_parent=$ancestor; ancestor=$(dirname "$ancestor"); done
stage=""
names=(folder zip iso)
declare -A place=([folder]=$out [zip]=$out.zip [iso]=$out.iso)
declare -A placed=()  # the names whose new version is, or is being, put in place
finished=""
cleanup() {
    set +e
    local i name keep=""
    if [ -z "$finished" ] && [ -n "$stage" ]; then
        # A run stopped while putting things in place puts the previous ones back;
        # should that fail, the stage is kept, since it holds them.
        for ((i = ${#names[@]} - 1; i >= 0; i--)); do
            name=${names[i]}
            # The new one is in place once it has left the stage: a signal can come
            # between the rename and the shell's next word.
            if [ -n "${placed[$name]:-}" ] && [ ! -e "$stage/new.$name" ]; then
                mv -T -- "${place[$name]}" "$stage/new.$name" || keep=yes
            fi
            if [ -e "$stage/old.$name" ] || [ -L "$stage/old.$name" ]; then
                mv -T -- "$stage/old.$name" "${place[$name]}" || keep=yes
            fi
        done
    fi
    if [ -n "$keep" ]; then
        echo "dist: the previous distribution could not be put back; it is in $stage" >&2
    elif [ -n "$stage" ]; then
        chmod -R u+w -- "$stage" 2>/dev/null
        rm -rf -- "$stage" || echo "dist: could not remove $stage" >&2
    fi
    if [ -z "$finished" ] && [ -n "$made_parent" ]; then
        local made=$parent
        while rmdir -- "$made" 2>/dev/null && [ "$made" != "$made_parent" ]; do made=$(dirname "$made"); done
    fi
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
# A run killed outright while putting things in place leaves the previous ones in its
# stage; they are for the publisher to put back, not for this run to delete.
for earlier in "$out".partial.*/old.*; do
    [ -e "$earlier" ] && refuse "an earlier run was stopped while putting its distribution in place: the previous one is in $(dirname "$earlier")"
done
mkdir -p "$parent" || refuse "cannot make the folder $parent"
stage=$(mktemp -d "$out.partial.XXXXXX") || refuse "cannot make a folder beside $out"

new=$stage/new.folder
mkdir "$new"
cp -- "${found[@]}" "$new/" || refuse "cannot copy the game's files"
[ -z "$data" ] || cp -RL -- "$data" "$new/data" || refuse "cannot copy $data"
if [ -n "$cert" ]; then
    # The password is the file's first line, without its line end (LF or CR LF) and
    # without a byte order mark. osslsigncode -readpass would take the whole file, so
    # it is handed the first line alone through a pipe (/dev/fd/N); the password is
    # never on a command line nor in a file of its own.
    IFS= read -r password <"$password_file" || true
    password=${password#$'\xef\xbb\xbf'}
    password=${password%$'\r'}
fi
for program in "${PROGRAMS[@]}"; do
    if [ -z "$cert" ]; then
        cp "$build/$program" "$new/"
        continue
    fi
    # The description is what Windows shows for the program when it asks to elevate it.
    case "$program" in
        SETUP.EXE) description="Zoppel Setup" ;;
        *) description="Zoppel program group converter" ;;
    esac
    options=(-pkcs12 "$cert" -h sha256 -n "$description")
    [ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
    if ! report=$("$OSSLSIGNCODE" sign "${options[@]}" -readpass <(printf '%s\n' "$password") \
                  -in "$build/$program" -out "$new/$program" 2>&1); then
        case "$report" in
            *"Wrong password"*) refuse "the password in $password_file does not open the certificate $cert" ;;
            *"Failed to extract PKCS#12"* | *"Failed to read PKCS#12"*) refuse "$cert is not a PKCS#12 (.pfx) certificate" ;;
            *) refuse "signing $program with $cert failed: $(printf '%s\n' "$report" | head -n 3 | tr '\n' ' ')" ;;
        esac
    fi
done
unset password
# Folders 0755 and files 0644, whatever the payload's modes: Windows needs no x bit.
find "$new" -type d -exec chmod 0755 {} + -o -type f -exec chmod 0644 {} +

if ! report=$("$PYTHON" "$here/make_zip.py" "$new" "$stage/new.zip" "$STAMP_EPOCH" 2>&1); then
    refuse "writing $out.zip failed: $(printf '%s\n' "$report" | tail -n 1)"
fi

# The image holds the folder and, at its root, AUTORUN.INF. Rock Ridge records owner 0
# and fixed modes (-r), every file gets the one date, and no start-up file of xorriso's
# is read, so that neither the user nor the time of the run shows in the image.
mkdir "$stage/cd-root"
printf '%s' "$AUTORUN" >"$stage/cd-root/AUTORUN.INF"
if ! report=$(TZ=UTC SOURCE_DATE_EPOCH=$STAMP_EPOCH "$XORRISO" -no_rc -as mkisofs -quiet \
              -o "$stage/new.iso" -V ZOPPEL -J -r -input-charset UTF-8 \
              --modification-date="$STAMP_ISO" --set_all_file_dates "=$STAMP_EPOCH" \
              "$new" "$stage/cd-root" 2>&1); then
    refuse "making the CD image $out.iso failed: $(printf '%s\n' "$report" | grep -v -e '^xorriso [0-9]' -e ' : NOTE : ' -e ' : UPDATE : ' -e '^$' | tail -n 3 | tr '\n' ' ')"
fi
# Joliet takes names of up to 64 characters without * : ; ? \ and the like; xorriso
# shortens or changes others without a word, and Windows would see other names than
# the setup's. The image's Joliet tree must hold every name of the folder as it is.
quote() { sed "s|^\.||; s/'/'\"'\"'/g; s/.*/'&'/" | LC_ALL=C sort; }
wanted=$( (cd "$new" && find . -mindepth 1; echo ./AUTORUN.INF) | quote)
joliet=$("$XORRISO" -no_rc -local_charset UTF-8 -read_fs norock -indev "$stage/new.iso" -find / 2>/dev/null \
         | grep -vx "'/'" | LC_ALL=C sort) || true
if [ "$wanted" != "$joliet" ]; then
    lost=$(LC_ALL=C comm -23 <(printf '%s\n' "$wanted") <(printf '%s\n' "$joliet") | head -n 5 | tr '\n' ' ')
    refuse "the CD image's Joliet names would not be the folder's (up to 64 characters, none of * : ; ? \\): $lost"
fi
chmod 0644 "$stage/new.zip" "$stage/new.iso"

# All three are whole: each goes in place by two renames, the previous one aside into
# the stage, then the new one in; cleanup puts the previous ones back should one fail.
for name in "${names[@]}"; do
    if [ -e "${place[$name]}" ] || [ -L "${place[$name]}" ]; then
        mv -T -- "${place[$name]}" "$stage/old.$name" || refuse "cannot move ${place[$name]} aside"
    fi
    placed[$name]=yes
    mv -T -- "$stage/new.$name" "${place[$name]}" || refuse "cannot move the new ${place[$name]} in place"
done
finished=yes

total=0
while read -r size; do total=$((total + size)); done < <(find "$out" -type f -printf '%s\n')
count=$(find "$out" -type f | wc -l)
signed=${cert:+, ${PROGRAMS[*]} signed with $cert}
echo "dist: $out holds $count files$signed:"
(cd "$out" && find . -type f | sed 's|^\./||' | sort)
echo "dist: made $out ($count files, $total bytes), $out.zip ($(stat -c %s "$out.zip") bytes)" \
     "and $out.iso ($(stat -c %s "$out.iso") bytes)"

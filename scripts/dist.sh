#!/usr/bin/env bash
# Assembles a ready-to-ship setup folder: SETUP.EXE and GRPCONV.EXE from the build,
# the six game files and the "data" folder from a folder that holds the game. With
# SIGN_CERT (a PKCS#12 .pfx file) and SIGN_PASSWORD_FILE (a file whose first line is
# its password), both programs are signed with osslsigncode (SHA-256), time-stamped
# by SIGN_TIMESTAMP_URL when that is given. The folder appears whole or not at all.
# Usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR
set -euo pipefail
payload=${1:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
out=${2:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
build=${3:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
cert=${SIGN_CERT:-}
password_file=${SIGN_PASSWORD_FILE:-}
timestamp_url=${SIGN_TIMESTAMP_URL:-}
OSSLSIGNCODE=/usr/bin/osslsigncode
INSTALL_LIST=(ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT)
PROGRAMS=(SETUP.EXE GRPCONV.EXE)

refuse() { echo "dist: $*; no distribution was made" >&2; exit 1; }

[ -d "$payload" ] || refuse "there is no payload folder $payload"
for program in "${PROGRAMS[@]}"; do
    [ -f "$build/$program" ] || refuse "$build/$program is not built"
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

# Everything is made beside OUT-DIR and moved into place once it is whole.
mkdir -p "$(dirname "$out")"
partial=$(mktemp -d "$out.partial.XXXXXX")
trap 'rm -rf "$partial"' EXIT
cp "${found[@]}" "$partial/"
[ -z "$data" ] || cp -R "$data" "$partial/data"
for program in "${PROGRAMS[@]}"; do
    if [ -z "$cert" ]; then
        cp "$build/$program" "$partial/"
        continue
    fi
    # The description is what Windows shows for the program when it asks to elevate it.
    case "$program" in
        SETUP.EXE) description="Zoppel Setup" ;;
        *) description="Zoppel program group converter" ;;
    esac
    options=(-pkcs12 "$cert" -readpass "$password_file" -h sha256 -n "$description")
    [ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
    if ! report=$("$OSSLSIGNCODE" sign "${options[@]}" -in "$build/$program" -out "$partial/$program" 2>&1); then
        case "$report" in
            *"Wrong password"*) refuse "the password in $password_file does not open the certificate $cert" ;;
            *"Failed to extract PKCS#12"* | *"Failed to read PKCS#12"*) refuse "$cert is not a PKCS#12 (.pfx) certificate" ;;
            *) refuse "signing $program with $cert failed: $(printf '%s\n' "$report" | head -n 3 | tr '\n' ' ')" ;;
        esac
    fi
done

rm -rf "$out"
mv "$partial" "$out"
trap - EXIT
signed=${cert:+, ${PROGRAMS[*]} signed with $cert}
echo "dist: $out holds $(find "$out" -type f | wc -l) files$signed:"
(cd "$out" && find . -type f | sed 's|^\./||' | sort)

#!/usr/bin/env bash
# Assembles a ready-to-ship setup folder: SETUP.EXE and GRPCONV.EXE from the build,
# the six game files and the "data" folder from a folder that holds the game.
# Usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR
set -euo pipefail
payload=${1:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
out=${2:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
build=${3:?usage: dist.sh PAYLOAD-DIR OUT-DIR BUILD-DIR}
INSTALL_LIST=(ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT)

[ -d "$payload" ] || { echo "dist: no payload folder $payload" >&2; exit 1; }
for program in SETUP.EXE GRPCONV.EXE; do
    [ -f "$build/$program" ] || { echo "dist: $build/$program is not built" >&2; exit 1; }
done
# Windows finds the files whatever their case; so does this check.
found=()
missing=()
for name in "${INSTALL_LIST[@]}"; do
    file=$(find "$payload" -maxdepth 1 -type f -iname "$name" | head -n 1)
    if [ -n "$file" ]; then found+=("$file"); else missing+=("$name"); fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "dist: $payload lacks ${missing[*]}; the setup needs all of: ${INSTALL_LIST[*]}" >&2
    exit 1
fi
data=$(find "$payload" -maxdepth 1 -type d -iname data | head -n 1)

rm -rf "$out"
mkdir -p "$out"
cp "$build/SETUP.EXE" "$build/GRPCONV.EXE" "${found[@]}" "$out/"
[ -z "$data" ] || cp -R "$data" "$out/data"
echo "dist: $out holds $(find "$out" -type f | wc -l) files:"
(cd "$out" && find . -type f | sed 's|^\./||' | sort)

#!/usr/bin/env bash
# Runs the setup's main job on a sample distribution under Wine: lays out e:\SETUP
# (SETUP.EXE, the six game files as small placeholders, a data folder of samples),
# runs SETUP.EXE and prints what landed where. With a display, the dialog is yours to
# click; without one, the script drives it and saves screenshots of its pages.
# Usage: demo.sh BUILD-DIR (the win32 preset's build folder)
set -euo pipefail
build=$(cd "${1:?usage: demo.sh BUILD-DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
RUN=$build/demo
DRIVER_EXE=$build/tests/e2e/driver.exe
source "$here/wine_session.sh"

interactive=${DISPLAY:+yes}
trap wine_session_stop EXIT
echo "== Starting a Wine session in $RUN"
wine_session_start

# A sample of the game: the six files as placeholders and a few data files, named off
# the removal list (whose files the setup deletes from the install folder at its end).
payload=$RUN/payload
mkdir -p "$payload/data"
for name in ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do
    echo "Zoppel sample file $name" >"$payload/$name"
done
for name in caves.lev level31.lev music.mid sprites.dat title.dat; do
    head -c 20000 /dev/urandom >"$payload/data/$name"
done
echo "== The distribution, made by 'make dist', in E:\\SETUP"
"$here/dist.py" "$payload" "$RUN/e/SETUP" "$build"

start_setup
if [ -n "$interactive" ]; then
    echo "== SETUP.EXE is running on $DISPLAY: choose a folder and press Continue"
    wait "$SETUP_PID" || true
else
    shots=$build/shots
    mkdir -p "$shots"
    snap() { screenshot "$shots/$1.png"; }
    drive dialog >/dev/null
    snap demo-collecting
    drive dialog set 1000 'D:\Games\Zoppel' click 1 wait-visible 1009 1 >/dev/null
    snap demo-finished
    drive dialog click 1009 gone >/dev/null
    wait_setup_exit
    echo "== Screenshots of the dialog's pages: $shots/demo-collecting.png, $shots/demo-finished.png"
fi

echo "== What landed on D: (the install folder)"
(cd "$RUN/d" && find . -mindepth 1 | sort | sed 's|^\./|D:\\|; s|/|\\|g')
echo "== What stayed in E:\\SETUP"
(cd "$RUN/e" && find SETUP -mindepth 1 | sort | sed 's|/|\\|g')
echo "== Install record, HKEY_CURRENT_USER\\Software\\Kestrova\\Zoppel"
drive reg location reg version | tr -d '\r'
echo "== The Start-menu group GRPCONV.EXE made from it"
if [ -f "$WINEPREFIX/drive_c/windows/SETUP.INI" ]; then
    drive group Zoppel 4 | tr -d '\r' | sed 's/^link /  /; s/|/  ->  /; s/|/  in  /'
fi
echo "== C:\\windows\\SETUP.INI"
if [ -f "$WINEPREFIX/drive_c/windows/SETUP.INI" ]; then
    tr -d '\r' <"$WINEPREFIX/drive_c/windows/SETUP.INI"
else
    echo "(none: the Start-menu option was cleared)"
fi

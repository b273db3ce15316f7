#!/usr/bin/env bash
# The install benchmark, under Wine on this machine's disk: the time from Continue to
# the completion page for a small game and a large one, each against copying and then
# deleting the same files with cp and rm on the same disk in the same run; and
# SETUP.EXE's size, start-up time to its dialog and peak memory against the barest
# dialog program of the same toolchain. Prints a Markdown table.
# Usage: bench.sh WIN32-BUILD-DIR
set -euo pipefail
build=$(cd "${1:?usage: bench.sh WIN32-BUILD-DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
RUN=$build/bench
DRIVER_EXE=$build/tests/e2e/driver.exe
source "$here/wine_session.sh"
trap wine_session_stop EXIT
wine_session_start
ms_now() { echo $(( $(date +%s%N) / 1000000 )); }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
rows=()

# A game of FILES data files of BYTES bytes each (the six install files as large).
lay_out_game() {
    local folder=$1 files=$2 bytes=$3
    rm -rf "$folder"
    mkdir -p "$folder/data"
    for name in ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do
        head -c "$bytes" /dev/urandom >"$folder/$name"
    done
    local i
    for ((i = 0; i < files; i++)); do
        head -c "$bytes" /dev/urandom >"$folder/data/file$i.dat"
    done
}

# One timed install of FILES data files of BYTES bytes, then the same bytes moved with
# the plain tools on the same disk; sets OURS_MS and PLAIN_MS.
install_once() {
    local files=$1 bytes=$2
    rm -rf "${RUN:?}/d/"* "$RUN/e/"*
    lay_out_game "$RUN/e/SETUP" "$files" "$bytes"
    cp "$build/SETUP.EXE" "$RUN/e/SETUP/"
    sync
    start_setup
    local out
    out=$(drive dialog set 1000 'D:\Zoppel' click 1002 timed-continue 600 | tr -d '\r')
    OURS_MS=${out#install_ms=}
    drive dialog click 1009 gone >/dev/null
    wait_setup_exit
    rm -rf "${RUN:?}/d/"* "$RUN/e/"*
    lay_out_game "$RUN/e/SETUP" "$files" "$bytes"
    sync
    local start
    start=$(ms_now)
    mkdir -p "$RUN/d/Zoppel"
    cp -R "$RUN/e/SETUP/." "$RUN/d/Zoppel/"
    rm -rf "$RUN/e/SETUP"
    PLAIN_MS=$(( $(ms_now) - start ))
    rm -rf "${RUN:?}/d/"* "$RUN/e/"*
}

measure_install() {  # measure_install LABEL FILES BYTES RUNS: the best of RUNS each
    local label=$1 files=$2 bytes=$3 runs=$4
    local best_ours=999999999 best_plain=999999999 i
    for ((i = 0; i < runs; i++)); do
        install_once "$files" "$bytes"
        [ "$OURS_MS" -lt "$best_ours" ] && best_ours=$OURS_MS
        [ "$PLAIN_MS" -lt "$best_plain" ] && best_plain=$PLAIN_MS
    done
    local total=$(( (files + 6) * bytes / 1000000 ))
    rows+=("| install, $label ($((files + 6)) files, $total MB; best of $runs) | $best_ours ms | cp and rm: $best_plain ms | $(ratio "$best_ours" "$best_plain") |")
}

# Start-up to a visible dialog and peak memory of a program against the bare dialog.
measure_program() {  # measure_program WINDOWS-PATH -> sets STARTUP_MS and PEAK_KB
    local start
    start=$(ms_now)
    start_setup "$1"
    drive window 'Zoppel Setup' >/dev/null
    STARTUP_MS=$(( $(ms_now) - start ))
    PEAK_KB=$(awk '/VmHWM/ { print $2 }' "/proc/$SETUP_PID/status")
    kill "$SETUP_PID"
    wait "$SETUP_PID" 2>/dev/null || true
}

echo "== benchmark in $RUN" >&2
measure_install "small game" 40 100000 5
measure_install "large game" 2000 500000 2

mkdir -p "$RUN/e/SETUP"
cp "$build/SETUP.EXE" "$RUN/e/SETUP/"
cp "$build/tests/bench/BARE.EXE" "$RUN/e/"
best_setup=999999 best_bare=999999
for _ in 1 2 3 4 5; do
    measure_program 'E:\SETUP\SETUP.EXE'
    [ "$STARTUP_MS" -lt "$best_setup" ] && best_setup=$STARTUP_MS setup_peak=$PEAK_KB
    measure_program 'E:\BARE.EXE'
    [ "$STARTUP_MS" -lt "$best_bare" ] && best_bare=$STARTUP_MS bare_peak=$PEAK_KB
done
setup_size=$(stat -c %s "$build/SETUP.EXE")
bare_size=$(stat -c %s "$build/tests/bench/BARE.EXE")
rows+=("| SETUP.EXE size | $setup_size bytes | bare dialog program: $bare_size bytes | $(ratio "$setup_size" "$bare_size") |")
rows+=("| start-up to the dialog (best of 5) | $best_setup ms | bare dialog program: $best_bare ms | $(ratio "$best_setup" "$best_bare") |")
rows+=("| peak memory (VmHWM of the Wine process) | $setup_peak KiB | bare dialog program: $bare_peak KiB | $(ratio "$setup_peak" "$bare_peak") |")

echo "| figure | SETUP.EXE | baseline | ratio |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $("$WINE" --version), disk $(df -h "$RUN" | awk 'NR == 2 { print $1 }'), $(date -u +%Y-%m-%d)."

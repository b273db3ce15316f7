#!/usr/bin/env bash
# The install benchmark, under Wine on this machine's disk: the time from Continue to
# the completion page for a small game and a large one, each against the bare loop of
# the moves' own calls with the status line (tests/bench/bare_loop.cpp: the floor
# under Wine) and against cp and rm, on the same disk in the same rounds; and
# SETUP.EXE's size, start-up time to its dialog and peak memory against the barest
# dialog program of the same toolchain. Medians with their range. Prints a Markdown
# table.
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

# A game of FILES data files of BYTES bytes each (the six install files as large),
# made once in the master folder; each measurement moves a fresh copy of it.
lay_out_game() {
    local files=$1 bytes=$2 folder=$RUN/master
    rm -rf "$folder"
    mkdir -p "$folder/data"
    for name in ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT; do
        head -c "$bytes" /dev/urandom >"$folder/$name"
    done
    local i
    for ((i = 0; i < files; i++)); do
        head -c "$bytes" /dev/urandom >"$folder/data/file$i.dat"
    done
    cp "$build/SETUP.EXE" "$folder/"
}

fresh_source() {
    rm -rf "${RUN:?}/d/"* "$RUN/e/SETUP"
    cp -R "$RUN/master" "$RUN/e/SETUP"
    sync
}

# Times a program with Continue, a status line and Exit (1009) from Continue until Exit
# shows, as the driver sees it; prints the milliseconds.
timed_continue() {  # timed_continue STEPS-BEFORE...
    local out
    out=$(drive dialog "$@" timed-continue 600 | tr -d '\r')
    drive dialog click 1009 gone >/dev/null
    wait_setup_exit
    echo "${out#install_ms=}"
}

# Fails the benchmark unless every file of the game but the program reached D:\Zoppel.
expect_moved() {  # expect_moved WAY
    local wanted
    wanted=$(cd "$RUN/master" && find . -type f ! -name SETUP.EXE -printf '%p %s\n' | sort)
    [ "$(cd "$RUN/d/Zoppel" 2>/dev/null && find . -type f ! -name SETUP.EXE -printf '%p %s\n' | sort)" == "$wanted" ] \
        || { echo "bench: $1 did not move every file" >&2; exit 1; }
}

# The same game moved three ways on the same disk, each from a fresh copy: SETUP.EXE
# into a folder it creates (the Start-menu option off), the bare loop with its status
# line (both timed alike, from Continue to their Exit button), and cp and rm. Odd
# rounds start with the setup, even ones with the loop. Sets OURS_MS, LOOP_MS and
# PLAIN_MS.
measure_round() {  # measure_round ROUND
    local way start
    for way in $( (($1 % 2)) && echo setup loop || echo loop setup) plain; do
        fresh_source
        case $way in
            setup)
                start_setup
                OURS_MS=$(timed_continue set 1000 'D:\Zoppel' click 1002) ;;
            loop)
                (cd "$RUN" && exec "$WINE" 'E:\BARELOOP.EXE' 'E:\SETUP' 'D:\Zoppel') >>"$RUN/setup.log" 2>&1 &
                SETUP_PID=$!
                LOOP_MS=$(timed_continue) ;;
            plain)
                start=$(ms_now)
                mkdir -p "$RUN/d/Zoppel"
                cp -R "$RUN/e/SETUP/." "$RUN/d/Zoppel/"
                rm -rf "$RUN/e/SETUP"
                PLAIN_MS=$(( $(ms_now) - start )) ;;
        esac
        expect_moved "$way"
    done
    rm -rf "${RUN:?}/d/"* "$RUN/e/SETUP"
}

# The median of the numbers on standard input, and their range: "M ms (A to B)"
# (UNIT instead of ms when given). A value that is no number fails the benchmark.
median() {  # median [UNIT]
    local values
    values=$(sort -n)
    if grep -qvx '[0-9]\+' <<<"$values"; then echo "bench: a measurement failed: [$values]" >&2; exit 1; fi
    awk -v unit="${1:-ms}" '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2)
                                                 printf "%d %s (%d to %d)", m, unit, v[1], v[NR] }' <<<"$values"
}

measure_install() {  # measure_install LABEL FILES BYTES ROUNDS
    local label=$1 files=$2 bytes=$3 rounds=$4 i ours=() loop=() plain=()
    lay_out_game "$files" "$bytes"
    for ((i = 1; i <= rounds; i++)); do
        measure_round $i
        ours+=("$OURS_MS") loop+=("$LOOP_MS") plain+=("$PLAIN_MS")
    done
    rm -rf "$RUN/master"
    local total m_ours m_loop m_plain
    total=$(awk -v b=$(( (files + 6) * bytes )) 'BEGIN { m = b / 1e6; printf (m < 10 ? "%.1f" : "%.0f"), m }')
    m_ours=$(printf '%s\n' "${ours[@]}" | median)
    m_loop=$(printf '%s\n' "${loop[@]}" | median)
    m_plain=$(printf '%s\n' "${plain[@]}" | median)
    rows+=("| install, $label ($((files + 6)) files, $total MB; median of $rounds, range) | $m_ours | bare loop with the status line: $m_loop | $(ratio "${m_ours%% *}" "${m_loop%% *}") |")
    rows+=("| the same, against cp and rm | $m_ours | cp and rm: $m_plain | $(ratio "${m_ours%% *}" "${m_plain%% *}") |")
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
cp "$build/tests/bench/BARELOOP.EXE" "$RUN/e/"
measure_install "small game" 40 100000 5
measure_install "large game" 2000 500000 5

mkdir -p "$RUN/e/SETUP"
cp "$build/SETUP.EXE" "$RUN/e/SETUP/"
cp "$build/tests/bench/BARE.EXE" "$RUN/e/"
setup_ms=() bare_ms=() setup_kb=() bare_kb=()
for _ in 1 2 3 4 5; do
    measure_program 'E:\SETUP\SETUP.EXE'
    setup_ms+=("$STARTUP_MS") setup_kb+=("$PEAK_KB")
    measure_program 'E:\BARE.EXE'
    bare_ms+=("$STARTUP_MS") bare_kb+=("$PEAK_KB")
done
setup_size=$(stat -c %s "$build/SETUP.EXE")
bare_size=$(stat -c %s "$build/tests/bench/BARE.EXE")
m_setup=$(printf '%s\n' "${setup_ms[@]}" | median)
m_bare=$(printf '%s\n' "${bare_ms[@]}" | median)
k_setup=$(printf '%s\n' "${setup_kb[@]}" | median KiB)
k_bare=$(printf '%s\n' "${bare_kb[@]}" | median KiB)
rows+=("| SETUP.EXE size | $setup_size bytes | bare dialog program: $bare_size bytes | $(ratio "$setup_size" "$bare_size") |")
rows+=("| start-up to the dialog (median of 5, range) | $m_setup | bare dialog program: $m_bare | $(ratio "${m_setup%% *}" "${m_bare%% *}") |")
rows+=("| peak memory (VmHWM of the Wine process; median of 5, range) | $k_setup | bare dialog program: $k_bare | $(ratio "${k_setup%% *}" "${k_bare%% *}") |")

echo "| figure | SETUP.EXE | baseline | ratio |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $("$WINE" --version), disk $(df -h "$RUN" | awk 'NR == 2 { print $1 }'), $(date -u +%Y-%m-%d)."

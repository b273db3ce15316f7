#!/usr/bin/env bash
# End-to-end tests of the real SETUP.EXE under Wine, driven through its controls by
# driver.exe; each test then reads the files, the registry and SETUP.INI it left.
#   e2e.sh start            make the shared Wine session (prefix, display, drives)
#   e2e.sh scenario NAME    run one scenario with a fresh source folder
#   e2e.sh stop             end the session
# Environment: SETUP_EXE, GRPCONV_EXE, DRIVER_EXE, RULES_EXE, E2E_RUN (run folder),
# E2E_SHOTS (screenshots), DECOYS (the folder of decoy tools that leads PATH).
# Run as root, the tests run Wine and every program under Wine as the account
# zoppel-e2e, in a run folder of its own that E2E_RUN/account-run names; the steps that
# need root (mounts) stay root's. Run as another user, they run as that user.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
RUN=${E2E_RUN:?}
source "$here/../../scripts/wine_session.sh"
source "$here/../test_certificate.sh"

INSTALL_LIST=(ZOPPEL.EXE ORDERFRM.DOC README.DOC README.TXT UNINSTAL.EXE UNINSTAL.BAT)
DATA_FILES=(big.lev level7.dat sound.wav)
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_eq() {  # expect_eq ACTUAL EXPECTED WHAT
    [ "$1" == "$2" ] || fail "$3: got [$1], expected [$2]"
}

content_of() { printf 'bytes of %s\001\377 end\n' "$1"; }

expect_content() {  # expect_content LINUX-PATH NAME
    if [ ! -f "$1" ]; then
        fail "missing $1"
    elif ! cmp -s "$1" <(content_of "$2"); then
        fail "wrong bytes in $1"
    fi
}

expect_absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }

# Every file lay_out makes, whole in the install folder $1 (big.lev, on the removal
# list, aside).
expect_installed() {
    local name
    for name in "${INSTALL_LIST[@]}" "${DATA_FILES[@]/#/data/}"; do
        [ "$name" == data/big.lev ] || expect_content "$1/$name" "$(basename "$name")"
    done
}

# A fresh distribution in $1 (a folder of the run): SETUP.EXE, the six files, data/,
# and GRPCONV.EXE when $2 is "with-converter" (without it no Start-menu group is made).
lay_out() {
    local folder=$1
    mkdir -p "$folder/data"
    cp "$SETUP_EXE" "$folder/SETUP.EXE"
    if [ "${2:-}" == with-converter ]; then cp "$GRPCONV_EXE" "$folder/GRPCONV.EXE"; fi
    for name in "${INSTALL_LIST[@]}" "${DATA_FILES[@]/#/data/}"; do
        content_of "$(basename "$name")" >"$folder/$name"
    done
}

programs_folder() {
    echo "$WINEPREFIX/drive_c/users/$WINE_USER/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
}

# Clears every trace of earlier scenarios: drives, record, group file and group.
fresh_machine() {
    stop_setup
    rm -rf "${RUN:?}/d/"* "$RUN/e/"* "$RUN/small/"* "$WINEPREFIX/drive_c/windows/SETUP.INI"
    rm -rf "$(programs_folder)/Zoppel"*
    wine_do reg delete 'HKCU\Software\Kestrova' /f >/dev/null 2>&1 || true
    : >"$RUN/setup.log"
}

# A listing of every file under the drives with its checksum, to prove nothing changed.
snapshot() { (cd "$RUN" && find d e -type f -exec md5sum {} + | sort -k2); }

shot() {  # shot NAME: a picture of the dialog as $E2E_SHOTS/NAME.png
    [ -n "${E2E_SHOTS:-}" ] || return 0
    mkdir -p "$E2E_SHOTS"
    screenshot "$E2E_SHOTS/$1.png" || fail "screenshot $1"
}

# Ends a setup that a failed scenario left running.
stop_setup() {
    if [ -n "${SETUP_PID:-}" ] && kill -0 "$SETUP_PID" 2>/dev/null; then
        kill "$SETUP_PID" 2>/dev/null || true
        wait "$SETUP_PID" 2>/dev/null || true
    fi
}

expect_no_record() {
    expect_eq "$(drive reg location | tr -d '\r')" "location missing" "install record"
}

finish_setup() {
    wait_setup_exit || fail "SETUP.EXE did not exit"
}

# A signed distribution in $1, made by make dist's script from a payload laid out
# as lay_out does, with a throwaway certificate; both programs must verify.
lay_out_signed() {
    local folder=$1
    rm -rf "$RUN/payload" "$RUN/sign"
    lay_out "$RUN/payload"
    make_test_certificate "$RUN/sign"
    SIGN_CERT="$RUN/sign/cert.pfx" SIGN_PASSWORD_FILE="$RUN/sign/password" \
        "$here/../../scripts/dist.py" "$RUN/payload" "$folder" "$(dirname "$SETUP_EXE")" >/dev/null \
        || fail "make dist could not sign"
    local program
    for program in SETUP.EXE GRPCONV.EXE; do
        /usr/bin/osslsigncode verify -CAfile "$RUN/sign/cert.pem" -in "$folder/$program" >"$RUN/verify.log" 2>&1 \
            || fail "$program of the signed distribution does not verify: $(tail -n 3 "$RUN/verify.log")"
    done
}

scenario_typical_install() {
    fresh_machine
    lay_out_signed "$RUN/e/SETUP"
    chmod a-w "$RUN/e/SETUP/README.DOC"  # read-only in Windows terms
    local long_name
    long_name="$(printf 'n%.0s' {1..150}).dat"
    content_of "$long_name" >"$RUN/e/SETUP/data/$long_name"
    start_setup
    out=$(drive dialog text 1000 focus | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" $'1000=c:\\zoppel\nfocus=1000' "field and focus at start"
    shot collecting
    out=$(drive dialog set 1000 'D:\Games\Zoppel' click 1 wait-visible 1009 1 focus \
              state 1 state 2 state 1000 state 1007 state 1008 | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" $'focus=1009\n1 visible=0 enabled=0 checked=0\n2 visible=0 enabled=0 checked=0\n1000 visible=0 enabled=1 checked=0\n1007 visible=1 enabled=1 checked=0\n1008 visible=0 enabled=1 checked=0' "completion page"
    shot finished
    drive dialog click 1009 gone >/dev/null || fail "Exit did not close the window"
    finish_setup

    local dst="$RUN/d/Games/Zoppel"
    expect_installed "$dst"
    expect_content "$dst/data/$long_name" "$long_name"
    expect_absent "$dst/data/big.lev"  # on the removal list
    # The read-only source stays behind; its copy arrives writable.
    expect_content "$RUN/e/SETUP/README.DOC" README.DOC
    expect_eq "$(drive attrs 'D:\Games\Zoppel\README.DOC' | tr -d '\r')" attrs=20 "README.DOC's attributes"
    expect_eq "$(cd "$RUN/e/SETUP" && ls)" $'GRPCONV.EXE\nREADME.DOC\nSETUP.EXE' "what stays in the source"
    out=$(drive reg location reg version | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" $'location=D:\\Games\\Zoppel type=1 size=16\nversion=1.1 type=1 size=4' "install record"
    expect_eq "$(cat "$WINEPREFIX/drive_c/windows/SETUP.INI")" "$(printf '%s\r\n' \
        '[progman.groups]' 'groupX=Zoppel' '[groupX]' \
        '"Zoppel","D:\Games\Zoppel\ZOPPEL.EXE",,,,"D:\Games\Zoppel"' \
        '"Order Form","D:\Games\Zoppel\ORDERFRM.DOC",,,,"D:\Games\Zoppel"' \
        '"Readme","D:\Games\Zoppel\README.DOC",,,,"D:\Games\Zoppel"' \
        '"Uninstall Zoppel","D:\Games\Zoppel\UNINSTAL.EXE",,,,"D:\Games\Zoppel"')" "SETUP.INI"
    cmp -s <(tail -c 2 "$WINEPREFIX/drive_c/windows/SETUP.INI") <(printf '\r\n') || fail "SETUP.INI's last line"
    out=$(drive group Zoppel 4 | tr -d '\r' | sort) || fail "no Start-menu group"
    expect_eq "$out" "$(printf '%s\n' \
        'link Order Form.lnk|D:\Games\Zoppel\ORDERFRM.DOC|D:\Games\Zoppel' \
        'link Readme.lnk|D:\Games\Zoppel\README.DOC|D:\Games\Zoppel' \
        'link Uninstall Zoppel.lnk|D:\Games\Zoppel\UNINSTAL.EXE|D:\Games\Zoppel' \
        'link Zoppel.lnk|D:\Games\Zoppel\ZOPPEL.EXE|D:\Games\Zoppel')" "Start-menu group"
    expect_shipped_resources

    # The look-up the first Windows 95 makes, a listing of the name, answers as that of
    # later systems does: size and time alike.
    out=$(drive look-up 'D:\Games\Zoppel\README.DOC' look-up 'D:\Games\Zoppel' look-up 'D:\Games\Zoppel\\data\sound.wav' \
              look-up 'D:\Games\Zoppel\none' look-up 'D:\none\none' look-up 'D:\Games\Zoppel\*.DOC' | tr -d '\r') \
        || fail "driver steps failed"
    expect_eq "$(sed -E 's/file [0-9]+ [0-9]+/file/g' <<<"$out")" \
        $'file|file\nfolder|folder\nfile|file\nerror=2|error=2\nerror=3|error=3\nerror=123|error=123' "the two look-ups"
    while IFS='|' read -r later first; do expect_eq "$first" "$later" "the look-up by listing"; done <<<"$out"

    # The same distribution from its CD image, in drive r: as a CD-ROM, read-only: its
    # deletes fail silently, and it installs whole, AUTORUN.INF left on the disc.
    if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the install from a CD image (a read-only mount needs root)"; return; fi
    local way
    way=$(cd_drive_up "$RUN/e/SETUP.iso") || fail "no CD drive for the image"
    echo "CD drive r:: $way"
    [ -f "$RUN/cd/AUTORUN.INF" ] || fail "no AUTORUN.INF on the disc"
    start_setup 'R:\SETUP.EXE'
    drive dialog click 1002 set 1000 'D:\CD\Zoppel' click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "the install from the CD image did not complete"
    finish_setup
    expect_installed "$RUN/d/CD/Zoppel"
    # The disc's files are read-only; their copies must arrive writable.
    local unwritable
    unwritable=$(find "$RUN/d/CD/Zoppel" -type f ! -perm -u+w)
    expect_eq "$unwritable" "" "files installed from the CD that stayed read-only"
    cd_drive_down
}

# The version information and manifests of the two programs left in E:\SETUP.
expect_shipped_resources() {
    local program description level
    for program in SETUP:'Zoppel Setup':highestAvailable GRPCONV:'Zoppel program group converter':asInvoker; do
        IFS=: read -r program description level <<<"$program"
        out=$(drive version "E:\\SETUP\\$program.EXE" | tr -d '\r') || fail "no version information in $program.EXE"
        expect_eq "$out" "$(printf '%s\n' 'fixed=1.1.0.0 product=1.1.0.0' 'translation=0409-04e4' \
            'CompanyName=Kestrova' "FileDescription=$description" 'FileVersion=1.1' "InternalName=$program" \
            'LegalCopyright=Copyright (C) 2026 Kestrova' "OriginalFilename=$program.EXE" 'ProductName=Zoppel' \
            'ProductVersion=1.1')" "version information of $program.EXE"
        out=$(drive manifest "E:\\SETUP\\$program.EXE" | tr -d '\r') || fail "no manifest in $program.EXE"
        expect_eq "$(grep -o 'requestedExecutionLevel level="[A-Za-z]*"' <<<"$out")" \
            "requestedExecutionLevel level=\"$level\"" "execution level of $program.EXE"
        expect_eq "$(grep -o 'supportedOS Id="[^"]*"' <<<"$out" | tr '\n' ' ')" "$(printf 'supportedOS Id="{%s}" ' \
            e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
            4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
            8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)" "systems $program.EXE names (Vista to 11)"
    done
}

scenario_start_menu_group() {
    # Cleared check box: no group.
    fresh_machine
    lay_out "$RUN/e/SETUP" with-converter
    start_setup
    drive dialog click 1002 set 1000 'D:\My Games\Zoppel' click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "install without the group did not complete"
    finish_setup
    expect_eq "$(drive group-count Zoppel | tr -d '\r')" "groups=0 links=0" "group with the box cleared"

    # Checked: four shortcuts, the game's own through its short form.
    fresh_machine
    lay_out "$RUN/e/SETUP" with-converter
    start_setup
    drive dialog set 1000 'D:\My Games\Zoppel' click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "install with the group did not complete"
    finish_setup
    local game
    game=$(drive short 'D:\My Games\Zoppel\ZOPPEL.EXE' | tr -d '\r') || fail "no short form"
    game=${game#short=}
    [ "$game" != 'D:\My Games\Zoppel\ZOPPEL.EXE' ] || fail "the short form is the long one"
    out=$(drive group Zoppel 4 | tr -d '\r' | sort) || fail "no Start-menu group"
    expect_eq "$out" "$(printf '%s\n' \
        'link Order Form.lnk|D:\My Games\Zoppel\ORDERFRM.DOC|D:\My Games\Zoppel' \
        'link Readme.lnk|D:\My Games\Zoppel\README.DOC|D:\My Games\Zoppel' \
        'link Uninstall Zoppel.lnk|D:\My Games\Zoppel\UNINSTAL.EXE|D:\My Games\Zoppel' \
        "link Zoppel.lnk|$game|D:\\My Games\\Zoppel")" "Start-menu group"

    # A second install updates the group: one folder, four shortcuts. One shortcut is
    # removed first, so its return shows that the second converter has run. That
    # converter runs as on Vista, where it limits its DLL search the older way.
    rm -f "$(programs_folder)/Zoppel/Readme.lnk"
    rm -rf "${RUN:?}/e/"*
    lay_out "$RUN/e/SETUP" with-converter
    wine_do reg add 'HKCU\Software\Wine\AppDefaults\GRPCONV.EXE' /v Version /d vista /f >/dev/null
    start_setup
    drive dialog set 1000 'D:\My Games\Zoppel' click 1 wait-visible 1009 1 click 1009 gone group Zoppel 4 >/dev/null \
        || fail "second install did not bring the group back"
    finish_setup
    wine_do reg delete 'HKCU\Software\Wine\AppDefaults\GRPCONV.EXE' /f >/dev/null
    expect_eq "$(drive group-count Zoppel | tr -d '\r')" "groups=1 links=4" "groups after two installs"
    [ -f "$WINEPREFIX/drive_c/windows/SETUP.INI" ] || fail "the converter removed SETUP.INI"
}

scenario_next_run_proposes_record() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    # Read-only in the download, as a file manager that keeps the attribute leaves them:
    # they stay there, and their copies arrive writable.
    chmod a-w "$RUN/e/SETUP/UNINSTAL.BAT" "$RUN/e/SETUP/data/level7.dat"
    start_setup
    drive dialog set 1000 'd:\games\My Zoppel' key 1000 return wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "install did not complete"
    finish_setup
    local dst="$RUN/d/games/My Zoppel" installed
    expect_installed "$dst"
    expect_eq "$(cd "$RUN/e/SETUP" && find . -type f | sort)" $'./SETUP.EXE\n./UNINSTAL.BAT\n./data/level7.dat' \
        "what stays in the download"
    # The player plays, then runs the setup from the download again: nothing is left to
    # move, and the install folder, the saved game in it, stays as it is.
    echo "a saved game" >"$dst/zoppel.sav"
    installed=$(cd "$dst" && find . -type f -exec md5sum {} + | sort)
    start_setup
    out=$(drive dialog text 1000 click 1 box | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" $'1000=d:\\games\\My Zoppel\nbox=Could not copy ZOPPEL.EXE' "a run again from the download"
    drive ok-box gone >/dev/null || fail "the setup did not end after the box"
    finish_setup
    expect_eq "$(cd "$dst" && find . -type f -exec md5sum {} + | sort)" "$installed" "the install folder after that run"
    cp "$SETUP_EXE" "$RUN/e/SETUP.EXE"
    start_setup 'E:\SETUP.EXE'
    out=$(drive dialog text 1000 | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" '1000=d:\games\My Zoppel' "the next run's proposal"
    drive dialog click 2 gone >/dev/null || fail "Cancel did not close the window"
    finish_setup

    # A new download over that install, whose README.TXT and level7.dat (not on the
    # removal list) the player made read-only: the install completes with the
    # download's files, made normal, deletes the saved game as the removal list says,
    # and loses nothing else. (Windows refuses a copy over a read-only file.)
    rm -rf "${RUN:?}/e/"*
    lay_out "$RUN/e/SETUP"
    echo "the player's notes" >"$dst/NOTES.TXT"
    for name in README.TXT data/level7.dat; do
        echo "an earlier install's $name" >"$dst/$name"
        chmod a-w "$dst/$name"
    done
    start_setup
    drive dialog click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "the install over read-only README.TXT and level7.dat did not complete"
    finish_setup
    expect_installed "$dst"
    out=$(drive attrs 'd:\games\My Zoppel\README.TXT' attrs 'd:\games\My Zoppel\data\level7.dat' | tr -d '\r')
    expect_eq "$out" $'attrs=20\nattrs=20' "attributes of README.TXT and level7.dat"
    expect_eq "$(cd "$dst" && find . -type f | sort | tr '\n' ' ')" "$(printf './%s ' NOTES.TXT ORDERFRM.DOC \
        README.DOC README.TXT UNINSTAL.BAT UNINSTAL.EXE ZOPPEL.EXE data/level7.dat data/sound.wav)" "the install folder"
    expect_eq "$(ls -A "$RUN/e/SETUP")" SETUP.EXE "what stays in the download"
}

# The table of Windows' file rules through platform/win32, each row Wine can show.
scenario_file_rules() {
    cp "$RULES_EXE" "$WINEPREFIX/drive_c/rules.exe"
    rm -rf "${RUN:?}/d/RULES"
    wine_session_hand_over
    out=$(timeout 120 "${AS_ACCOUNT[@]}" "$WINE" 'C:\rules.exe' 'D:\RULES' | tr -d '\r') || fail "a rule failed"
    echo "$out"
    echo "as $WINE_USER (uid $(id -u "$WINE_USER"))"
}

scenario_missing_file_box() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    rm "$RUN/e/SETUP/README.TXT"
    start_setup
    out=$(drive dialog set 1000 'D:\Zoppel' click 1 box | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" 'box=Could not copy README.TXT' "error box"
    # While the box is up, Continue, Cancel and the close box change nothing.
    out=$(drive dialog command 1 command 2 close barrier alive box state 1 state 2 | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" $'box=Could not copy README.TXT\n1 visible=1 enabled=0 checked=0\n2 visible=1 enabled=0 checked=0' "while the box is up"
    drive ok-box gone >/dev/null || fail "the setup did not end after the box"
    finish_setup
    # A download without one of the six files is not installed in part.
    expect_eq "$(cd "$RUN/e/SETUP" && find . -type f | sort | tr '\n' ' ')" "$(printf './%s ' ORDERFRM.DOC README.DOC \
        SETUP.EXE UNINSTAL.BAT UNINSTAL.EXE ZOPPEL.EXE data/big.lev data/level7.dat data/sound.wav)" "the download"
    expect_eq "$(ls -A "$RUN/d/Zoppel")" data "the install folder"
    expect_no_record
    expect_absent "$WINEPREFIX/drive_c/windows/SETUP.INI"

    # README.TXT back, the setup again installs the whole download.
    content_of README.TXT >"$RUN/e/SETUP/README.TXT"
    install_from "$RUN/e/SETUP" 'E:\SETUP'
}

scenario_too_little_space() {
    if [ ! -f "$RUN/session.mounted" ]; then
        echo "SKIP: no small volume (mounting a tmpfs needs root)"
        exit 77
    fi
    fresh_machine
    lay_out "$RUN/e/SETUP"
    local before
    before=$(snapshot)
    start_setup
    out=$(drive dialog set 1000 'F:\Zoppel' click 1 box | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" 'box=Not enough disk space to install Zoppel.' "error box"
    drive ok-box gone >/dev/null || fail "the setup did not end after the box"
    finish_setup
    expect_eq "$(snapshot)" "$before" "files after the refusal"
    expect_eq "$(ls -A "$RUN/small")" "" "the small volume"
    expect_no_record

    # Room enough for the check but not for the data: the copies that run out of room
    # leave no cut or empty file in the install folder, their sources stay, and the box
    # names the first of them.
    mount -o remount,size=11m "$RUN/small" || fail "cannot grow the small volume"
    fresh_machine
    lay_out "$RUN/e/SETUP"
    local i
    for i in 1 2 3; do head -c 4000000 /dev/urandom >"$RUN/e/SETUP/data/large$i.dat"; done
    rm -rf "$RUN/original"
    cp -R "$RUN/e/SETUP" "$RUN/original"
    start_setup
    out=$(drive dialog set 1000 'F:\Zoppel' click 1 box | tr -d '\r') || fail "driver steps failed"
    [ -f "$RUN/e/SETUP/data/${out#box=Could not copy }" ] || fail "the box for data that did not fit: [$out]"
    drive ok-box gone >/dev/null || fail "the setup did not end after the box"
    finish_setup
    local file relative stayed=0
    while IFS= read -r -d '' file; do
        relative=${file#"$RUN/small/Zoppel/"}
        cmp -s "$file" "$RUN/original/$relative" || fail "F:\\Zoppel holds a cut copy of $relative"
    done < <(find "$RUN/small/Zoppel" -type f -print0)
    while IFS= read -r -d '' file; do
        relative=${file#"$RUN/original/"}
        if [ -f "$RUN/e/SETUP/$relative" ]; then
            stayed=$((stayed + 1))
            cmp -s "$file" "$RUN/e/SETUP/$relative" || fail "the source of $relative changed"
        elif ! cmp -s "$file" "$RUN/small/Zoppel/$relative" && [ "$relative" != data/big.lev ]; then
            fail "$relative is lost"
        fi
    done < <(find "$RUN/original" -type f -print0)
    [ $stayed -gt 1 ] || fail "no data file was left in the source: the volume never filled up"

    # The player makes room, plays (a saved game appears) and runs the setup again,
    # which proposes the folder, finishes the install and keeps the saved game: the
    # first run deleted the removal list already.
    mount -o remount,size=48m "$RUN/small" || fail "cannot grow the small volume"
    echo "a saved game" >"$RUN/small/Zoppel/zoppel.sav"
    start_setup
    out=$(drive dialog text 1000 click 1 wait-visible 1009 1 click 1009 gone | tr -d '\r') \
        || fail "the second run did not reach its completion page"
    expect_eq "$out" '1000=F:\Zoppel' "the second run's proposal"
    finish_setup
    expect_original_in_small "./SETUP.EXE"
    expect_eq "$(cat "$RUN/small/Zoppel/zoppel.sav")" "a saved game" "the saved game made between the runs"

    # An older install recorded in D:\Zoppel, with a saved game; the new download goes
    # to F:\Zoppel and stops: the volume fills up while README.DOC is copied (ZOPPEL.EXE,
    # read-only in the download, stays there), or the setup is ended while a big data
    # file is copied. With room made, the run again takes the dialog's proposal, the
    # folder of the stopped install, and finishes it; D:\Zoppel is unchanged.
    local stop older
    for stop in box end; do
        rm -rf "${RUN:?}/small/"*
        mount -o remount,size=$([ $stop == box ] && echo 11m || echo 256m) "$RUN/small" || fail "cannot resize F:"
        fresh_machine
        lay_out "$RUN/e/SETUP"
        mkdir -p "$RUN/d/Zoppel"
        echo "an older game" >"$RUN/d/Zoppel/ZOPPEL.EXE"
        echo "an older saved game" >"$RUN/d/Zoppel/zoppel.sav"
        wine_do reg add 'HKCU\Software\Kestrova\Zoppel' /v location /d 'D:\Zoppel' /f >/dev/null
        older=$(cd "$RUN/d/Zoppel" && md5sum ./*)
        if [ $stop == box ]; then
            head -c 12000000 /dev/urandom >"$RUN/e/SETUP/README.DOC"
            chmod a-w "$RUN/e/SETUP/ZOPPEL.EXE"
        else
            /usr/bin/truncate -s 200M "$RUN/e/SETUP/data/huge.dat"
        fi
        rm -rf "$RUN/original"
        cp -pR "$RUN/e/SETUP" "$RUN/original"
        start_setup
        if [ $stop == box ]; then
            out=$(drive dialog set 1000 'F:\Zoppel' click 1 box ok-box | tr -d '\r') || fail "driver steps failed"
            expect_eq "$out" 'box=Could not copy README.DOC' "the box when README.DOC does not fit"
        else
            drive dialog set 1000 'F:\Zoppel' click 1 wait-text 1006 'Copying huge.dat' end-process >/dev/null \
                || fail "the setup was not ended while it copied huge.dat"
        fi
        finish_setup
        mount -o remount,size=256m "$RUN/small" || fail "cannot grow F:"
        start_setup
        out=$(drive dialog text 1000 click 1 wait-visible 1009 1 click 1009 gone | tr -d '\r') \
            || fail "the run again after the $stop did not reach its completion page"
        expect_eq "$out" '1000=F:\Zoppel' "the proposal after the $stop"
        finish_setup
        expect_original_in_small "$([ $stop == box ] && printf './SETUP.EXE\n./ZOPPEL.EXE' || echo ./SETUP.EXE)"
        expect_eq "$(cd "$RUN/d/Zoppel" && md5sum ./*)" "$older" "D:\\Zoppel after the $stop"
    done
    rm -rf "${RUN:?}/small/"*
    mount -o remount,size=8m "$RUN/small" || fail "cannot shrink the small volume back"
}

# Every file of $RUN/original (but the program and big.lev, on the removal list) is
# whole in F:\Zoppel, and the download holds only the files EXPECTED names.
expect_original_in_small() {  # expect_original_in_small EXPECTED
    local file relative
    while IFS= read -r -d '' file; do
        relative=${file#"$RUN/original/"}
        [ "$relative" == SETUP.EXE ] || [ "$relative" == data/big.lev ] || cmp -s "$file" "$RUN/small/Zoppel/$relative" \
            || fail "$relative is not whole in F:\\Zoppel after the second run"
    done < <(find "$RUN/original" -type f -print0)
    expect_eq "$(cd "$RUN/e/SETUP" && find . -type f | sort)" "$1" "the download after the second run"
}

scenario_check_box_cleared() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    start_setup
    out=$(drive dialog click 1002 barrier state 1002 set 1000 'D:\Zoppel' click 1 wait-visible 1009 1 \
              click 1009 gone | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" '1002 visible=1 enabled=1 checked=0' "check box"
    finish_setup
    expect_content "$RUN/d/Zoppel/ZOPPEL.EXE" ZOPPEL.EXE
    expect_absent "$WINEPREFIX/drive_c/windows/SETUP.INI"
    expect_eq "$(drive reg location | tr -d '\r')" 'location=D:\Zoppel type=1 size=10' "install record"
}

scenario_cancel_escape_close() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    local before
    before=$(snapshot)
    local way
    for way in "click 2" "key 1000 escape" "close"; do
        start_setup
        # shellcheck disable=SC2086
        drive dialog set 1000 'D:\Zoppel' $way gone >/dev/null || fail "'$way' did not close the window"
        finish_setup
        expect_eq "$(snapshot)" "$before" "files after '$way'"
    done
    expect_no_record
}

scenario_enter_keys() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    start_setup
    drive dialog set 1000 'D:\Zoppel' key 1000 return wait-visible 1009 1 >/dev/null \
        || fail "Enter in the field did not install"
    # After the completion page Browse no longer reacts.
    out=$(drive dialog command 1008 barrier picker-count | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" 'pickers=0' "Browse on the completion page"
    drive dialog key 0 return gone >/dev/null || fail "Enter on the completion page did not exit"
    finish_setup
    expect_content "$RUN/d/Zoppel/UNINSTAL.BAT" UNINSTAL.BAT
}

scenario_old_windows() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    local before
    before=$(snapshot)
    wine_do reg add 'HKCU\Software\Wine\AppDefaults\SETUP.EXE' /v Version /d win31 /f >/dev/null
    start_setup
    out=$(drive box | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" 'box=Zoppel does not work with this version of Windows.' "version box"
    drive ok-box >/dev/null || fail "the box did not go"
    finish_setup
    wine_do reg delete 'HKCU\Software\Wine\AppDefaults\SETUP.EXE' /f >/dev/null
    expect_eq "$(snapshot)" "$before" "files after the refusal"
    expect_no_record
    expect_absent "$WINEPREFIX/drive_c/windows/SETUP.INI"
}

scenario_run_from_install_folder() {
    fresh_machine
    lay_out "$RUN/d/Zoppel"
    local field
    for field in 'D:\Zoppel' 'd:\zoppel\'; do
        start_setup 'D:\Zoppel\SETUP.EXE'
        drive dialog set 1000 "$field" click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
            || fail "install from the install folder ($field) did not complete"
        finish_setup
        expect_installed "$RUN/d/Zoppel"
        cmp -s "$RUN/d/Zoppel/SETUP.EXE" "$SETUP_EXE" || fail "SETUP.EXE changed or is gone"
    done
    expect_eq "$(drive reg location | tr -d '\r')" 'location=d:\zoppel\ type=1 size=11' "install record"
}

# Runs the setup from SOURCE (a Windows path) with the caller's SETUP_ENV, installs
# into D:\Zoppel and checks the whole result: every file moved with its bytes, the
# record written, the completion page shown, the emptied source data folder gone.
install_from() {  # install_from LINUX-SOURCE-FOLDER WINDOWS-SOURCE-FOLDER
    local folder=$1 windows=$2
    start_setup "$windows\\SETUP.EXE"
    drive dialog set 1000 'D:\Zoppel' click 1 wait-visible 1009 1 click 1009 gone >/dev/null \
        || fail "the install from $windows did not reach its completion page"
    finish_setup
    expect_installed "$RUN/d/Zoppel"
    expect_eq "$(ls -A "$folder")" "SETUP.EXE" "what stays in $windows"
    expect_eq "$(drive reg location | tr -d '\r')" 'location=D:\Zoppel type=1 size=10' "install record"
}

scenario_source_folder_names() {
    # A folder name the ANSI code page (1252 here) cannot hold: Windows gives a
    # look-alike "Lukasz", a folder that may exist; the setup takes the short form.
    fresh_machine
    lay_out "$RUN/e/Users/Łukasz/SETUP"
    lay_out "$RUN/e/Users/Lukasz/SETUP"
    local decoy
    decoy=$(cd "$RUN/e/Users/Lukasz" && find . -type f -exec md5sum {} + | sort)
    SETUP_ENV=(LC_ALL=C.UTF-8)
    install_from "$RUN/e/Users/Łukasz/SETUP" 'E:\Users\Łukasz\SETUP'
    expect_eq "$(cd "$RUN/e/Users/Lukasz" && find . -type f -exec md5sum {} + | sort)" "$decoy" "the look-alike folder"

    # Code page 932: a folder whose name ends in 表 (0x95 0x5C), whose trail byte has
    # the value of "\". Only the setup's own Wine process runs in that locale.
    fresh_machine
    rm -rf "$RUN/locale"
    mkdir -p "$RUN/locale"
    /usr/bin/localedef -i ja_JP -f UTF-8 "$RUN/locale/ja_JP.UTF-8" >/dev/null 2>&1 || fail "localedef failed"
    lay_out "$RUN/e/ゲーム表"
    SETUP_ENV=(LOCPATH="$RUN/locale" LC_ALL=ja_JP.UTF-8)
    out=$(timeout 60 "${AS_ACCOUNT[@]}" /usr/bin/env "${SETUP_ENV[@]}" "$WINE" 'C:\driver.exe' code-page | tr -d '\r')
    expect_eq "$out" acp=932 "the code page of a process in the Japanese locale"
    install_from "$RUN/e/ゲーム表" 'E:\ゲーム表'
    # 140 kanji: under 260 characters, but over 259 bytes in this code page. The
    # program's path is then taken in its short form.
    fresh_machine
    local deep='' part
    part=$(printf '遊%.0s' {1..20})
    for _ in 1 2 3 4 5 6 7; do deep+="\\$part"; done
    lay_out "$RUN/e/${deep//\\//}"
    install_from "$RUN/e/${deep//\\//}" "E:$deep"
    SETUP_ENV=()
}

scenario_long_field() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    local before
    before=$(snapshot)
    start_setup
    # Typing stops at 260 characters; the install reads 259 of them and, since the
    # folder leaves no room for its files' paths, refuses before making anything.
    local typed
    typed="D:\\$(printf 'x%.0s' {1..270})"
    out=$(drive dialog set 1000 '' type 1000 "$typed" barrier text 1000 | tr -d '\r') || fail "driver steps failed"
    expect_eq "${#out}" $((5 + 260)) "length of the field after typing 273 characters"
    out=$(drive dialog click 1 box | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" 'box=Could not create Zoppel directory.' "error box"
    drive ok-box gone >/dev/null || fail "the setup did not end after the box"
    finish_setup
    expect_eq "$(snapshot)" "$before" "files after the refusal"
    expect_no_record
}

scenario_browse() {
    fresh_machine
    lay_out "$RUN/e/SETUP"
    start_setup
    # Cancelling the picker keeps what was typed.
    out=$(drive dialog set 1000 'D:\Typed' click 1008 picker cancel-picker text 1000 | tr -d '\r') || fail "driver steps failed"
    expect_eq "$out" '1000=D:\Typed' "field after a cancelled picker"
    # Picking a folder replaces what was typed.
    out=$(drive dialog click 1008 picker pick-top text 1000 | tr -d '\r') || fail "driver steps failed"
    case "$out" in
        '1000=C:\users\'*'\Desktop') ;;
        *) fail "field after picking the top folder: [$out]" ;;
    esac
    drive dialog click 2 gone >/dev/null || fail "Cancel did not close the window"
    finish_setup

    # A folder whose name the code page cannot hold goes in by its short form, which
    # names it, not by a look-alike ("Lesktop") that names none. (A new run: the shell
    # keeps the folders it has looked up.)
    start_setup
    local folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
    mkdir -p "$WINEPREFIX/drive_c/users/$WINE_USER/Łesktop"
    wine_do reg add "$folders" /v Desktop /t REG_EXPAND_SZ /d "%USERPROFILE%\\Łesktop" /f >/dev/null
    out=$(drive dialog click 1008 picker pick-top text 1000 | tr -d '\r') || fail "driver steps failed"
    wine_do reg add "$folders" /v Desktop /t REG_EXPAND_SZ /d '%USERPROFILE%\Desktop' /f >/dev/null
    case "$out" in
        '1000=C:\users\'*'~'*) expect_eq "$(drive attrs "${out#1000=}" | tr -d '\r')" attrs=10 "what the field names" ;;
        *) fail "field after picking a folder the code page cannot hold: [$out]" ;;
    esac
    drive dialog click 2 gone >/dev/null || fail "Cancel did not close the window"
    finish_setup
}

if [ "$(id -u)" -eq 0 ]; then
    wine_session_as_account zoppel-e2e "$RUN/account-run" "$([ "${1:-}" == start ] && echo fresh)"
fi
case "${1:-}" in
    start)
        wine_session_start
        echo "Wine runs as $(/usr/bin/ps -o user= -p "$(cat "$RUN/session.keeper")") in $RUN"
        ;;
    stop)
        wine_session_stop
        if [ ${#AS_ACCOUNT[@]} -ne 0 ]; then rm -rf "$RUN" "$E2E_RUN/account-run"; fi
        ;;
    scenario)
        wine_session_env
        [ -d "$WINEPREFIX" ] || { echo "no Wine session: run '$0 start' first" >&2; exit 1; }
        trap stop_setup EXIT
        "scenario_$2"
        if [ $failures -ne 0 ]; then
            echo "--- setup.log" >&2
            cat "$RUN/setup.log" >&2 || true
            exit 1
        fi
        echo "PASS: $2"
        ;;
    *)
        echo "usage: $0 start | scenario NAME | stop" >&2
        exit 2
        ;;
esac

# Sourced by the end-to-end tests and the demo: a Wine session of our own under one
# run folder. wine_session_start makes the prefix (32-bit, no Mono or Gecko, no Linux
# desktop entries), starts Xvfb when there is no display, maps drives d: and e: to
# folders of the run (and f: to a small tmpfs when it can be mounted), and keeps one
# helper program running so Wine's desktop stays up between programs.
# wine_session_stop ends what start began (and a CD drive cd_drive_up gave), by process
# id. Needs: RUN, DRIVER_EXE. A script run as root may call wine_session_as_account
# first: Wine and the programs it runs then run as an unprivileged account.
# Each tool is called by the path its Debian package installs, never by its name on
# PATH, which may belong to something else.

WINE=/usr/bin/wine-stable
WINEBOOT=/usr/bin/wineboot-stable
WINESERVER=/usr/bin/wineserver-stable
XVFB=/usr/bin/Xvfb
PYTHON=/usr/bin/python3
SETPRIV=/usr/bin/setpriv
USERADD=/usr/sbin/useradd

# Empty, or the command that runs what follows it as the account (wine_session_as_account).
AS_ACCOUNT=()
# The user Wine runs as, whose profile the prefix holds.
WINE_USER=$(id -un)

wine_session_env() {
    export WINEPREFIX="$RUN/prefix" WINEARCH=win32 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
    export HOME="$RUN/home" XDG_CONFIG_HOME="$RUN/home/.config" XDG_DATA_HOME="$RUN/home/.local/share"
    export XDG_CACHE_HOME="$RUN/home/.cache"
    if [ -f "$RUN/session.display" ]; then export DISPLAY; DISPLAY=$(cat "$RUN/session.display"); fi
}

# Wine as root writes over a file it reports read-only, which Windows refuses; as an
# ordinary user it refuses, as Windows does. So a script run as root may run Wine, and
# every program under test, as the account ACCOUNT: made when missing (a system
# account, locked, with no home and no login shell), working in a run folder of its
# own outside the caller's tree (which root's home may hold), whose path the file
# RECORD keeps between calls. "fresh" ends the session of the recorded folder, if any,
# and removes it, and makes a new, empty one. Sets RUN.
wine_session_as_account() {  # wine_session_as_account ACCOUNT RECORD [fresh]
    local account=$1 record=$2
    if ! id -u "$account" >/dev/null 2>&1; then
        "$USERADD" --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            --comment "Zoppel end-to-end tests" "$account" || id -u "$account" >/dev/null || return 1
    fi
    if [ "${3:-}" == fresh ]; then
        if [ -f "$record" ] && wine_session_account_env "$account" "$(cat "$record")"; then
            wine_session_stop
            rm -rf "$RUN"
        fi
        mkdir -p "$(dirname "$record")"
        /usr/bin/mktemp -d /tmp/zoppel-e2e.XXXXXXXX >"$record" || return 1
    fi
    [ -f "$record" ] || { echo "no run folder of $account: start a session first" >&2; return 1; }
    wine_session_account_env "$account" "$(cat "$record")"
}

wine_session_account_env() {  # wine_session_account_env ACCOUNT RUN-FOLDER
    [[ $2 == /tmp/zoppel-e2e.* ]] || { echo "not a run folder of ours: $2" >&2; return 1; }
    RUN=$2
    WINE_USER=$1
    # setpriv runs the program in place, so that $! is its process id. The account's
    # PATH leads with the run folder's copy of the decoys (see tests/e2e/CMakeLists.txt).
    local path=$PATH
    if [ -n "${DECOYS:-}" ]; then path="$RUN/decoys:${PATH#"$DECOYS:"}"; fi
    AS_ACCOUNT=("$SETPRIV" --reuid="$1" --regid="$1" --init-groups -- /usr/bin/env -u XDG_RUNTIME_DIR
                USER="$1" LOGNAME="$1" LANG="${LANG:-C.UTF-8}" PATH="$path")
}

# Gives the account whatever root made in the run folder: Wine takes a file it does not
# own for writable, and then cannot write it. Mounts are prepared by whoever made them.
wine_session_hand_over() {
    [ ${#AS_ACCOUNT[@]} -ne 0 ] || return 0
    /usr/bin/find "$RUN" -xdev ! -user "$WINE_USER" -exec chown -h "$WINE_USER:" {} + 2>/dev/null || true
    if [ -f "$RUN/session.mounted" ]; then
        /usr/bin/find "$RUN/small" -xdev ! -user "$WINE_USER" -exec chown -h "$WINE_USER:" {} + 2>/dev/null || true
    fi
}

# Runs a Wine command (reg, a program) as the session's user, for at most 60 seconds.
wine_do() {
    timeout 60 "${AS_ACCOUNT[@]}" "$WINE" "$@"
}

# Polls a command until it succeeds, for at most $1 seconds.
wait_until() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

wine_session_start() {
    wine_session_stop 2>/dev/null || true
    rm -rf "$RUN"
    mkdir -p "$RUN/home" "$RUN/d" "$RUN/e"
    if [ -n "${DECOYS:-}" ] && [ ${#AS_ACCOUNT[@]} -ne 0 ]; then cp -R "$DECOYS" "$RUN/decoys"; fi
    wine_session_hand_over
    wine_session_env
    if [ -z "${DISPLAY:-}" ]; then
        "${AS_ACCOUNT[@]}" "$XVFB" -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$RUN/xvfb.display" \
            >/dev/null 2>&1 &
        echo $! >"$RUN/session.xvfb"
        wait_until 20 test -s "$RUN/xvfb.display" || { echo "Xvfb did not start" >&2; return 1; }
        echo ":$(cat "$RUN/xvfb.display")" >"$RUN/session.display"
        wine_session_env
    fi
    timeout 300 "${AS_ACCOUNT[@]}" "$WINEBOOT" -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
    # Without a window manager Wine draws the captions itself.
    wine_do reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
    local devices="$WINEPREFIX/dosdevices"
    ln -sfn "$RUN/d" "$devices/d:"
    ln -sfn "$RUN/e" "$devices/e:"
    rm -f "$devices/z:"  # programs under test see only their own drives
    mkdir -p "$RUN/small"
    local owner=""
    if [ ${#AS_ACCOUNT[@]} -ne 0 ]; then owner=",uid=$(id -u "$WINE_USER"),gid=$(id -g "$WINE_USER")"; fi
    if mount -t tmpfs -o "size=8m$owner" tmpfs "$RUN/small" 2>/dev/null; then
        touch "$RUN/session.mounted"
        ln -sfn "$RUN/small" "$devices/f:"
    fi
    cp "$DRIVER_EXE" "$WINEPREFIX/drive_c/driver.exe"
    wine_session_hand_over
    "${AS_ACCOUNT[@]}" "$WINE" 'C:\driver.exe' idle >/dev/null 2>&1 &
    echo $! >"$RUN/session.keeper"
}

wine_session_stop() {
    [ -d "$RUN" ] || return 0
    wine_session_env
    if [ -f "$RUN/session.keeper" ]; then
        kill "$(cat "$RUN/session.keeper")" 2>/dev/null || true
        rm -f "$RUN/session.keeper"
    fi
    if [ -d "$WINEPREFIX" ]; then
        timeout 30 "${AS_ACCOUNT[@]}" "$WINESERVER" -k 2>/dev/null || true
        timeout 30 "${AS_ACCOUNT[@]}" "$WINESERVER" -w 2>/dev/null || true
    fi
    if [ -f "$RUN/session.xvfb" ]; then
        kill "$(cat "$RUN/session.xvfb")" 2>/dev/null || true
        rm -f "$RUN/session.xvfb" "$RUN/session.display"
    fi
    if [ -f "$RUN/session.mounted" ]; then
        umount "$RUN/small" 2>/dev/null || true
        rm -f "$RUN/session.mounted"
    fi
    cd_drive_down
}

# Gives the session a CD-ROM drive r: holding the ISO 9660 image IMAGE, read-only:
# the image mounted where the kernel reads ISO 9660, else its files read out onto a
# small tmpfs that is then remounted read-only. Needs root. Says which way it went.
cd_drive_up() {  # cd_drive_up IMAGE
    local disc="$RUN/cd"
    mkdir -p "$disc"
    touch "$RUN/session.cd"  # so that the session's end unmounts whatever comes of it
    if mount -t iso9660 -o loop,ro "$1" "$disc" 2>/dev/null; then
        echo "the image mounted as ISO 9660"
    elif mount -t tmpfs -o size=64m tmpfs "$disc"; then
        /usr/bin/xorriso -osirrox on -indev "$1" -extract / "$disc" >/dev/null 2>&1 && mount -o remount,ro "$disc" \
            || return 1
        echo "the image's files read out onto a tmpfs remounted read-only"
    else
        return 1
    fi
    ln -sfn "$disc" "$WINEPREFIX/dosdevices/r:"
    wine_do reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null
}

cd_drive_down() {
    [ -f "$RUN/session.cd" ] || return 0
    rm -f "$WINEPREFIX/dosdevices/r:"
    umount "$RUN/cd" 2>/dev/null || true
    rm -f "$RUN/session.cd"
}

# Runs driver.exe with the given steps; its output goes to standard output.
drive() {
    timeout 120 "${AS_ACCOUNT[@]}" "$WINE" 'C:\driver.exe' "$@"
}

# Saves a picture of the dialog as PNG-FILE.
screenshot() {  # screenshot PNG-FILE
    local bmp="$WINEPREFIX/drive_c/shot.bmp"
    drive dialog shot 'C:\shot.bmp' >/dev/null && "$PYTHON" "$(dirname "${BASH_SOURCE[0]}")/bmp_to_png.py" "$bmp" "$1" &&
        rm -f "$bmp"
}

# Starts the setup in e:\SETUP (or the given Windows path) in the background, with
# the variables in SETUP_ENV (NAME=VALUE words) added to its environment alone.
SETUP_ENV=()
start_setup() {
    local program=${1:-'E:\SETUP\SETUP.EXE'}
    wine_session_hand_over
    (cd "$RUN" && exec "${AS_ACCOUNT[@]}" /usr/bin/env "${SETUP_ENV[@]}" "$WINE" "$program") >>"$RUN/setup.log" 2>&1 &
    SETUP_PID=$!
}

# Waits for the setup process to end; fails after 60 seconds.
wait_setup_exit() {
    wait_until 60 eval '! kill -0 "$SETUP_PID" 2>/dev/null' || return 1
    wait "$SETUP_PID" 2>/dev/null || true
}

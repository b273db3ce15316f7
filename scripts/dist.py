#!/usr/bin/python3
"""Assembles what ships: the folder OUT-DIR (SETUP.EXE and GRPCONV.EXE from the build,
the six game files and the files of the "data" folder from a folder that holds the
game), and beside it OUT-DIR.zip, an archive of that folder, and OUT-DIR.iso, a CD
image of it (ISO 9660 with Joliet names, volume ZOPPEL) whose AUTORUN.INF starts
SETUP.EXE. With SIGN_CERT (a PKCS#12 .pfx file) and SIGN_PASSWORD_FILE (a file whose
first line is its password), both programs are signed with osslsigncode (SHA-256),
time-stamped by SIGN_TIMESTAMP_URL when that is given.

The files of the archive and the image are dated by the commit shipped:
SOURCE_DATE_EPOCH when it is set, else the committer time of this checkout's HEAD.

All three are made in a stage beside their places and put there only once all three
are whole: a run that is refused, fails or is stopped leaves the previous ones. Only an
empty folder or a previous distribution is ever replaced, and only one run at a time
works beside OUT-DIR.

Usage: dist.py PAYLOAD-DIR OUT-DIR BUILD-DIR
"""
import contextlib
import fcntl
import os
import re
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_zip  # noqa: E402

GIT = "/usr/bin/git"
OSSLSIGNCODE = "/usr/bin/osslsigncode"
XORRISO = "/usr/bin/xorriso"
INSTALL_LIST = ("ZOPPEL.EXE", "ORDERFRM.DOC", "README.DOC", "README.TXT", "UNINSTAL.EXE", "UNINSTAL.BAT")
PROGRAMS = ("SETUP.EXE", "GRPCONV.EXE")
# What Windows shows for the program when it asks to elevate it.
DESCRIPTIONS = {"SETUP.EXE": "Zoppel Setup", "GRPCONV.EXE": "Zoppel program group converter"}
DATA = "data"
# The data files the setup deletes from the install folder at its end (RemovalList in
# engine/file_transfer.cpp): shipping one is allowed, but the publisher should know.
REMOVED_DATA = {name.upper() for name in (
    "big.lev", "big2.lev", "bonus1.lev", "bonus2.lev", "bonus3.lev", "bonus4.lev", "bonus5.lev",
    "cannons.lev", "cross.lev", "high.lev", "island.lev", "map1.lev", "map2.lev", "plats.lev",
    "raised.lev", "robots.lev", "skil.lev", "start.lev", "tunnel.lev", "wood.lev", "keslogo.dat",
    "e_block.dat", "e_lblk.dat", "e_lev1.dat", "e_lev2.dat", "in_hamr.dat", "in_zopp.dat",
    "player0.dat", "player1.dat", "player2.dat", "tools0.dat", "tools1.dat", "tools2.dat",
    "tools2a.dat", "tools2b.dat")}
# Every file in the archive and the image carries the time of the commit shipped, so
# that one commit's distribution always has the same bytes, while a file that keeps its
# size from one release to the next still differs in its date (the setup takes a file
# of the same size and last-write time for one already installed). Without a commit
# to tell it: 2000-01-01 00:00 UTC.
FALLBACK_EPOCH = 946684800
VOLUME_ID = b"ZOPPEL"
# Started by Windows 95 and later when the disc is inserted: runs the setup, and the
# drive shows the setup's icon.
AUTORUN = b"[autorun]\r\nopen=SETUP.EXE\r\nicon=SETUP.EXE\r\n"
UTF8_BOM = b"\xef\xbb\xbf"
STOP_SIGNALS = (signal.SIGHUP, signal.SIGINT, signal.SIGTERM)

OUTPUTS = ("folder", "zip", "iso")
# A stage is OUT-DIR.partial.<mkdtemp's eight characters>, and only a name of that whole
# form is taken for one (OUT-DIR.partial.x may be another OUT-DIR). Its mark is written
# first, so that a later run can tell it from a folder of the user's that has such a name.
STAGE_INFIX = ".partial."
STAGE_SUFFIX = r"\.partial\.[a-z0-9_]{8}"
STAGE_MARK = ".zoppel-dist-stage"
STAGE_MARK_TEXT = b"A stage of Zoppel's make dist (scripts/dist.py); its next run removes it.\n"
STAGE_ENTRIES = {STAGE_MARK, "cd-root"} | {f"{age}.{name}" for age in ("new", "old") for name in OUTPUTS}


class Refusal(Exception):
    pass


class Stopped(Exception):
    pass


def refuse(message):
    raise Refusal(message)


@contextlib.contextmanager
def failing_as(what):
    """Turns an OSError into a refusal that says what failed."""
    try:
        yield
    except OSError as error:
        refuse(f"{what}: {error.strerror or error}")


def walk(top):
    def unreadable(error):
        raise error  # os.walk would pass over a folder it cannot read

    return os.walk(top, onerror=unreadable)


# SIGHUP, SIGINT and SIGTERM stop the run as a Stopped exception, once, while it may
# still stop; from the swap on they are let pass, since the swap and the clean-up are
# only right when they run to their end. (A signal mask would not do: Python runs a
# handler some bytecodes after the signal came, whatever the mask is by then.)
may_stop = True


def on_signal(signum, frame):
    global may_stop
    if may_stop:
        may_stop = False
        raise Stopped(signal.Signals(signum).name)


def ascii_upper(name):
    # The names that matter are ASCII; str.upper() would also make "SETUP.EXE" of
    # names such as "ſetup.exe".
    return name.upper() if name.isascii() else name


def lstat_or_none(path):
    try:
        return os.lstat(path)
    except FileNotFoundError:
        return None


# What a distribution holds, whoever made it: the programs and the six files (in any
# case), and the data folder with files alone in it (the setup moves only those).
ALLOWED_FILES = {ascii_upper(name) for name in PROGRAMS + INSTALL_LIST}
ONLY_DISTRIBUTIONS = "only an empty folder or a previous distribution is replaced"


def is_data(name):
    return ascii_upper(name) == DATA.upper()


def folder_entries(folder):
    """The entries of `folder` and of its data folder ("data/NAME"), each with its lstat."""
    entries = {}
    for name in os.listdir(folder):
        facts = entries[name] = os.lstat(os.path.join(folder, name))
        if is_data(name) and stat.S_ISDIR(facts.st_mode):
            for inner in os.listdir(os.path.join(folder, name)):
                entries[f"{name}/{inner}"] = os.lstat(os.path.join(folder, name, inner))
    return entries


def foreign_entry(entries):
    """The first of `entries` (from folder_entries) that no distribution holds."""
    for name in sorted(entries):
        mode = entries[name].st_mode
        top, _, inner = name.partition("/")
        if inner and stat.S_ISREG(mode):
            continue
        if not inner and stat.S_ISREG(mode) and ascii_upper(top) in ALLOWED_FILES:
            continue
        if not inner and stat.S_ISDIR(mode) and is_data(top):
            continue
        return name
    return None


def is_distribution_archive(path):
    """Whether the archive's names are a distribution's: SETUP.EXE, nothing at the top
    but what a distribution holds, and only files directly in data."""
    try:
        with zipfile.ZipFile(path) as archive:
            names = archive.namelist()
    except (zipfile.BadZipFile, ValueError, EOFError):
        return False
    for name in names:
        top, slash, inner = name.partition("/")
        if not slash and ascii_upper(top) in ALLOWED_FILES:
            continue
        if slash and is_data(top) and "/" not in inner:
            continue  # "data/" itself, or a file in it
        return False
    return "SETUP.EXE" in map(ascii_upper, names)


def is_distribution_image(path):
    """Whether the image is one of this tool's: volume ZOPPEL, AUTORUN.INF at its root."""
    with open(path, "rb") as image:
        image.seek(16 * 2048)
        volume = image.read(2048)
        if len(volume) < 2048 or volume[:6] != b"\x01CD001" or volume[40:72] != VOLUME_ID.ljust(32):
            return False
        # The root folder's record in the volume descriptor: where it is and how long.
        root = volume[156:190]
        image.seek(int.from_bytes(root[2:6], "little") * 2048)
        records = image.read(min(int.from_bytes(root[10:14], "little"), 1 << 20))
    offset = 0
    while offset < len(records):
        size = records[offset]
        if size == 0:  # no record crosses the end of a sector; the rest of this one is padding
            offset = (offset // 2048 + 1) * 2048
            continue
        name = records[offset + 33:offset + 33 + records[offset + 32]]
        if name.split(b";")[0] == b"AUTORUN.INF":
            return True
        offset += size
    return False


def identity(facts):
    """What tells an entry from its replacement: a file's size and time too, as a file
    rewritten in place keeps its inode."""
    kind = stat.S_IFMT(facts.st_mode)
    extra = (facts.st_size, facts.st_mtime_ns) if kind == stat.S_IFREG else ()
    return (kind, facts.st_dev, facts.st_ino) + extra


def survey(output, path, shown):
    """Refuses unless `path` is absent or holds what this tool replaces at the place
    `shown` of `output` ("folder", "zip" or "iso"); else returns what is there, to tell
    later whether it changed: None when absent, the identities of the folder's entries,
    or the file's identity."""
    try:
        facts = lstat_or_none(path)
        if facts is None:
            return None
        if output == "folder":
            if stat.S_ISLNK(facts.st_mode):
                refuse(f"OUT-DIR {shown} is a symbolic link; {ONLY_DISTRIBUTIONS}")
            if not stat.S_ISDIR(facts.st_mode):
                refuse(f"OUT-DIR {shown} is not a folder; {ONLY_DISTRIBUTIONS}")
            entries = folder_entries(path)
            foreign = foreign_entry(entries)
            if foreign is not None:
                refuse(f"OUT-DIR {shown} holds {foreign}, which no distribution holds; {ONLY_DISTRIBUTIONS}")
            if entries and "SETUP.EXE" not in map(ascii_upper, entries):
                refuse(f"OUT-DIR {shown} holds no SETUP.EXE; {ONLY_DISTRIBUTIONS}")
            return {name: identity(entry) for name, entry in entries.items()}
        kind, what, test = {
            "zip": ("archive", "a distribution's archive (SETUP.EXE, and nothing a distribution does not hold)",
                    is_distribution_archive),
            "iso": ("CD image", "a CD image of make dist's (volume ZOPPEL, AUTORUN.INF at its root)",
                    is_distribution_image)}[output]
        if stat.S_ISLNK(facts.st_mode):
            refuse(f"{shown} is a symbolic link; only a previous distribution's {kind} is replaced")
        if not (stat.S_ISREG(facts.st_mode) and test(path)):
            refuse(f"{shown} is not {what}; only a previous distribution's {kind} is replaced")
        return identity(facts)
    except OSError as error:
        refuse(f"cannot read {shown}: {error.strerror}")


def check_unchanged(output, moved, shown, before):
    """Refuses unless `moved`, just moved aside from `shown`, still passes survey() and
    holds nothing that was not there when the run began."""
    now = survey(output, moved, shown)
    if output == "folder":
        changed = sorted(name for name in now if (before or {}).get(name) != now[name])
        detail = f" ({changed[0]} is new or rewritten)" if changed else ""
    else:
        changed = now != before
        detail = ""
    if changed:
        refuse(f"{shown} changed while this run made the distribution{detail}; it is left as it is")


def earlier_stage(path):
    """What `path` (named as a stage of this tool) is: None when it is not recognisably
    one, "holding" when it holds a previous distribution that was never put back, else
    "obsolete"."""
    try:
        if not stat.S_ISDIR(os.lstat(path).st_mode):
            return None
        names = set(os.listdir(path))
        if not names:
            # Killed between making the stage and writing its mark, or between removing
            # the mark and the folder; a user's folder of such a name would not be
            # empty, and removing an empty folder loses nothing.
            return "obsolete"
        mark = os.path.join(path, STAGE_MARK)
        if not stat.S_ISREG(os.lstat(mark).st_mode):
            return None
        with open(mark, "rb") as mark_file:
            text = mark_file.read(len(STAGE_MARK_TEXT) + 1)
        # A run killed while writing the mark left a part of it and nothing else.
        if text != STAGE_MARK_TEXT and not (names == {STAGE_MARK} and STAGE_MARK_TEXT.startswith(text)):
            return None
        if not names <= STAGE_ENTRIES:
            return None
        for name in names - {STAGE_MARK}:
            entry = os.path.join(path, name)
            mode = os.lstat(entry).st_mode
            if name.endswith(".folder") or name == "cd-root":
                if not stat.S_ISDIR(mode):
                    return None
                if name == "cd-root" and not set(os.listdir(entry)) <= {"AUTORUN.INF"}:
                    return None
                if name != "cd-root" and foreign_entry(folder_entries(entry)) is not None:
                    return None
            elif not stat.S_ISREG(mode):
                return None
    except OSError:
        return None
    # The previous outputs go aside into the stage only once all three new ones are
    # whole, and each new one leaves it on its way in; with old ones and no new one
    # left, all three new ones are in place and the old ones are not to be put back.
    old = any(name.startswith("old.") for name in names)
    new = any(name.startswith("new.") for name in names)
    return "holding" if old and new else "obsolete"


def putting_back(stage, places):
    """The renames that undo a stopped run's swap: for each previous output in `stage`,
    the new one that took its place goes back into the stage, then the previous one
    to its place."""
    names = os.listdir(stage)
    moves = []
    for output in OUTPUTS:
        if f"old.{output}" in names:
            if f"new.{output}" not in names:
                moves.append((places[output], os.path.join(stage, f"new.{output}")))
            moves.append((os.path.join(stage, f"old.{output}"), places[output]))
    return "; ".join(f"mv -T {shlex.quote(source)} {shlex.quote(target)}" for source, target in moves)


def make_writable(path):
    for folder, _, _ in os.walk(path):
        if not os.path.islink(folder):
            os.chmod(folder, 0o755)


def remove_entry(path):
    if os.path.isdir(path) and not os.path.islink(path):
        make_writable(path)
        shutil.rmtree(path)
    else:
        os.unlink(path)


def remove_stage(stage):
    # The mark goes last: a stage killed while it is removed is still recognised.
    for name in sorted(os.listdir(stage)):
        if name != STAGE_MARK:
            remove_entry(os.path.join(stage, name))
    mark = os.path.join(stage, STAGE_MARK)
    if os.path.lexists(mark):
        os.unlink(mark)
    os.rmdir(stage)


def first_line(password_file):
    """The password: the file's first line without its line end (LF or CR LF) and
    without a byte order mark."""
    try:
        with open(password_file, "rb") as source:
            line = source.read().split(b"\n", 1)[0]
    except OSError as error:
        refuse(f"cannot read the password file {password_file}: {error.strerror}")
    if line.startswith(UTF8_BOM):
        line = line[len(UTF8_BOM):]
    return line[:-1] if line.endswith(b"\r") else line


def feed(pipe, data):
    try:
        with open(pipe, "wb", closefd=True) as target:
            target.write(data)
    except BrokenPipeError:
        pass  # osslsigncode stopped before reading it; its report says why


def sign(program, source, target, cert, password, password_file, timestamp_url):
    # osslsigncode -readpass would take the whole file, so it is handed the first line
    # alone through a pipe (/dev/fd/N); the password is never on a command line nor in
    # a file of its own. A thread writes it, lest a long one fill the pipe.
    read_end, write_end = os.pipe()
    writer = threading.Thread(target=feed, args=(write_end, password + b"\n"), daemon=True)
    writer.start()
    try:
        command = [OSSLSIGNCODE, "sign", "-pkcs12", cert, "-h", "sha256", "-n", DESCRIPTIONS[program]]
        if timestamp_url:
            command += ["-ts", timestamp_url]
        command += ["-readpass", f"/dev/fd/{read_end}", "-in", source, "-out", target]
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, pass_fds=(read_end,))
    finally:
        os.close(read_end)
    writer.join()
    if result.returncode == 0:
        return
    report = result.stdout.decode(errors="replace")
    if "Wrong password" in report:
        refuse(f"the password in {password_file} does not open the certificate {cert}")
    if "Failed to extract PKCS#12" in report or "Failed to read PKCS#12" in report:
        refuse(f"{cert} is not a PKCS#12 (.pfx) certificate")
    refuse(f"signing {program} with {cert} failed: {' '.join(report.splitlines()[:3])}")


def joliet_quoted(path):
    """`path` as xorriso -find prints it."""
    return b"'" + path.replace(b"'", b"'\"'\"'") + b"'"


def make_image(folder, cd_root, image, out, epoch):
    env = dict(os.environ, TZ="UTC", SOURCE_DATE_EPOCH=str(epoch))
    # Rock Ridge records owner 0 and fixed modes (-r), every file gets the one date, and
    # no start-up file of xorriso's is read, so that neither the user nor the time of
    # the run shows in the image.
    result = subprocess.run(
        [XORRISO, "-no_rc", "-as", "mkisofs", "-quiet", "-o", image, "-V", VOLUME_ID.decode(), "-J", "-r",
         "-input-charset", "UTF-8", "--modification-date=" + time.strftime("%Y%m%d%H%M%S00", time.gmtime(epoch)),
         "--set_all_file_dates", f"={epoch}", folder, cd_root],
        env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        lines = [line for line in result.stdout.decode(errors="replace").splitlines()
                 if line and not re.match(r"xorriso [0-9]", line)
                 and " : NOTE : " not in line and " : UPDATE : " not in line]
        refuse(f"making the CD image {out}.iso failed: {' '.join(lines[-3:])}")
    # Joliet takes names of up to 64 characters without * : ; ? \ and the like; xorriso
    # shortens or changes others without a word, and Windows would see other names than
    # the setup's. The image's Joliet tree must hold every name of the folder as it is.
    wanted = {joliet_quoted(b"/AUTORUN.INF")}
    for parent, folders, files in walk(os.fsencode(folder)):
        relative = os.path.relpath(parent, os.fsencode(folder))
        prefix = b"/" if relative == b"." else b"/" + relative + b"/"
        wanted.update(joliet_quoted(prefix + name) for name in folders + files)
    listing = subprocess.run(
        [XORRISO, "-no_rc", "-local_charset", "UTF-8", "-read_fs", "norock", "-indev", image, "-find", "/"],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    joliet = set(listing.stdout.splitlines()) - {b"'/'"}
    if wanted != joliet:
        lost = " ".join(os.fsdecode(name) for name in sorted(wanted - joliet)[:5])
        refuse(f"the CD image's Joliet names would not be the folder's (up to 64 characters, none of * : ; ? \\): {lost}")


def case_twins(names):
    """The first two of `names` that Windows takes for one name, or None."""
    seen = {}
    for name in names:
        key = ascii_upper(name)
        if key in seen:
            return seen[key], name
        seen[key] = name
    return None


def payload_contents(payload):
    """The six files (by the payload's names), the data folder's name or None, the data
    files, what the setup would never install (the rest of the top level, and the
    folders in data, which the setup does not enter), and the payload's own copies of
    the programs."""
    try:
        names = sorted(os.listdir(payload))
    except OSError as error:
        refuse(f"cannot read the payload folder {payload}: {error.strerror}")
    # Windows finds the files whatever their case; so does this. Two names that differ
    # only in case (possible on this file system) would be one file there: on a case-
    # sensitive disk under Wine the setup would copy both onto one installed file.
    twins = case_twins(names)
    if twins:
        refuse(f"{payload} holds {twins[0]} and {twins[1]}, which Windows takes for one name")
    found = {}
    for wanted in INSTALL_LIST:
        for name in names:
            if ascii_upper(name) == wanted and os.path.isfile(os.path.join(payload, name)):
                found[wanted] = name
                break
    missing = [name for name in INSTALL_LIST if name not in found]
    if missing:
        refuse(f"{payload} lacks {' '.join(missing)}; the setup needs all of: {' '.join(INSTALL_LIST)}")
    data = next((name for name in names
                 if ascii_upper(name) == DATA.upper() and os.path.isdir(os.path.join(payload, name))), None)
    shipped = set(found.values()) | {data}
    # The build's programs ship, whatever the payload holds of that name.
    built = [name for name in names if ascii_upper(name) in PROGRAMS and name not in shipped]
    left_out = [name + "/" if os.path.isdir(os.path.join(payload, name)) else name
                for name in names if name not in shipped and name not in built]
    data_files = []
    if data is not None:
        try:
            data_names = sorted(os.listdir(os.path.join(payload, data)))
        except OSError as error:
            refuse(f"cannot read {os.path.join(payload, data)}: {error.strerror}")
        twins = case_twins(data_names)
        if twins:
            refuse(f"{os.path.join(payload, data)} holds {twins[0]} and {twins[1]}, which Windows takes for one name")
        for name in data_names:
            path = os.path.join(payload, data, name)
            if os.path.isfile(path):
                data_files.append(name)
            elif os.path.isdir(path):
                left_out.append(f"{data}/{name}/")
            else:
                refuse(f"cannot copy {path}: it is neither a file nor a folder")
    return found, data, data_files, left_out, built


def main():
    if len(sys.argv) != 4 or not sys.argv[1] or not sys.argv[3]:
        sys.exit("usage: dist.py PAYLOAD-DIR OUT-DIR BUILD-DIR")
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="surrogateescape")  # file names as they are
    for signum in STOP_SIGNALS:
        signal.signal(signum, on_signal)
    try:
        shown = run(sys.argv[1], sys.argv[2], sys.argv[3])
    except Refusal as refusal:
        print(f"dist: {refusal}; no distribution was made", file=sys.stderr)
        sys.exit(1)
    except Stopped as stopped:
        print(f"dist: stopped by {stopped}; no distribution was made", file=sys.stderr)
        sys.exit(1)
    except OSError as error:
        # What no step above turned into a refusal of its own; the clean-up has run.
        names = " and ".join(os.fsdecode(name) for name in (error.filename, error.filename2) if name)
        print(f"dist: {'working on ' + names if names else 'a system call'} failed: "
              f"{error.strerror or error}; no distribution was made", file=sys.stderr)
        sys.exit(1)
    try:
        print("\n".join(shown))
        sys.stdout.flush()
    except OSError as error:
        print(f"dist: writing what was made failed: {error.strerror}; the distribution was made",
              file=sys.stderr)
        sys.exit(1)


def release_time():
    """The time every file of the archive and the image is dated: SOURCE_DATE_EPOCH
    when set, else the committer time of the HEAD of the checkout this script is in."""
    given = os.environ.get("SOURCE_DATE_EPOCH", "")
    if given:
        if not re.fullmatch(r"[0-9]+", given):
            refuse(f"SOURCE_DATE_EPOCH '{given}' is not a number of seconds since 1970")
        epoch = int(given)
    else:
        checkout = os.path.dirname(os.path.abspath(__file__))
        # The checkout is found from the script's folder, not from a GIT_DIR of the caller's.
        env = {name: value for name, value in os.environ.items() if not name.startswith("GIT_")}
        try:
            result = subprocess.run([GIT, "-C", checkout, "log", "-1", "--format=%ct"], env=env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            found = result.returncode == 0 and re.fullmatch(rb"[0-9]+\n", result.stdout)
        except OSError:
            found = False
        if not found:
            print(f"dist: SOURCE_DATE_EPOCH is not set and git gives no commit time for {checkout}: "
                  "the archive's and the image's files are dated 2000-01-01 00:00 UTC")
            return FALLBACK_EPOCH
        epoch = int(result.stdout)
    # ZIP dates run from 1980 to 2107.
    if not 1980 <= time.gmtime(epoch).tm_year <= 2107:
        refuse(f"the release time {epoch} (SOURCE_DATE_EPOCH or the commit's) is not in 1980 to 2107, "
               "which ZIP dates can hold")
    return epoch


def hold_lock(parent):
    """Locks `parent` for this run (until the process ends, however it ends), so that
    no other run removes this one's stage or swaps its outputs meanwhile."""
    with failing_as(f"cannot open the folder {parent} to lock it"):
        descriptor = os.open(parent, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        os.close(descriptor)
        refuse(f"another make dist is running in {parent}")
    except OSError as error:
        os.close(descriptor)
        refuse(f"cannot lock the folder {parent}: {error.strerror}")
    return descriptor


def run(payload, given_out, build):
    """Makes the distribution; returns what to tell about it."""
    global may_stop
    cert = os.environ.get("SIGN_CERT", "")
    password_file = os.environ.get("SIGN_PASSWORD_FILE", "")
    timestamp_url = os.environ.get("SIGN_TIMESTAMP_URL", "")

    # "build/dist/" names the folder "build/dist"; the names beside it are made from that.
    out = given_out.rstrip("/")
    if not out:
        refuse(f"OUT-DIR '{given_out}' names no folder (it is empty or the root)")
    base = os.path.basename(out)
    if base in (".", ".."):
        refuse(f"OUT-DIR '{given_out}' names no folder of its own")
    if not os.path.isdir(payload):
        refuse(f"there is no payload folder {payload}")
    for program in PROGRAMS:
        if not os.path.isfile(os.path.join(build, program)):
            refuse(f"{build}/{program} is not built")
    # The previous distribution is removed at the end; it must not hold what is shipped.
    out_path = os.path.realpath(out)
    for source in (payload, build):
        if os.path.commonpath([os.path.realpath(source), out_path]) == out_path:
            refuse(f"OUT-DIR {out} holds {source}, which would be deleted with the previous distribution")
    places = {"folder": out, "zip": out + ".zip", "iso": out + ".iso"}
    before = {name: survey(name, places[name], places[name]) for name in OUTPUTS}
    found, data, data_files, left_out, built = payload_contents(payload)
    if cert:
        if not os.path.lexists(cert):
            refuse(f"the certificate {cert} does not exist")
        if not (os.path.isfile(cert) and os.access(cert, os.R_OK)):
            refuse(f"the certificate {cert} is not a readable file")
        if not password_file:
            refuse("SIGN_CERT needs SIGN_PASSWORD_FILE, a file whose first line is the certificate's password")
        if not os.path.lexists(password_file):
            refuse(f"the password file {password_file} does not exist")
        if not (os.path.isfile(password_file) and os.access(password_file, os.R_OK)):
            refuse(f"the password file {password_file} is not a readable file")
        if not os.access(OSSLSIGNCODE, os.X_OK):
            refuse(f"{OSSLSIGNCODE} is missing (Debian package osslsigncode)")
    elif password_file:
        refuse("SIGN_PASSWORD_FILE is given without SIGN_CERT")
    if not os.access(XORRISO, os.X_OK):
        refuse(f"{XORRISO} is missing (Debian package xorriso)")
    epoch = release_time()

    # Everything is made in a stage beside OUT-DIR (the same parent, so that putting it
    # in place is a rename).
    parent = os.path.dirname(out) or "."
    os.umask(0o022)
    made_parent = None  # the outermost folder made for OUT-DIR's parent, removed on failure
    ancestor = parent
    while not os.path.lexists(ancestor):
        made_parent = ancestor
        ancestor = os.path.dirname(ancestor) or "."
    lock = None
    stage = None
    aside = set()   # the outputs whose previous version is in the stage
    placed = set()  # the outputs whose new version is in place
    finished = False
    try:
        with failing_as(f"cannot make the folder {parent}"):
            os.makedirs(parent, exist_ok=True)
        try:
            lock = hold_lock(parent)
        except Refusal:
            made_parent = None  # made by the run that holds the lock as well, and in use by it
            raise

        stale = []
        left_alone = []
        with failing_as(f"cannot read the folder {parent}"):
            names = sorted(os.listdir(parent))
        for name in names:
            if not name.startswith(base + STAGE_INFIX):
                continue
            path = os.path.join(parent, name)
            state = earlier_stage(path) if re.fullmatch(re.escape(base) + STAGE_SUFFIX, name) else None
            # A run killed outright while putting things in place leaves the previous
            # ones in its stage; they are for the publisher to put back, not for this
            # run to delete.
            if state == "holding":
                refuse("an earlier run was stopped while putting its distribution in place, and the previous "
                       f"one is in {path}; to put it back: {putting_back(path, places)}")
            (stale if state == "obsolete" else left_alone).append(path)
        if left_alone:
            print(f"dist: left alone, as they are not recognisably stages of make dist: {', '.join(left_alone)}")
        for path in stale:
            try:
                remove_stage(path)
            except OSError as error:
                print(f"dist: could not remove the earlier stage {path}: {error.strerror}", file=sys.stderr)
        with failing_as(f"cannot make a folder beside {out}"):
            stage = tempfile.mkdtemp(prefix=base + STAGE_INFIX, dir=parent)
            mark = os.open(os.path.join(stage, STAGE_MARK), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            try:
                os.write(mark, STAGE_MARK_TEXT)
            finally:
                os.close(mark)

        new = os.path.join(stage, "new.folder")
        with failing_as(f"cannot make the folder {new}"):
            os.mkdir(new)
            if data is not None:
                os.mkdir(os.path.join(new, DATA))
        copies = [(os.path.join(payload, name), os.path.join(new, name)) for name in found.values()]
        if data is not None:
            copies += [(os.path.join(payload, data, name), os.path.join(new, DATA, name)) for name in data_files]
        if not cert:
            copies += [(os.path.join(build, program), os.path.join(new, program)) for program in PROGRAMS]
        for source, target in copies:
            with failing_as(f"cannot copy {source}"):
                shutil.copyfile(source, target)
        if cert:
            password = first_line(password_file)
            for program in PROGRAMS:
                with failing_as(f"cannot sign {program}"):
                    sign(program, os.path.join(build, program), os.path.join(new, program),
                         cert, password, password_file, timestamp_url)
            del password
        # Folders 0755 and files 0644, whatever the payload's modes: Windows needs no x bit.
        with failing_as(f"cannot set the modes in {new}"):
            for folder, _, files in walk(new):
                os.chmod(folder, 0o755)
                for name in files:
                    os.chmod(os.path.join(folder, name), 0o644)

        try:
            make_zip.write_archive(new, os.path.join(stage, "new.zip"), epoch)
        except (OSError, ValueError) as error:
            refuse(f"writing {out}.zip failed: {error}")
        # The image holds the folder and, at its root, AUTORUN.INF.
        cd_root = os.path.join(stage, "cd-root")
        with failing_as(f"cannot write AUTORUN.INF in {stage}"):
            os.mkdir(cd_root)
            with open(os.path.join(cd_root, "AUTORUN.INF"), "wb") as autorun:
                autorun.write(AUTORUN)
        with failing_as(f"making the CD image {out}.iso failed"):
            make_image(new, cd_root, os.path.join(stage, "new.iso"), out, epoch)
        with failing_as(f"cannot look over what was made in {stage}"):
            os.chmod(os.path.join(stage, "new.zip"), 0o644)
            os.chmod(os.path.join(stage, "new.iso"), 0o644)
            # Told only once it is in place; read now, lest a failure to read come after.
            shown = report(new, out, os.path.join(stage, "new."), found, data, data_files, left_out, built,
                           payload, cert)

        # All three are whole: each goes in place by two renames, the previous one aside
        # into the stage, then the new one in. No signal comes between a rename and the
        # note of it; should a rename fail, or what went aside not be what was checked at
        # the start, the previous ones are put back below.
        may_stop = False
        for name in OUTPUTS:
            if os.path.lexists(places[name]):
                old = os.path.join(stage, "old." + name)
                try:
                    os.rename(places[name], old)
                except OSError as error:
                    refuse(f"cannot move {places[name]} aside: {error.strerror}")
                aside.add(name)
                # Checked where it went: a user cannot change it there unseen.
                check_unchanged(name, old, places[name], before[name])
            try:
                os.rename(os.path.join(stage, "new." + name), places[name])
            except OSError as error:
                refuse(f"cannot move the new {places[name]} in place: {error.strerror}")
            placed.add(name)
        finished = True
    finally:
        may_stop = False  # first: a signal now would only cut the clean-up short
        keep = False
        if not finished and stage is not None:
            for name in reversed(OUTPUTS):
                try:
                    if name in placed:
                        os.rename(places[name], os.path.join(stage, "new." + name))
                    if name in aside:
                        os.rename(os.path.join(stage, "old." + name), places[name])
                except OSError:
                    keep = True
        if keep:
            print(f"dist: the previous distribution could not be put back; it is in {stage}", file=sys.stderr)
        elif stage is not None:
            try:
                remove_stage(stage)
            except OSError as error:
                print(f"dist: could not remove {stage}: {error.strerror}", file=sys.stderr)
        if not finished and made_parent is not None:
            made = parent
            try:
                while True:
                    os.rmdir(made)
                    if made == made_parent:
                        break
                    made = os.path.dirname(made)
            except OSError:
                pass
        if lock is not None:
            os.close(lock)
    return shown


def report(folder, out, made, found, data, data_files, left_out, built, payload, cert):
    """What to tell of the distribution in `folder`, to be put in place as `out` (its
    archive and image are `made`zip and `made`iso)."""
    files = []
    total = 0
    for parent, _, names in walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            files.append(os.path.relpath(path, folder))
            total += os.path.getsize(path)
    signed = f", {' '.join(PROGRAMS)} signed with {cert}" if cert else ""
    lines = [f"dist: {out} holds {len(files)} files{signed}:"] + sorted(files)
    if left_out:
        lines.append(f"dist: not shipped, as the setup never installs them: {', '.join(left_out)}")
    if built:
        lines.append(f"dist: not shipped from {payload}, as the build's are: {', '.join(built)}")
    if data is None:
        lines.append(f"dist: {payload} has no data folder, so the distribution has none")
    removed = [f"{DATA}/{name}" for name in data_files if ascii_upper(name) in REMOVED_DATA]
    if removed:
        lines.append(f"dist: shipped, but the setup deletes them again at its end: {' '.join(removed)}")
    respelled = [name for wanted, name in found.items() if name != wanted]
    if respelled:
        lines.append(f"dist: shipped under the payload's own spelling (the setup finds them whatever their case): "
                     f"{', '.join(respelled)}")
    lines.append(f"dist: made {out} ({len(files)} files, {total} bytes), {out}.zip ({os.path.getsize(made + 'zip')}"
                 f" bytes) and {out}.iso ({os.path.getsize(made + 'iso')} bytes)")
    return lines


if __name__ == "__main__":
    main()

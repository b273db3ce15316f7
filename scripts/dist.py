#!/usr/bin/python3
"""Makes what ships: the folder OUT-DIR (SETUP.EXE and GRPCONV.EXE from the build, the
six game files and the files of "data" from PAYLOAD-DIR), OUT-DIR.zip, an archive of it,
and OUT-DIR.iso, a CD image of it whose AUTORUN.INF starts SETUP.EXE; signed with
SIGN_CERT and SIGN_PASSWORD_FILE (time-stamped by SIGN_TIMESTAMP_URL) when they are set;
dated by SOURCE_DATE_EPOCH, else by this checkout's last commit. The .zip lists what a
run made, and only that is ever replaced. The three are made in the stage
OUT-DIR.make-dist and put in place by renames, which the next run finishes should this
one be stopped. One run at a time works in OUT-DIR's parent folder.

Usage: dist.py PAYLOAD-DIR OUT-DIR BUILD-DIR
"""
import contextlib, fcntl, os, re, shutil, signal, stat, subprocess, sys, time, zipfile, zlib  # noqa: E401

CHECKOUT = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
# The table of the files the setup deletes at its end is read from the engine itself.
ENGINE_SOURCE = os.path.join(CHECKOUT, "engine", "file_transfer.cpp")
REMOVAL_COUNT = 38
GIT, OSSLSIGNCODE, XORRISO = "/usr/bin/git", "/usr/bin/osslsigncode", "/usr/bin/xorriso"
INSTALL_LIST = ("ZOPPEL.EXE", "ORDERFRM.DOC", "README.DOC", "README.TXT", "UNINSTAL.EXE", "UNINSTAL.BAT")
PROGRAMS = ("SETUP.EXE", "GRPCONV.EXE")
# What Windows shows for the program when it asks to elevate it.
DESCRIPTIONS = {"SETUP.EXE": "Zoppel Setup", "GRPCONV.EXE": "Zoppel program group converter"}
DATA = "data"
# Started by Windows 95 and later when the disc is inserted; the drive shows the icon.
AUTORUN = b"[autorun]\r\nopen=SETUP.EXE\r\nicon=SETUP.EXE\r\n"
# Names a player's Windows cannot take as they are, each with the reason told.
NAME_RULES = (
    (r"[^ -~]", "holds characters outside printable ASCII, which the setup's ANSI calls cannot name on every "
     "code page"),
    (r'[<>:"/\\|?*]', 'holds one of < > : " / \\ | ? *, which Windows refuses'),
    (r"[. ]$", "ends in a dot or a space, which Windows drops"),
    (r"(?i)^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *(\.|$)", "is a device's on Windows (CON, PRN, AUX, NUL, COM1 to "
     "COM9, LPT1 to LPT9, with any extension)"),
    (r"^.{65}|;", "does not fit the CD image's Joliet names (up to 64 characters, no ;)"))
OUTPUTS = ("folder", "zip", "iso")
ONLY_MADE = "make dist replaces only what it made, as its .zip lists it"
# A stage's mark is made first and removed last, so that the next run knows it for one
# whenever a run was stopped; ALL_MADE is made once the three new outputs are whole and
# removed once they are all in place.
MARK, ALL_MADE = "MADE-BY-MAKE-DIST", "ALL-MADE"


def refuse(message):
    # A refusal is an exit, which removes this run's stage on its way out.
    sys.exit(f"dist: {message}; no distribution was made")


@contextlib.contextmanager
def failing_as(what):
    """Turns an OSError into a refusal that says what failed."""
    try:
        yield
    except OSError as error:
        refuse(f"{what}: {error.strerror or error}")


def unreadable(error):
    refuse(f"cannot read {error.filename}: {error.strerror}")  # os.walk would pass over it


def folder_listing(folder):
    """The folder's entries as its archive lists them: "name/" for a folder, the size and
    CRC-32 of a file, and anything else as "not a plain file"."""
    listing = {}
    for parent, folders, files in os.walk(folder, onerror=unreadable):
        prefix = os.path.relpath(parent, folder).replace(os.sep, "/") + "/"
        for name in folders + files:
            path, name = os.path.join(parent, name), (prefix + name).removeprefix("./")
            mode = os.lstat(path).st_mode
            if stat.S_ISDIR(mode):
                listing[name + "/"] = "folder"
            elif not stat.S_ISREG(mode):
                listing[name] = "not a plain file"
            else:
                crc = 0
                with open(path, "rb") as source:
                    while chunk := source.read(1 << 20):
                        crc = zlib.crc32(chunk, crc)
                listing[name] = (os.path.getsize(path), crc)
    return listing


def zip_listing(path):
    """The archive's entries, as folder_listing gives them; None if it is no archive."""
    try:
        with zipfile.ZipFile(path) as archive:
            return {entry.filename: "folder" if entry.is_dir() else (entry.file_size, entry.CRC)
                    for entry in archive.infolist()}
    except (zipfile.BadZipFile, ValueError, EOFError, IsADirectoryError):
        return None


def image_listing(path, lock):
    """The names and sizes in the image's Joliet tree (the one Windows reads), folders as
    "name/"; None if xorriso cannot read it."""
    result = subprocess.run([XORRISO, "-no_rc", "-read_fs", "norock", "-indev", path, "-find", "/", "-exec", "lsdl"],
                            stdin=subprocess.DEVNULL, capture_output=True, pass_fds=(lock,))
    listing = {}
    for line in result.stdout.decode(errors="surrogateescape").splitlines():
        entry = re.fullmatch(r"(.)\S*\s+\d+\s+\S+\s+\S+\s+(\d+) .*? '/(.+)'", line)
        if entry:
            name = entry[3].replace("'\"'\"'", "'")
            listing.update({name + "/": "folder"} if entry[1] == "d" else {name: int(entry[2])})
    return listing if result.returncode == 0 else None


def sizes(listing):
    return {name: facts if facts == "folder" else facts[0] for name, facts in listing.items()}


def compare(holder, found, lister, listed, why=ONLY_MADE):
    """Refuses, naming the first entry in which `found` (what `holder` holds) and
    `listed` (what `lister` lists) differ."""
    for name in sorted(found.keys() | listed.keys()):
        if name not in listed:
            refuse(f"{holder} holds {name}, which {lister} does not list; {why}")
        if name not in found:
            refuse(f"{holder} lacks {name}, which {lister} lists; {why}")
        if found[name] != listed[name]:
            refuse(f"{holder} holds {name} changed from what {lister} lists; {why}")


def survey(places, lock):
    """Refuses unless OUT-DIR is absent, empty or holds what OUT-DIR.zip lists, the .zip
    is absent or a distribution's archive, and the .iso is absent or holds what the .zip
    lists and AUTORUN.INF."""
    out, zip_path, iso_path = places
    for path in places:
        if os.path.islink(path):
            refuse(f"{path} is a symbolic link; {ONLY_MADE}")
    if os.path.lexists(out) and not os.path.isdir(out):
        refuse(f"OUT-DIR {out} is not a folder; {ONLY_MADE}")
    found = folder_listing(out) if os.path.lexists(out) else {}
    listed = zip_listing(zip_path) if os.path.lexists(zip_path) else None
    if os.path.lexists(zip_path) and listed is None:
        refuse(f"{zip_path} is not a ZIP archive; {ONLY_MADE}")
    if found and listed is None:
        refuse(f"OUT-DIR {out} holds {min(found)}, and there is no {zip_path} to list what make dist made; {ONLY_MADE}")
    if found:
        compare(f"OUT-DIR {out}", found, zip_path, listed)
    elif listed is not None and not {"SETUP.EXE", *INSTALL_LIST} <= {name.upper() for name in listed}:
        refuse(f"{zip_path} is not the archive of a distribution (SETUP.EXE, {' '.join(INSTALL_LIST)}); {ONLY_MADE}")
    if os.path.lexists(iso_path):
        image = image_listing(iso_path, lock)
        if listed is None or image is None:
            refuse(f"{iso_path} is not a CD image xorriso can read, or there is no {zip_path} to list it; {ONLY_MADE}")
        compare(iso_path, image, f"{zip_path} with AUTORUN.INF", sizes(listed) | {"AUTORUN.INF": len(AUTORUN)})


def finish_swap(stage, places):
    """Puts each new output still in `stage` in its place, the one there aside into the stage."""
    for output, place in zip(OUTPUTS, places):
        new, old = (os.path.join(stage, f"{age}.{output}") for age in ("new", "old"))
        if not os.path.lexists(new):
            continue  # in place already
        if os.path.lexists(place):
            if os.path.lexists(old):
                refuse(f"{place} was made after a stopped run had moved the previous one aside into {stage}")
            listed = (zip_listing(places[1]) or {}) if output == "folder" and os.path.lexists(places[1]) else {}
            # The previous folder, deleted with the stage, must still hold what its .zip lists.
            if output == "folder" and (found := folder_listing(place)) != listed:
                remove_stage(stage)
                compare(f"OUT-DIR {place}", found, places[1], listed, f"{ONLY_MADE}; the new one is discarded")
            os.rename(place, old)
        os.rename(new, place)


def remove_stage(stage):
    for name in [ALL_MADE, *sorted(set(os.listdir(stage)) - {ALL_MADE, MARK}), MARK]:
        path = os.path.join(stage, name)
        if os.path.isdir(path) and not os.path.islink(path):
            for folder, _, _ in os.walk(path):
                os.chmod(folder, 0o755)  # a previous distribution's folders may be read-only
            shutil.rmtree(path)
        elif os.path.lexists(path):
            os.unlink(path)
    os.rmdir(stage)


def clear_stage(stage, places):
    """Finishes or removes what a stopped run left in `stage`, and says which."""
    if not os.path.lexists(stage):
        return
    names = os.listdir(stage) if os.path.isdir(stage) and not os.path.islink(stage) else None
    # An empty one is a stage whose run was stopped before it made its mark.
    if names is None or names and MARK not in names:
        refuse(f"{stage} is in the way: make dist stages its work there, and it is no stage of make dist's")
    if ALL_MADE in names:
        finish_swap(stage, places)
        print(f"dist: a stopped run had made a whole distribution; it is now in place: {', '.join(places)}")
    else:
        print(f"dist: removed {stage}, left by a stopped run")
    remove_stage(stage)


def short_form(name):
    """The short (8.3) name Windows makes for `name`, less its "~N", as (base,
    extension); None when `name` is an 8.3 name itself."""
    base, dot, extension = name.upper().rpartition(".")
    base, extension = (base, extension) if dot else (extension, "")
    if 0 < len(base) <= 8 and len(extension) <= 3 and "." not in base and not re.search(r"[ +,;=\[\]]", name):
        return None
    return tuple(re.sub(r"[+,;=\[\]]", "_", re.sub(r"[ .]", "", part)) for part in (base, extension[:3]))


def check_names(folder, names, shipped):
    """Refuses the first of `shipped` (files of `folder`, which holds `names`) that
    Windows cannot take: a bad name, one that differs from another only in case, or one
    shaped like the short name of another, which Windows may give that one too."""
    for name in shipped:
        for rule, reason in NAME_RULES:
            if re.search(rule, name):
                refuse(f"{os.path.join(folder, name)} cannot ship: its name {reason}")
    seen = {}
    for name in names:
        if name.upper() in seen:
            refuse(f"{folder} holds {seen[name.upper()]} and {name}, which Windows takes for one name")
        seen[name.upper()] = name
    for short in shipped:
        shape = re.fullmatch(r"([^.]+)~([0-9]+)(?:\.([^.]{1,3}))?", short.upper())
        for name in shipped if shape and len(shape[1]) + 1 + len(shape[2]) <= 8 else []:
            form = short_form(name)
            if form and form[0][:7 - len(shape[2])] == shape[1] and form[1] == (shape[3] or ""):
                refuse(f"{folder} holds {short} and {name}, which Windows may name {short} too")


def payload_contents(payload):
    """The six files (by the payload's names), the data folder's name or None, the data
    files, what the setup would never install (the rest of the top level, and the
    folders in data, which the setup does not enter), and the payload's own copies of
    the programs."""
    with failing_as(f"cannot read the payload folder {payload}"):
        names = sorted(os.listdir(payload))
    found = {name.upper(): name for name in names
             if name.isascii() and name.upper() in INSTALL_LIST and os.path.isfile(os.path.join(payload, name))}
    missing = [name for name in INSTALL_LIST if name not in found]
    if missing:
        refuse(f"{payload} lacks {' '.join(missing)}; the setup needs all of: {' '.join(INSTALL_LIST)}")
    data = next((name for name in names if name.upper() == "DATA" and os.path.isdir(os.path.join(payload, name))), None)
    shipped = set(found.values()) | {data}
    # The build's programs ship, whatever the payload holds of that name.
    built = [name for name in names if name.upper() in PROGRAMS and name not in shipped]
    left_out = [name + "/" if os.path.isdir(os.path.join(payload, name)) else name
                for name in names if name not in shipped and name not in built]
    check_names(payload, names, list(found.values()))
    data_files = []
    if data is not None:
        folder = os.path.join(payload, data)
        with failing_as(f"cannot read {folder}"):
            data_names = sorted(os.listdir(folder))
        for name in data_names:
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                data_files.append(name)
            else:
                left_out.append(f"{data}/{name}/" if os.path.isdir(path) else f"{data}/{name}")
        check_names(folder, data_names, data_files)
    return found, data, data_files, left_out, built


def removal_list():
    """The paths the setup deletes from the install folder, in lower case, "/" between."""
    try:
        with open(ENGINE_SOURCE, encoding="utf-8") as source:
            table = re.search(r"RemovalList\[kRemovalCount\] = \{(.*?)\};", source.read(), re.S)
    except (OSError, UnicodeError) as error:
        refuse(f"cannot read the setup's removal list in {ENGINE_SOURCE}: {error}")
    entries = re.findall(r'"((?:[^"\\]|\\.)*)"', table[1]) if table else []
    if len(entries) != REMOVAL_COUNT:
        refuse(f"cannot read the setup's removal list in {ENGINE_SOURCE}: RemovalList has {len(entries)} entries "
               f"there, not {REMOVAL_COUNT}")
    return {entry.replace("\\\\", "/").lower() for entry in entries}


def release_time():
    """SOURCE_DATE_EPOCH when set, else the committer time of this checkout's HEAD."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch and not re.fullmatch(r"[0-9]+", epoch):
        refuse(f"SOURCE_DATE_EPOCH '{epoch}' is not a number of seconds since 1970")
    if not epoch:
        # This checkout, not a GIT_DIR of the caller's; read whoever owns it, as git
        # would otherwise refuse another user's.
        env = {name: value for name, value in os.environ.items() if not name.startswith("GIT_")}
        try:
            git = subprocess.run([GIT, "-c", f"safe.directory={CHECKOUT}", "-C", CHECKOUT, "log", "-1", "--format=%ct"],
                                 env=env, stdin=subprocess.DEVNULL, capture_output=True)
            said = (git.stderr.decode(errors="replace").splitlines() or [""])[0]
            epoch = git.stdout.decode().strip() if git.returncode == 0 else ""
        except OSError as error:
            said = str(error)
        if not re.fullmatch(r"[0-9]+", epoch):
            refuse(f"SOURCE_DATE_EPOCH is not set and git gives no commit time for {CHECKOUT} ({said}); set "
                   "SOURCE_DATE_EPOCH to the time of the commit shipped in seconds since 1970, as "
                   "'git log -1 --format=%ct' prints it in its checkout: SOURCE_DATE_EPOCH=<seconds> make dist ...")
    if not 1980 <= time.gmtime(int(epoch)).tm_year <= 2107:
        refuse(f"the release time {epoch} (SOURCE_DATE_EPOCH or the commit's) is not in 1980 to 2107, "
               "which ZIP dates can hold")
    return int(epoch)


def hold_lock(parent):
    """Locks `parent` for this run and the programs it starts, until the last of them ends."""
    with failing_as(f"cannot open the folder {parent} to lock it"):
        descriptor = os.open(parent, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError as error:
        refuse(f"another make dist is running in {parent}" if isinstance(error, BlockingIOError)
               else f"cannot lock the folder {parent}: {error.strerror}")
    return descriptor


def check_signing(cert, password_file):
    if not cert and password_file:
        refuse("SIGN_PASSWORD_FILE is given without SIGN_CERT")
    if cert and not password_file:
        refuse("SIGN_CERT needs SIGN_PASSWORD_FILE, a file whose first line is the certificate's password")
    for path, what in ((cert, "the certificate"), (password_file, "the password file")) if cert else ():
        if not os.path.lexists(path):
            refuse(f"{what} {path} does not exist")
        if not (os.path.isfile(path) and os.access(path, os.R_OK)):
            refuse(f"{what} {path} is not a readable file")
    if cert and not os.access(OSSLSIGNCODE, os.X_OK):
        refuse(f"{OSSLSIGNCODE} is missing (Debian package osslsigncode)")


def sign(program, source, target, signing, lock):
    cert, password_file, timestamp_url = signing
    # The password is the file's first line, less its line end and a byte order mark.
    # osslsigncode -readpass would take the whole file, so it reads that line alone
    # from its standard input: never on a command line nor in a file of its own.
    with failing_as(f"cannot read the password file {password_file}"):
        with open(password_file, "rb") as lines:
            password = lines.read().split(b"\n", 1)[0].removeprefix(b"\xef\xbb\xbf").removesuffix(b"\r")
    command = [OSSLSIGNCODE, "sign", "-pkcs12", cert, "-h", "sha256", "-n", DESCRIPTIONS[program]]
    command += ["-ts", timestamp_url] if timestamp_url else []
    result = subprocess.run(command + ["-readpass", "/dev/stdin", "-in", source, "-out", target],
                            input=password + b"\n", stdout=subprocess.PIPE, stderr=subprocess.STDOUT, pass_fds=(lock,))
    report = result.stdout.decode(errors="replace")
    if result.returncode != 0:
        refuse(f"the password in {password_file} does not open the certificate {cert}" if "Wrong password" in report
               else f"{cert} is not a PKCS#12 (.pfx) certificate" if "PKCS#12" in report
               else f"signing {program} with {cert} failed: {' '.join(report.splitlines()[:3])}")


def write_archive(folder, names, archive, epoch):
    """Writes `names` (sorted, folders ending in "/") of `folder` into `archive`, all with
    one date and fixed modes, so that one folder always gives the same bytes."""
    with zipfile.ZipFile(archive, "w") as zip_file:
        for name in names:
            info = zipfile.ZipInfo(name, time.gmtime(epoch)[:6])  # ZIP dates have no zone; these are UTC
            info.create_system = 3  # the modes below are Unix ones
            if name.endswith("/"):
                info.external_attr = 0o040755 << 16 | 0x10  # and the MS-DOS folder bit
                zip_file.writestr(info, b"", zipfile.ZIP_STORED)
                continue
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED  # at zlib's default level
            info.file_size = os.path.getsize(os.path.join(folder, name))
            with open(os.path.join(folder, name), "rb") as source, \
                    zip_file.open(info, "w", force_zip64=info.file_size >= zipfile.ZIP64_LIMIT) as target:
                shutil.copyfileobj(source, target, 1 << 20)


def make_image(folder, cd_root, image, out, epoch, lock):
    # Rock Ridge records owner 0 and fixed modes (-r), every file gets the one date, and
    # no start-up file of xorriso's is read, so that neither the user nor the time of
    # the run shows in the image.
    result = subprocess.run(
        [XORRISO, "-no_rc", "-as", "mkisofs", "-quiet", "-o", image, "-V", "ZOPPEL", "-J", "-r",
         "-input-charset", "UTF-8", "--modification-date=" + time.strftime("%Y%m%d%H%M%S00", time.gmtime(epoch)),
         "--set_all_file_dates", f"={epoch}", folder, cd_root], stdin=subprocess.DEVNULL, capture_output=True,
        env=dict(os.environ, TZ="UTC", SOURCE_DATE_EPOCH=str(epoch)), pass_fds=(lock,))
    if result.returncode != 0:
        said = re.findall(r"^xorriso : (?:FAILURE|SORRY|FATAL) : (.*)$", result.stderr.decode(errors="replace"), re.M)
        refuse(f"making the CD image {out}.iso failed: {' '.join(said[-3:])}")


def assemble(stage, out, payload, build, contents, signing, epoch, lock):
    """Makes the three new outputs in `stage`; returns the files of the folder."""
    found, data, data_files, _, _ = contents
    new = os.path.join(stage, "new.folder")
    copies = [(os.path.join(payload, name), name) for name in found.values()]
    copies += [(os.path.join(payload, data, name), f"{DATA}/{name}") for name in data_files]
    copies += [] if signing[0] else [(os.path.join(build, program), program) for program in PROGRAMS]
    with failing_as(f"cannot make the folder {new}"):
        os.mkdir(new)
        if data is not None:
            os.mkdir(os.path.join(new, DATA))
    for source, name in copies:
        with failing_as(f"cannot copy {source}"):
            shutil.copyfile(source, os.path.join(new, name))
    for program in PROGRAMS if signing[0] else ():
        with failing_as(f"cannot sign {program}"):
            sign(program, os.path.join(build, program), os.path.join(new, program), signing, lock)
    files = sorted([name for _, name in copies] + (list(PROGRAMS) if signing[0] else []))
    # Folders 0755 and files 0644, whatever the payload's modes: Windows needs no x bit.
    with failing_as(f"cannot set the modes in {new}"):
        for folder, _, names in os.walk(new):
            os.chmod(folder, 0o755)
            for name in names:
                os.chmod(os.path.join(folder, name), 0o644)
    with failing_as(f"writing {out}.zip failed"):
        write_archive(new, sorted(files + ([DATA + "/"] if data is not None else [])), f"{stage}/new.zip", epoch)
    with failing_as(f"making the CD image {out}.iso failed"):
        os.mkdir(f"{stage}/cd-root")  # for AUTORUN.INF, at the image's root
        with open(f"{stage}/cd-root/AUTORUN.INF", "wb") as autorun:
            autorun.write(AUTORUN)
        make_image(new, f"{stage}/cd-root", f"{stage}/new.iso", out, epoch, lock)
        os.chmod(f"{stage}/new.zip", 0o644)
        os.chmod(f"{stage}/new.iso", 0o644)
    # xorriso would change a name the image cannot hold without a word: it is read back.
    compare(f"the CD image {out}.iso", image_listing(f"{stage}/new.iso", lock) or {}, f"{out}.zip with AUTORUN.INF",
            sizes(zip_listing(f"{stage}/new.zip")) | {"AUTORUN.INF": len(AUTORUN)}, "xorriso changed a name")
    return files


def run(payload, given_out, build):
    """Makes the distribution; returns what to tell about it."""
    signing = tuple(os.environ.get(name, "") for name in ("SIGN_CERT", "SIGN_PASSWORD_FILE", "SIGN_TIMESTAMP_URL"))
    # "build/dist/" names the folder "build/dist"; the names beside it are made from that.
    out = given_out.rstrip("/")
    if not out or os.path.basename(out) in (".", ".."):
        refuse(f"OUT-DIR '{given_out}' names no folder of its own")
    if not os.path.isdir(payload):
        refuse(f"there is no payload folder {payload}")
    for program in PROGRAMS:
        if not os.path.isfile(os.path.join(build, program)):
            refuse(f"{build}/{program} is not built")
    # What is replaced must not hold what is shipped, nor what is shipped the outputs
    # (each release would ship the previous one).
    real_out, real_payload = os.path.realpath(out), os.path.realpath(payload)
    for source in (payload, build):
        if os.path.commonpath([os.path.realpath(source), real_out]) == real_out:
            refuse(f"OUT-DIR {out} holds {source}, which would be deleted with the previous distribution")
    if os.path.commonpath([real_payload, os.path.dirname(real_out)]) == real_payload:
        refuse(f"OUT-DIR {out} is inside the payload {payload}, so that each release would ship the previous one")
    contents = payload_contents(payload)
    check_signing(*signing[:2])
    if not os.access(XORRISO, os.X_OK):
        refuse(f"{XORRISO} is missing (Debian package xorriso)")
    epoch, removed = release_time(), removal_list()

    parent, places, stage = os.path.dirname(out) or ".", (out, out + ".zip", out + ".iso"), out + ".make-dist"
    os.umask(0o022)
    made, folder = [], parent  # the folders made for the parent, removed if the run fails
    while not os.path.lexists(folder):
        made.append(folder)
        folder = os.path.dirname(folder) or "."
    with failing_as(f"cannot make the folder {parent}"):
        os.makedirs(parent, exist_ok=True)
    lock = hold_lock(parent)
    try:
        clear_stage(stage, places)
        survey(places, lock)
        with failing_as(f"cannot make the stage {stage}"):
            os.mkdir(stage)
            open(os.path.join(stage, MARK), "wb").close()
        try:
            files = assemble(stage, out, payload, build, contents, signing, epoch, lock)
            survey(places, lock)  # again: OUT-DIR may have changed meanwhile
            os.sync()  # the new outputs are on the disk before the mark that says they are whole
            open(os.path.join(stage, ALL_MADE), "wb").close()
        except BaseException:
            with contextlib.suppress(OSError):
                remove_stage(stage)
            raise
    except BaseException:
        for folder in made:
            with contextlib.suppress(OSError):
                os.rmdir(folder)
        raise
    with failing_as(f"cannot put the new distribution in place (the next run does it from {stage})"):
        finish_swap(stage, places)
    with failing_as(f"the distribution is in place, but {stage} could not be removed"):
        remove_stage(stage)
    return report(out, files, contents, payload, signing[0], removed)


def report(out, files, contents, payload, cert, removed):
    found, data, data_files, left_out, built = contents
    signed = f", {' '.join(PROGRAMS)} signed with {cert}" if cert else ""
    lines = [f"dist: {out} holds {len(files)} files{signed}:"] + files
    if left_out:
        lines.append(f"dist: not shipped, as the setup never installs them: {', '.join(left_out)}")
    if built:
        lines.append(f"dist: not shipped from {payload}, as the build's are: {', '.join(built)}")
    if data is None:
        lines.append(f"dist: {payload} has no data folder, so the distribution has none")
    if [name for name in files if name.lower() in removed]:
        lines.append("dist: shipped, but the setup deletes them again at its end: "
                     + " ".join(name for name in files if name.lower() in removed))
    if [name for wanted, name in found.items() if name != wanted]:
        lines.append("dist: shipped under the payload's own spelling (the setup finds them whatever their case): "
                     + ", ".join(name for wanted, name in found.items() if name != wanted))
    total = sum(os.path.getsize(os.path.join(out, name)) for name in files)
    lines.append(f"dist: made {out} ({len(files)} files, {total} bytes), {out}.zip "
                 f"({os.path.getsize(out + '.zip')} bytes) and {out}.iso ({os.path.getsize(out + '.iso')} bytes)")
    return lines


def main():
    if len(sys.argv) != 4 or not sys.argv[1] or not sys.argv[3]:
        sys.exit("usage: dist.py PAYLOAD-DIR OUT-DIR BUILD-DIR")
    # Ctrl-C stops a run as any other signal does; the next run finishes or removes what it left.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="surrogateescape")  # file names as they are
    try:
        shown = run(*sys.argv[1:])
    except OSError as error:
        names = " and ".join(os.fsdecode(name) for name in (error.filename, error.filename2) if name)
        sys.exit(f"dist: {'working on ' + names if names else 'a system call'} failed: {error.strerror or error}; "
                 "no distribution was made")
    print("\n".join(shown), flush=True)


if __name__ == "__main__":
    main()

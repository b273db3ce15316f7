#!/usr/bin/python3
"""Writes the distribution's archive: every folder and file under FOLDER, under its
name relative to FOLDER, in sorted order, all with one date and fixed permissions, so
that one folder always gives the same bytes whatever its files' own dates and modes.

Usage: make_zip.py FOLDER ARCHIVE.zip EPOCH-SECONDS
"""
import os
import shutil
import stat
import sys
import time
import zipfile

FILE_MODE = 0o100644  # -rw-r--r--
FOLDER_MODE = 0o040755  # drwxr-xr-x
MS_DOS_FOLDER = 0x10


def entries(folder):
    """The archive's names, folders ending in "/", sorted so that a folder comes
    right before its contents."""
    def unreadable(error):
        raise error  # a folder left out would be a file missing from the archive

    names = []
    for parent, folders, files in os.walk(folder, onerror=unreadable):
        relative = os.path.relpath(parent, folder)
        prefix = "" if relative == "." else relative.replace(os.sep, "/") + "/"
        names += [prefix + name + "/" for name in folders]
        names += [prefix + name for name in files]
    return sorted(names)


def entry(name, date_time, mode):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3  # the permissions below are Unix ones
    info.external_attr = mode << 16
    return info


def write_archive(folder, archive, epoch):
    """Raises ValueError for what no archive of a distribution holds: a link to a
    folder, or anything that is not a plain file."""
    # The archive's dates carry no time zone; they are written as UTC.
    date_time = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(archive, "w") as zip_file:
        for name in entries(folder):
            path = os.path.join(folder, *name.rstrip("/").split("/"))
            kind = os.lstat(path).st_mode
            if name.endswith("/"):
                if not stat.S_ISDIR(kind):
                    raise ValueError(f"{path} is a link to a folder, not a folder")
                info = entry(name, date_time, FOLDER_MODE)
                info.external_attr |= MS_DOS_FOLDER
                zip_file.writestr(info, b"", zipfile.ZIP_STORED)
                continue
            if not stat.S_ISREG(kind):
                raise ValueError(f"{path} is not a plain file")
            info = entry(name, date_time, FILE_MODE)
            info.compress_type = zipfile.ZIP_DEFLATED  # at zlib's default level
            info.file_size = os.path.getsize(path)
            with open(path, "rb") as source, \
                    zip_file.open(info, "w", force_zip64=info.file_size >= zipfile.ZIP64_LIMIT) as target:
                shutil.copyfileobj(source, target, 1 << 20)


def main():
    try:
        write_archive(sys.argv[1], sys.argv[2], int(sys.argv[3]))
    except ValueError as error:
        sys.exit(f"make_zip: {error}")


if __name__ == "__main__":
    main()

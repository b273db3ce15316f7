// Moves the game's files from sourceDir into installDir and deletes the removal list
// there; reaches the system only through platform/platform.h.
#include <string.h>

#include "../platform/platform.h"
#include "install.h"

const char* const InstallList[kInstallCount] = {
    "ZOPPEL.EXE", "ORDERFRM.DOC", "README.DOC", "README.TXT", "UNINSTAL.EXE", "UNINSTAL.BAT",
};

const char* const RemovalList[kRemovalCount] = {
    "data\\big.lev",      "data\\big2.lev",     "data\\bonus1.lev",   "data\\bonus2.lev",
    "data\\bonus3.lev",   "data\\bonus4.lev",   "data\\bonus5.lev",   "data\\cannons.lev",
    "data\\cross.lev",    "data\\high.lev",     "data\\island.lev",   "data\\map1.lev",
    "data\\map2.lev",     "data\\plats.lev",    "data\\raised.lev",   "data\\robots.lev",
    "data\\skil.lev",     "data\\start.lev",    "data\\tunnel.lev",   "data\\wood.lev",
    "data\\keslogo.dat",  "data\\e_block.dat",  "data\\e_lblk.dat",   "data\\e_lev1.dat",
    "data\\e_lev2.dat",   "data\\in_hamr.dat",  "data\\in_zopp.dat",  "data\\player0.dat",
    "data\\player1.dat",  "data\\player2.dat",  "data\\tools0.dat",   "data\\tools1.dat",
    "data\\tools2.dat",   "data\\tools2a.dat",  "data\\tools2b.dat",  "zoppel.sav",
    "orderfrm.txt",       "license.txt",
};

const char kDataFolderName[] = "data";

static bool NothingThere(SysError lookUp) {
    return lookUp == kErrFileNotFound || lookUp == kErrPathNotFound;
}

static bool FoundFile(SysError lookUp, const PathFacts& facts) {
    return lookUp == kSysOk && !facts.isFolder;
}

// One path before and after a copy: the same size and the very same time.
static bool SameFacts(const PathFacts& a, const PathFacts& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite;
}

// A source and a destination that hold one file: the same size, and last-write times
// within the 2 seconds to which FAT keeps them (a copy onto FAT has its time rounded
// to an even second; a CD's times are whole seconds), or an hour and that apart: FAT
// keeps local time, which Windows reads with the offset of the day, so a daylight
// saving change moves every FAT time by an hour. FILETIMEs count 100 ns.
static bool SameFile(const PathFacts& source, const PathFacts& destination) {
    const uint64_t kFatTimeStep = 20000000;
    const uint64_t kHour = 36000000000;
    uint64_t a = source.lastWrite;
    uint64_t b = destination.lastWrite;
    uint64_t apart = a > b ? a - b : b - a;
    return source.size == destination.size &&
           (apart < kFatTimeStep || (apart > kHour - kFatTimeStep && apart < kHour + kFatTimeStep));
}

// What became of one file to be moved.
enum MoveOutcome {
    kMoved,         // copied where no copy of it was: this run's own, whatever became of its source
    kCopied,        // copied over a destination that held the file already
    kInPlace,       // source and destination are one path: nothing to copy
    kSourceGone,    // the copy failed: nothing at the source, a file at the destination
    kAlreadyThere,  // the copy failed, but the destination holds the source's file
    kCutDeleted,    // the copy failed part-way, and the file it cut is deleted
    kNotMoved,      // the copy failed otherwise; the source stays
};

// Whether the file is where it belongs, copied or in place.
static bool Arrived(MoveOutcome outcome) {
    return outcome == kMoved || outcome == kCopied || outcome == kInPlace;
}

// After a failed copy. One that fails part-way leaves a cut file that looks installed:
// a file the copy made, or one that was there and changed under it (a reinstall: the
// copy cut it first), is deleted again, and one that cannot be deleted is never taken
// for an earlier run's copy. Kept are the source's own file (the source itself under
// another spelling, or a whole copy of it), a file a look-up cannot tell about, and one
// a copy from a vanished source cannot have written. The source is gone only when the
// copy itself found nothing there, and a look-up after it agrees.
static MoveOutcome AfterFailedCopy(const char* src, const char* dst, SysError copied, SysError lookUpBefore,
                                   const PathFacts& before) {
    PathFacts after = {};
    PathFacts source = {};
    bool there = FoundFile(LookUpPath(dst, &after), after);
    SysError lookUpSource = LookUpPath(src, &source);
    bool sourceGone = NothingThere(copied) && NothingThere(lookUpSource);
    if (there && FoundFile(lookUpSource, source) && SameFile(source, after)) return kAlreadyThere;
    if (there && (NothingThere(lookUpBefore) || (lookUpBefore == kSysOk && !SameFacts(before, after)))) {
        if (sourceGone) return kNotMoved;
        ResetAttributes(dst);
        return DeleteOneFile(dst) == kSysOk ? kCutDeleted : kNotMoved;
    }
    return there && sourceGone ? kSourceGone : kNotMoved;
}

// Copies `src` over `dst` unless both name the same place, makes `dst` a normal file,
// and deletes `src` once the copy has succeeded. In a folder this run made (`fresh`)
// nothing can be there before, and the copy is all it costs; elsewhere `dst` is looked
// up first and, where it holds a file, `src` too: to tell whether that was this file
// already, and to make a read-only, hidden or system file there replaceable, since a
// plain copy over it fails (a killed run leaves such a cut copy of such a source). Only
// a failed copy looks further.
static MoveOutcome MoveOneFile(const char* src, const char* dst, bool fresh) {
    if (PathsEqual(src, dst)) {
        ResetAttributes(dst);
        return kInPlace;
    }
    PathFacts before = {};
    PathFacts source = {};
    SysError lookUpBefore = fresh ? kErrFileNotFound : LookUpPath(dst, &before);
    bool both = FoundFile(lookUpBefore, before) && FoundFile(LookUpPath(src, &source), source);
    if (both && before.guarded) ResetAttributes(dst);
    SysError copied = CopyFileOver(src, dst);
    if (copied != kSysOk) return AfterFailedCopy(src, dst, copied, lookUpBefore, before);
    // The copy is made normal before its source goes: a run cut off in between leaves
    // the source, and the next run comes by this file again.
    ResetAttributes(dst);
    DeleteOneFile(src);
    return both && SameFile(source, before) ? kCopied : kMoved;
}

// `name` in the source folder; false when there is none or the path does not fit.
static bool SourcePath(char* path, const char* name) {
    return gSetup.sourceDir[0] != '\0' && CopyText(path, kPathSize, gSetup.sourceDir) &&
           AppendPathComponent(path, kPathSize, name);
}

// sourceDir + "\" + `subdir` by plain concatenation; false without a source folder
// ("\data" would be the root of the current drive) or when it does not fit.
static bool SourceSubdirPath(char* path, const char* subdir) {
    return gSetup.sourceDir[0] != '\0' && CopyText(path, kPathSize, gSetup.sourceDir) &&
           AppendText(path, kPathSize, "\\") && AppendText(path, kPathSize, subdir);
}

// `name` in the install folder; false when the path does not fit.
static bool InstallPath(char* path, const char* name) {
    return CopyText(path, kPathSize, gSetup.installDir) && AppendPathComponent(path, kPathSize, name);
}

// `folder` + "\" by plain concatenation, then `name`; false when it does not fit.
static bool PathIn(char* path, const char* folder, const char* name) {
    return CopyText(path, kPathSize, folder) && AppendText(path, kPathSize, "\\") &&
           AppendPathComponent(path, kPathSize, name);
}

// Whether a file is surely still to be moved: its source is there, and its destination
// is known to lack it (nothing there, or another file; an earlier run that copied it
// may not have deleted its source). Whatever cannot be told, or never moved (a path
// that does not fit), is not: a run that then stops with its box changes nothing.
static bool StillToMove(bool fits, const char* src, const char* dst) {
    PathFacts source = {};
    PathFacts destination = {};
    if (!fits || !FoundFile(LookUpPath(src, &source), source)) return false;
    SysError lookUp = LookUpPath(dst, &destination);
    return NothingThere(lookUp) || (FoundFile(lookUp, destination) && !SameFile(source, destination));
}

// Whether the install deletes the data file `name` again at its end: such a file is
// never left installed, and so never anything to move.
static bool DeletedAtTheEnd(const char* name) {
    for (int i = 0; i < kRemovalCount; ++i) {
        const char* entry = RemovalList[i];
        if (memcmp(entry, "data\\", 5) == 0 && PathsEqual(entry + 5, name)) return true;
    }
    return false;
}

// Whether the game still has something to move in the source folder after entry `i`
// of InstallList: a later entry, or a file in the data folder (which a subfolder in it
// keeps there once its files are moved).
static bool SourceHoldsMoreAfter(int i) {
    char src[kPathSize];
    char dst[kPathSize];
    for (int k = i + 1; k < kInstallCount; ++k) {
        if (SourcePath(src, InstallList[k]) && StillToMove(InstallPath(dst, InstallList[k]), src, dst)) return true;
    }
    char sourceData[kPathSize];
    FolderListing listing;
    FolderEntry entry;
    if (!SourceSubdirPath(sourceData, kDataFolderName) || !PathIn(src, sourceData, "*.*") ||
        BeginFolderListing(src, &listing, &entry) != kSysOk) {
        return false;
    }
    bool more = false;
    do {
        more = !entry.isFolder && !DeletedAtTheEnd(entry.name) &&
               StillToMove(PathIn(src, sourceData, entry.name) && PathIn(dst, gSetup.dataDir, entry.name), src, dst);
    } while (!more && NextFolderEntry(listing, &entry) == kSysOk);
    EndFolderListing(listing);
    return more;
}

bool MoveInstallList(InstallUi* ui) {
    for (int i = 0; i < kInstallCount; ++i) {
        const char* name = InstallList[i];
        char src[kPathSize];
        char dst[kPathSize];
        // Without a source folder every source path would be relative, naming files
        // of the current folder: the install stops at its first file instead.
        bool fits = SourcePath(src, name) && InstallPath(dst, name);
        ShowStatus(ui, "Copying %s", name);
        MoveOutcome outcome = fits ? MoveOneFile(src, dst, gSetup.installDirMade) : kNotMoved;
        if (outcome == kMoved) gSetup.copiedNew = true;
        if (Arrived(outcome)) continue;
        // A run that stopped part-way has moved a leading run of the list. Its files
        // count as moved while this run has copied none that was not installed yet
        // (copying again what an earlier run copied but could not delete is no such
        // copy) and the game surely has more to move, so a second run finishes the
        // install; an emptied source, or one that holds only such leftovers, does not
        // pass for an install. A file already installed (an interrupted run's
        // read-only copy, or the source itself under another spelling) is no failed
        // copy.
        bool earlier = outcome == kSourceGone && !gSetup.copiedNew && SourceHoldsMoreAfter(i);
        if (earlier) gSetup.tookEarlierMoves = true;
        if (outcome == kAlreadyThere || earlier) {
            ResetAttributes(dst);
            continue;
        }
        char message[128];
        FormatText(message, sizeof message, "Could not copy %s", name);
        ShowError(ui, message);
        return false;
    }
    return true;
}

// Keeps the first name of what stays behind in `leftBehind`.
static void NoteLeftBehind(char* leftBehind, const char* name) {
    if (leftBehind[0] == '\0') CopyText(leftBehind, kPathSize, name);
}

bool MoveDataDirectory(InstallUi* ui, const char* sourceSubdir, const char* destination, char* leftBehind) {
    leftBehind[0] = '\0';
    char sourceData[kPathSize];
    char pattern[kPathSize];
    if (!SourceSubdirPath(sourceData, sourceSubdir)) return true;
    PathFacts facts;
    FolderListing listing;
    FolderEntry entry;
    SysError begun = kErrFilenameTooLong;
    if (PathIn(pattern, sourceData, "*.*")) {
        begun = BeginFolderListing(pattern, &listing, &entry);
    } else if (NothingThere(LookUpPath(sourceData, &facts))) {
        begun = kErrPathNotFound;
    }
    // No data folder is nothing to move; one that cannot be listed stays behind whole.
    if (NothingThere(begun)) return true;
    if (begun != kSysOk) {
        NoteLeftBehind(leftBehind, sourceSubdir);
        return false;
    }
    SysError next;
    do {
        if (entry.isFolder) continue;
        // A name that does not fit under either folder is left in the source.
        char src[kPathSize];
        char dst[kPathSize];
        bool fits = PathIn(src, sourceData, entry.name) && PathIn(dst, destination, entry.name);
        ShowStatus(ui, "Copying %s", entry.name);
        MoveOutcome outcome = fits ? MoveOneFile(src, dst, gSetup.dataDirMade) : kNotMoved;
        if (outcome == kMoved) gSetup.copiedNew = true;
        // A copy that fails onto the very file (the source under another spelling, or
        // an earlier copy of it) leaves nothing behind; it too comes out a normal file,
        // as every destination does but one this run deleted.
        if (fits && !Arrived(outcome) && outcome != kCutDeleted) ResetAttributes(dst);
        if (!Arrived(outcome) && outcome != kAlreadyThere) NoteLeftBehind(leftBehind, entry.name);
    } while ((next = NextFolderEntry(listing, &entry)) == kSysOk);
    EndFolderListing(listing);
    if (next != kErrNoMoreFiles) NoteLeftBehind(leftBehind, sourceSubdir);
    if (!PathsEqual(sourceData, destination)) RemoveEmptyFolder(sourceData);
    return leftBehind[0] == '\0';
}

void DeleteRemovalList() {
    for (int i = 0; i < kRemovalCount; ++i) {
        char path[kPathSize];
        if (CopyText(path, sizeof path, gSetup.installDir) &&
            AppendPathComponent(path, sizeof path, RemovalList[i])) {
            DeleteOneFile(path);
        }
    }
}

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

// Two look-ups that found one file: the very same size and time.
static bool SameFacts(const PathFacts& a, const PathFacts& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite;
}

// What became of one file to be moved.
enum MoveOutcome {
    kMoved,         // copied, its source deleted if it may go
    kInPlace,       // source and destination are one path: nothing to copy
    kSourceGone,    // the copy failed: nothing at the source, a file at the destination
    kAlreadyThere,  // the copy failed onto the very file: the source under another spelling
    kCutDeleted,    // the copy failed part-way, and the file it cut is deleted
    kNotMoved,      // the copy failed otherwise; the source stays
};

// Whether the file is where it belongs, a normal file.
static bool Arrived(MoveOutcome outcome) {
    return outcome == kMoved || outcome == kInPlace;
}

// After a failed copy. A cut file, which looks installed, is deleted again: one the copy
// made, or one that was there and changed under it. Kept are the source's own file (the
// source under another spelling), a file a look-up cannot tell about, and one a copy
// from a vanished source cannot have written. The source is gone only when the copy and
// a look-up after it agree that nothing is there.
static MoveOutcome AfterFailedCopy(const char* src, const char* dst, SysError copied, SysError lookUpBefore,
                                   const PathFacts& before) {
    PathFacts after = {};
    PathFacts source = {};
    bool there = FoundFile(LookUpPath(dst, &after), after);
    SysError lookUpSource = LookUpPath(src, &source);
    bool sourceGone = NothingThere(copied) && NothingThere(lookUpSource);
    if (there && FoundFile(lookUpSource, source) && SameFacts(source, after)) return kAlreadyThere;
    if (there && (NothingThere(lookUpBefore) || (lookUpBefore == kSysOk && !SameFacts(before, after)))) {
        if (sourceGone) return kNotMoved;
        ResetAttributes(dst);
        return DeleteOneFile(dst) == kSysOk ? kCutDeleted : kNotMoved;
    }
    return there && sourceGone ? kSourceGone : kNotMoved;
}

// Copies `src` over `dst` unless both name the same place, makes `dst` a normal file,
// and deletes `src` once the move is recorded. In a folder this run made (`fresh`) the
// copy is all it costs; elsewhere `dst` is looked up first, so that a read-only, hidden
// or system file there, over which a plain copy fails, is made replaceable.
static MoveOutcome MoveOneFile(const char* src, const char* dst, bool fresh) {
    if (PathsEqual(src, dst)) {
        ResetAttributes(dst);
        return kInPlace;
    }
    PathFacts before = {};
    SysError lookUpBefore = fresh ? kErrFileNotFound : LookUpPath(dst, &before);
    if (FoundFile(lookUpBefore, before) && before.guarded) ResetAttributes(dst);
    SysError copied = CopyFileOver(src, dst);
    if (copied != kSysOk) return AfterFailedCopy(src, dst, copied, lookUpBefore, before);
    // The copy is made normal, and on the disk, before its source goes: a run cut off in
    // between leaves the source, and the next run comes by this file again.
    ResetAttributes(dst);
    if (MaySourcesGo() && FlushFile(dst) == kSysOk && DeleteOneFile(src) == kSysOk) gSetup.sourcesDeleted = true;
    return kMoved;
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

// Whether the removal list deletes the data file `name`.
static bool RemovedAtTheEnd(const char* name) {
    for (int i = 0; i < kRemovalCount; ++i) {
        const char* entry = RemovalList[i];
        if (memcmp(entry, "data\\", 5) == 0 && PathsEqual(entry + 5, name)) return true;
    }
    return false;
}

// Shows the box for `name` and stops.
static bool CouldNotCopy(InstallUi* ui, const char* name) {
    char message[128];
    FormatText(message, sizeof message, "Could not copy %s", name);
    ShowError(ui, message);
    return false;
}

bool MoveInstallList(InstallUi* ui) {
    // A download without one of the six files is never installed in part: unless a move
    // is resumed, whose record says where they went, it stops before anything changes.
    for (int i = 0; i < kInstallCount && !gSetup.resuming; ++i) {
        char src[kPathSize];
        PathFacts facts;
        facts.isFolder = false;
        if (SourcePath(src, InstallList[i]) && (NothingThere(LookUpPath(src, &facts)) || facts.isFolder)) {
            ShowStatus(ui, "Copying %s", InstallList[i]);
            return CouldNotCopy(ui, InstallList[i]);
        }
    }
    ForgetOtherMoves();
    for (int i = 0; i < kInstallCount; ++i) {
        const char* name = InstallList[i];
        char src[kPathSize];
        char dst[kPathSize];
        // Without a source folder every source path would be relative, naming files
        // of the current folder: the install stops at its first file instead.
        bool fits = SourcePath(src, name) && InstallPath(dst, name);
        ShowStatus(ui, "Copying %s", name);
        MoveOutcome outcome = fits ? MoveOneFile(src, dst, gSetup.installDirMade) : kNotMoved;
        // A source gone whose destination holds a file was moved there by the run
        // this one resumes, as its record says.
        bool there = outcome == kAlreadyThere || (outcome == kSourceGone && gSetup.resuming);
        if (there) ResetAttributes(dst);
        if (!Arrived(outcome) && !there) return CouldNotCopy(ui, name);
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
    FolderListing listing;
    FolderEntry entry;
    SysError begun = kErrFilenameTooLong;
    if (PathIn(pattern, sourceData, "*.*")) begun = BeginFolderListing(pattern, &listing, &entry);
    if (begun != kSysOk) {
        // No data folder is nothing to move; one a look-up finds stays behind whole.
        PathFacts facts;
        facts.isFolder = true;
        if (NothingThere(LookUpPath(sourceData, &facts)) || !facts.isFolder) return true;
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
        // A file the removal list deletes goes again at once, never left installed nor
        // behind. A copy that fails onto the very file (the source under another spelling)
        // leaves nothing behind; every destination comes out normal but one deleted.
        bool removed = RemovedAtTheEnd(entry.name);
        if (outcome == kMoved && removed) DeleteOneFile(dst);
        if (fits && !Arrived(outcome) && outcome != kCutDeleted) ResetAttributes(dst);
        if (!Arrived(outcome) && outcome != kAlreadyThere && !removed) NoteLeftBehind(leftBehind, entry.name);
    } while ((next = NextFolderEntry(listing, &entry)) == kSysOk);
    EndFolderListing(listing);
    if (next != kErrNoMoreFiles) NoteLeftBehind(leftBehind, sourceSubdir);
    if (!PathsEqual(sourceData, destination)) RemoveEmptyFolder(sourceData);
    return leftBehind[0] == '\0';
}

void DeleteRemovalList() {
    for (int i = 0; i < kRemovalCount; ++i) {
        char path[kPathSize];
        if (CopyText(path, sizeof path, gSetup.installDir) && AppendPathComponent(path, sizeof path, RemovalList[i])) {
            DeleteOneFile(path);
        }
    }
}

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

static bool SameFacts(const PathFacts& a, const PathFacts& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite;
}

// What became of one file to be moved.
enum MoveOutcome {
    kMoved,         // copied, and its source deleted unless that failed
    kInPlace,       // source and destination are one path: nothing to copy
    kSourceGone,    // the copy failed: nothing at the source, a file at the destination
    kAlreadyThere,  // the copy failed, but the destination has the source's size and time
    kNotMoved,      // the copy failed otherwise; the source stays
};

// After a failed copy. One that fails part-way leaves a cut file that looks installed:
// it is deleted when the copy made it, or when a file that was there changed under the
// copy (a reinstall: the copy cut it first). A file a look-up cannot tell about is
// kept, since it may be the source itself under another spelling.
static MoveOutcome AfterFailedCopy(const char* src, const char* dst, SysError lookUpBefore,
                                   const PathFacts& before) {
    PathFacts after;
    SysError lookUpAfter = LookUpPath(dst, &after);
    if (FoundFile(lookUpAfter, after) &&
        (NothingThere(lookUpBefore) || (lookUpBefore == kSysOk && !SameFacts(before, after)))) {
        ResetAttributes(dst);
        if (DeleteOneFile(dst) == kSysOk) lookUpAfter = kErrFileNotFound;
    }
    PathFacts source;
    SysError lookUpSource = LookUpPath(src, &source);
    if (NothingThere(lookUpSource)) return FoundFile(lookUpAfter, after) ? kSourceGone : kNotMoved;
    if (FoundFile(lookUpSource, source) && FoundFile(lookUpAfter, after) && SameFacts(source, after)) {
        return kAlreadyThere;
    }
    return kNotMoved;
}

// Copies `src` over `dst` unless both name the same place, and deletes `src` once the
// copy has succeeded; then makes `dst` a normal file. A successful copy costs one
// look-up of `dst`; only a failed one looks further.
static MoveOutcome MoveOneFile(const char* src, const char* dst) {
    MoveOutcome outcome = kInPlace;
    if (!PathsEqual(src, dst)) {
        PathFacts before;
        SysError lookUpBefore = LookUpPath(dst, &before);
        if (CopyFileOver(src, dst) != kSysOk) return AfterFailedCopy(src, dst, lookUpBefore, before);
        DeleteOneFile(src);
        outcome = kMoved;
    }
    ResetAttributes(dst);
    return outcome;
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

// Whether the game still has something to move in the source folder after entry `i`
// of InstallList: a later entry, or a file in the data folder (which a subfolder in it
// keeps there once its files are moved).
static bool SourceHoldsMoreAfter(int i) {
    char path[kPathSize];
    PathFacts facts;
    for (int k = i + 1; k < kInstallCount; ++k) {
        if (SourcePath(path, InstallList[k]) && FoundFile(LookUpPath(path, &facts), facts)) return true;
    }
    FolderListing listing;
    FolderEntry entry;
    if (!SourceSubdirPath(path, kDataFolderName) || !AppendText(path, kPathSize, "\\*.*") ||
        BeginFolderListing(path, &listing, &entry) != kSysOk) {
        return false;
    }
    bool file = false;
    do {
        file = !entry.isFolder;
    } while (!file && NextFolderEntry(listing, &entry) == kSysOk);
    EndFolderListing(listing);
    return file;
}

bool MoveInstallList(InstallUi* ui) {
    bool copied = false;  // whether this run has copied a file itself
    for (int i = 0; i < kInstallCount; ++i) {
        const char* name = InstallList[i];
        char src[kPathSize];
        char dst[kPathSize];
        // Without a source folder every source path would be relative, naming files
        // of the current folder: the install stops at its first file instead.
        bool fits = SourcePath(src, name) && CopyText(dst, sizeof dst, gSetup.installDir) &&
                    AppendPathComponent(dst, sizeof dst, name);
        ShowStatus(ui, "Copying %s", name);
        MoveOutcome outcome = fits ? MoveOneFile(src, dst) : kNotMoved;
        if (outcome == kMoved) copied = true;
        if (outcome == kMoved || outcome == kInPlace) continue;
        // A run that stopped part-way has moved a leading run of the list. Its files
        // count as moved while this run has copied nothing and the game has more to
        // move, so a second run finishes the install; an emptied source does not pass
        // for an install.
        if (outcome == kSourceGone && !copied && SourceHoldsMoreAfter(i)) {
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
    if (CopyText(pattern, sizeof pattern, sourceData) && AppendText(pattern, sizeof pattern, "\\*.*")) {
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
        bool fits = CopyText(src, sizeof src, sourceData) &&
                    AppendText(src, sizeof src, "\\") &&
                    AppendPathComponent(src, sizeof src, entry.name) &&
                    CopyText(dst, sizeof dst, destination) &&
                    AppendText(dst, sizeof dst, "\\") &&
                    AppendPathComponent(dst, sizeof dst, entry.name);
        ShowStatus(ui, "Copying %s", entry.name);
        // A copy that fails onto the very file (the source under another spelling, or
        // an earlier copy of it) leaves nothing behind.
        MoveOutcome outcome = fits ? MoveOneFile(src, dst) : kNotMoved;
        if (outcome != kMoved && outcome != kInPlace && outcome != kAlreadyThere) {
            NoteLeftBehind(leftBehind, entry.name);
        }
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

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

// Copies `src` over `dst` unless both name the same place, and deletes `src` once the
// copy has succeeded; then makes `dst` a normal file. Returns the copy's result.
static SysError MoveOneFile(const char* src, const char* dst) {
    if (!PathsEqual(src, dst)) {
        // A copy that fails part-way can leave a cut file that looks installed. One the
        // copy made is removed again; one that was there before (a reinstall, or the
        // source itself under another spelling) is never touched.
        bool made = NothingAt(dst);
        SysError result = CopyFileOver(src, dst);
        if (result != kSysOk) {
            if (made) {
                ResetAttributes(dst);
                DeleteOneFile(dst);
            }
            return result;
        }
        DeleteOneFile(src);
    }
    ResetAttributes(dst);
    return kSysOk;
}

bool MoveInstallList(InstallUi* ui) {
    for (int i = 0; i < kInstallCount; ++i) {
        const char* name = InstallList[i];
        char src[kPathSize];
        char dst[kPathSize];
        // Without a source folder every source path would be relative, naming files
        // of the current folder: the install stops at its first file instead.
        bool fits = gSetup.sourceDir[0] != '\0' && CopyText(src, sizeof src, gSetup.sourceDir) &&
                    AppendPathComponent(src, sizeof src, name) &&
                    CopyText(dst, sizeof dst, gSetup.installDir) &&
                    AppendPathComponent(dst, sizeof dst, name);
        ShowStatus(ui, "Copying %s", name);
        if (!fits || MoveOneFile(src, dst) != kSysOk) {
            char message[128];
            FormatText(message, sizeof message, "Could not copy %s", name);
            ShowError(ui, message);
            return false;
        }
    }
    return true;
}

void MoveDataDirectory(InstallUi* ui, const char* sourceSubdir, const char* destination) {
    char sourceData[kPathSize];
    char pattern[kPathSize];
    // No source folder: "\data" would be the root of the current drive.
    if (gSetup.sourceDir[0] == '\0' || !CopyText(sourceData, sizeof sourceData, gSetup.sourceDir) ||
        !AppendText(sourceData, sizeof sourceData, "\\") ||
        !AppendText(sourceData, sizeof sourceData, sourceSubdir) ||
        !CopyText(pattern, sizeof pattern, sourceData) ||
        !AppendText(pattern, sizeof pattern, "\\*.*")) {
        return;
    }
    FolderListing listing;
    FolderEntry entry;
    if (BeginFolderListing(pattern, &listing, &entry) != kSysOk) return;
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
        if (fits) MoveOneFile(src, dst);
    } while (NextFolderEntry(listing, &entry));
    EndFolderListing(listing);
    if (!PathsEqual(sourceData, destination)) RemoveEmptyFolder(sourceData);
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

// The install sequence that Continue runs: free-space check, install folder, file
// transfer, Start-menu group, removal list and install record. Reaches the system
// only through platform/platform.h and the window only through InstallUi.
#include <string.h>

#include "../platform/platform.h"
#include "install.h"

const char kMessageTitle[] = "Zoppel Setup";

bool HasEnoughDiskSpace() {
    char root[4];
    size_t length = strlen(gSetup.installDir);
    if (length > 3) length = 3;
    memcpy(root, gSetup.installDir, length);
    root[length] = '\0';
    VolumeSpace space;
    // No volume root in the first three characters (a UNC or relative path, an empty
    // field): the check passes, and a real shortage shows as a failed copy.
    if (QueryFreeSpace(root, &space) != kSysOk) return true;
    uint64_t freeBytes = (uint64_t)space.freeClusters * space.bytesPerSector * space.sectorsPerCluster;
    return freeBytes >= kRequiredFreeBytes;
}

// Whether installDir with `name` appended fits a path buffer.
static bool FitsInInstallDir(const char* name) {
    char path[kPathSize];
    return CopyText(path, sizeof path, gSetup.installDir) && AppendPathComponent(path, sizeof path, name);
}

bool InstallPathsFit() {
    char path[kPathSize];
    bool fits = CopyText(path, sizeof path, gSetup.installDir) && AppendText(path, sizeof path, "\\") &&
                AppendText(path, sizeof path, kDataFolderName);
    for (int i = 0; fits && i < kInstallCount; ++i) fits = FitsInInstallDir(InstallList[i]);
    for (int i = 0; fits && i < kRemovalCount; ++i) fits = FitsInInstallDir(RemovalList[i]);
    return fits;
}

static bool CreatedOrExists(SysError result) {
    return result == kSysOk || result == kErrAlreadyExists;
}

bool CreateInstallDirectory() {
    if (!InstallPathsFit()) return false;
    // Each pass creates the deepest missing ancestor that can be created, then tries
    // the full path again. A path never has more ancestors than characters, which
    // bounds the passes even on a file system that accepts and then loses a folder.
    for (size_t pass = 0; pass < kPathSize; ++pass) {
        SysError made = MakeFolder(gSetup.installDir);
        gSetup.installDirMade = made == kSysOk;
        if (CreatedOrExists(made)) return true;
        char scratch[kPathSize];
        CopyText(scratch, sizeof scratch, gSetup.installDir);
        // The upward walk does not stop at an existing ancestor: its creation fails
        // like any other, and the walk ends once no backslash is left.
        do {
            if (!StripLastComponent(scratch)) return false;
        } while (MakeFolder(scratch) != kSysOk);
    }
    return false;
}

// Reports a failure that stops the install and ends the setup; busyCount stays raised,
// so the window ignores everything but the end.
static void StopInstall(InstallUi* ui, const char* message) {
    ShowError(ui, message);
    EndSetup(ui);
}

void RunInstall(InstallUi* ui) {
    ++gSetup.busyCount;
    gSetup.installDirMade = false;
    gSetup.dataDirMade = false;
    ReadDirectoryField(ui, gSetup.installDir);
    if (!HasEnoughDiskSpace()) {
        StopInstall(ui, "Not enough disk space to install Zoppel.");
        return;
    }
    ShowStatus(ui, "Creating directory..", nullptr);
    EnableButtons(ui, false);
    SetWaitCursor(ui);

    // A dataDir that does not fit is left empty; CreateInstallDirectory refuses such
    // an installDir before anything is created.
    if (!CopyText(gSetup.dataDir, kPathSize, gSetup.installDir) || !AppendText(gSetup.dataDir, kPathSize, "\\") ||
        !AppendText(gSetup.dataDir, kPathSize, kDataFolderName)) {
        gSetup.dataDir[0] = '\0';
    }
    if (!CreateInstallDirectory()) {
        StopInstall(ui, "Could not create Zoppel directory.");
        return;
    }
    SysError dataMade = MakeFolder(gSetup.dataDir);
    gSetup.dataDirMade = dataMade == kSysOk;
    if (!CreatedOrExists(dataMade)) {
        StopInstall(ui, "Could not create data directory.");
        return;
    }

    RepaintNow(ui);
    ShowStatus(ui, "Copying files.", nullptr);
    ReadMoveRecord();
    if (!MoveInstallList(ui)) {
        EndMoveRecord(false);
        EnableButtons(ui, true);
        --gSetup.busyCount;
        EndSetup(ui);
        return;
    }
    char leftBehind[kPathSize];
    bool dataMoved = MoveDataDirectory(ui, kDataFolderName, gSetup.dataDir, leftBehind);
    if (IsStartMenuChecked(ui)) {
        ShowStatus(ui, "Creating StartMenu shortcut", nullptr);
        CreateStartMenuGroup();
    }
    ShowStatus(ui, "", nullptr);
    if (TakeRemovalList()) DeleteRemovalList();
    WriteInstallRecord();  // also when data stayed behind, as the next run resumes there
    EndMoveRecord(dataMoved);
    if (!dataMoved) {
        // A long data file name ends in "...", as on the status line.
        char message[128];
        FormatStatusText(message, sizeof message, "Could not copy %s", leftBehind);
        StopInstall(ui, message);
        return;
    }
    ShowFinishedPage(ui);
    --gSetup.busyCount;
}

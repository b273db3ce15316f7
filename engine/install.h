// The install steps: file tables, file transfer, install record, Start-menu group and
// the install sequence that runs them. All work on gSetup; the system is reached only
// through platform/platform.h and the window only through InstallUi.
#ifndef ZOPPEL_INSTALL_H
#define ZOPPEL_INSTALL_H

#include "install_ui.h"
#include "setup_state.h"

const int kInstallCount = 6;
const int kRemovalCount = 38;

// The six files moved to the top of the install folder, in order. The Start-menu
// group refers to entries 0, 1, 2 and 4 by position.
extern const char* const InstallList[kInstallCount];
// Paths relative to installDir that are deleted after the transfer, in order.
extern const char* const RemovalList[kRemovalCount];

extern const char kDataFolderName[];      // "data"
extern const char kDefaultInstallDir[];   // "c:\zoppel"
extern const char kRecordKey[];           // "Software\Kestrova\Zoppel"
extern const char kMessageTitle[];        // "Zoppel Setup"
const uint64_t kRequiredFreeBytes = 10000000;

// The whole install, run when Continue is pressed while collecting.
void RunInstall(InstallUi* ui);

// Free space of the volume named by the first three characters of installDir; a
// query that fails (no drive root there) counts as enough.
bool HasEnoughDiskSpace();
// Refuses an installDir from which a path the install builds would not fit, then
// creates installDir with its missing ancestors.
bool CreateInstallDirectory();
// True when dataDir and every path the install builds from installDir fit.
bool InstallPathsFit();

// Moves the six files; false, after the box naming the file that could not be
// copied, when the install must stop.
bool MoveInstallList(InstallUi* ui);
// Moves the files of the source's `sourceSubdir` folder into `destination`. False
// when something stays behind: `leftBehind` (kPathSize bytes) then names the first
// file that could not be moved, or the folder itself when it could not be listed.
bool MoveDataDirectory(InstallUi* ui, const char* sourceSubdir, const char* destination, char* leftBehind);
void DeleteRemovalList();

// Fills `location` (kPathSize bytes) with the recorded install folder, "c:\zoppel"
// when there is no record, or an empty text when the record has no readable location.
void ReadInstallLocation(char* location);
void WriteInstallRecord();
// Fills `text` (kPathSize bytes) with the folder the dialog proposes: where this
// download's unfinished move was going, or else ReadInstallLocation's folder.
void ProposeInstallDir(char* text);

// A move under way: before a run deletes its first source it records, flushed, that
// this download (sourceDir) is being moved into installDir; a run that finishes
// removes the record, one that stops leaves it for the next run to resume by.
enum MoveRecord : int32_t {
    RecordAbsent,  // none yet: written before the first source is deleted
    RecordHere,    // names installDir: sources may go
    RecordOff,     // names another folder, cannot be read or written, or cannot be had at
                   // all: the run only copies, and leaves any record as it is
};
// Reads this download's record into gSetup (record, resuming, listDone).
void ReadMoveRecord();
// Whether a source that was copied may be deleted; writes the record when it is due.
bool MaySourcesGo();
// Removes every other download's record of a move into installDir: this run changes
// that folder, and such a move could no longer be finished where it was going.
void ForgetOtherMoves();
// Whether the whole removal list is to be deleted: not when an earlier run of this
// install deleted it. A run with a record marks it in the record first.
bool TakeRemovalList();
// At the end of a run: a run that finished removes its download's record, and so does
// one that stops having deleted no source (from a disc, say), which has nothing to resume.
void EndMoveRecord(bool finished);

// Writes SETUP.INI into the Windows folder and starts "grpconv -o". Reports nothing.
void CreateStartMenuGroup();
// Builds the text of SETUP.INI for installDir into `text` of `size` bytes and returns
// its length, or 0 when it would not fit.
size_t FormatGroupFile(char* text, size_t size);
// Room for the longest SETUP.INI any installDir can give.
const size_t kGroupTextSize = 2560;

#endif

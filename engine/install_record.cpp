// Reads and writes the install record in the per-user registry, and the record of a
// move under way beside it; reaches the system only through platform/platform.h.
#include <string.h>

#include "../platform/platform.h"
#include "install.h"

const char kRecordKey[] = "Software\\Kestrova\\Zoppel";
const char kDefaultInstallDir[] = "c:\\zoppel";
static const char kLocationValue[] = "location";
static const char kVersionValue[] = "version";
static const char kVersion[] = "1.1";
// One value per download, named after its folder, holding "0" or "1" (whether the
// removal list is deleted) and the install folder it is being moved into.
static const char kPendingKey[] = "Software\\Kestrova\\Zoppel\\Pending";
static const size_t kMaxValueName = 255;  // the first Windows 95 allows no longer one
static const size_t kPendingSize = kPathSize + 2;

void ReadInstallLocation(char* location) {
    UserKey key;
    if (OpenUserKeyForRead(kRecordKey, &key) != kSysOk) {
        CopyText(location, kPathSize, kDefaultInstallDir);
        return;
    }
    memset(location, 0, kPathSize);
    uint32_t size = kPathSize;
    if (ReadKeyValue(key, kLocationValue, location, &size) != kSysOk) {
        location[0] = '\0';
    }
    // Whatever was stored (no terminator, exactly 260 bytes, another type), the
    // result is a terminated text within the buffer.
    location[kPathSize - 1] = '\0';
    CloseUserKey(key);
}

void WriteInstallRecord() {
    UserKey key;
    if (CreateUserKey(kRecordKey, &key) != kSysOk) return;
    WriteKeyText(key, kLocationValue, gSetup.installDir);
    WriteKeyText(key, kVersionValue, kVersion);
    CloseUserKey(key);
}

// Reads this download's record into `text` (kPendingSize bytes): kSysOk, or
// kErrFileNotFound when there is none. Its name, gSetup.recordName, is the short form of
// sourceDir, which both spellings of the program's path share (empty when too long).
static SysError ReadPending(char* text) {
    char* name = gSetup.recordName;
    if (GetShortForm(gSetup.sourceDir, name, kMaxValueName + 1) != kSysOk) {
        name[0] = '\0';
        return kErrInvalidName;
    }
    UserKey key;
    SysError read = OpenUserKeyForRead(kPendingKey, &key);
    if (read != kSysOk) return read;
    memset(text, 0, kPendingSize);
    uint32_t size = kPendingSize - 1;
    read = ReadKeyValue(key, name, text, &size);
    CloseUserKey(key);
    bool wellFormed = (text[0] == '0' || text[0] == '1') && text[1] != '\0';
    return read == kSysOk && !wellFormed ? kErrInvalidParameter : read;
}

// Sets the record `name` to `text`, or removes it (`text` null), flushed; false when a
// step failed, which leaves the record as it was or changed.
static bool ChangePending(const char* name, const char* text) {
    UserKey key;
    if (CreateUserKey(kPendingKey, &key) != kSysOk) return false;
    SysError changed = text ? WriteKeyText(key, name, text) : DeleteKeyValue(key, name);
    bool done = changed == kSysOk && FlushUserKey(key) == kSysOk;
    CloseUserKey(key);
    return done;
}

// Records `mark` and installDir for this download.
static bool WritePending(char mark) {
    char text[kPendingSize];
    text[0] = mark;
    text[1] = '\0';
    return AppendText(text, sizeof text, gSetup.installDir) && ChangePending(gSetup.recordName, text);
}

void ReadMoveRecord() {
    char text[kPendingSize];
    SysError read = ReadPending(text);
    gSetup.resuming = read == kSysOk && PathsEqual(text + 1, gSetup.installDir);
    gSetup.listDone = gSetup.resuming && text[0] == '1';
    gSetup.sourcesDeleted = false;
    gSetup.record = gSetup.resuming ? RecordHere : read == kErrFileNotFound ? RecordAbsent : RecordOff;
}

bool MaySourcesGo() {
    if (gSetup.record != RecordAbsent) return gSetup.record == RecordHere;
    gSetup.record = WritePending('0') ? RecordHere : RecordOff;
    // A record that may not be on disk is taken back: this run deletes nothing.
    if (gSetup.record == RecordOff) ChangePending(gSetup.recordName, nullptr);
    return gSetup.record == RecordHere;
}

bool TakeRemovalList() {
    // A mark that cannot be made leaves the list to the run that resumes this one.
    return !gSetup.listDone && (gSetup.record != RecordHere || WritePending('1'));
}

void ForgetOtherMoves() {
    UserKey key;
    if (OpenUserKeyForRead(kPendingKey, &key) != kSysOk) return;
    char name[kMaxValueName + 1];
    char text[kPendingSize];
    memset(text, 0, sizeof text);
    for (uint32_t index = 0, size = kPendingSize - 1;; size = kPendingSize - 1) {
        SysError read = ReadKeyValueAt(key, index, name, sizeof name, text, &size);
        if (read != kSysOk && read != kErrMoreData) break;
        bool other = read == kSysOk && PathsEqual(text + 1, gSetup.installDir) && !PathsEqual(name, gSetup.recordName);
        // A value removed leaves its number to the next one.
        if (!other || !ChangePending(name, nullptr)) ++index;
    }
    CloseUserKey(key);
}

void EndMoveRecord(bool finished) {
    bool moved = gSetup.resuming || gSetup.sourcesDeleted;
    if (gSetup.record == RecordHere && (finished || !moved)) ChangePending(gSetup.recordName, nullptr);
}

void ProposeInstallDir(char* text) {
    char pending[kPendingSize];
    if (ReadPending(pending) != kSysOk || !CopyText(text, kPathSize, pending + 1)) ReadInstallLocation(text);
}

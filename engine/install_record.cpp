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

// The value name of this download's record, in `name` (kPathSize bytes): the short
// form of sourceDir, which the long and the short spelling of the program's path
// share. False, with an empty name, when there is none a value name can hold.
static bool RecordName(char* name) {
    bool named = gSetup.sourceDir[0] != '\0' && GetShortForm(gSetup.sourceDir, name, kPathSize) == kSysOk &&
                 strlen(name) <= kMaxValueName;
    if (!named) name[0] = '\0';
    return named;
}

// Reads the record `name` into `text` (kPendingSize bytes): kSysOk for a well-formed
// one, kErrFileNotFound when there is none, another code when it cannot be told.
static SysError ReadPending(const char* name, char* text) {
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

// Sets this download's record to `mark` and installDir, flushed; false when either
// step failed, which leaves the record as it was or the new one.
static bool WritePending(char mark) {
    char text[kPendingSize] = {mark, '\0'};
    UserKey key;
    if (!AppendText(text, sizeof text, gSetup.installDir) || CreateUserKey(kPendingKey, &key) != kSysOk) {
        return false;
    }
    bool written = WriteKeyText(key, gSetup.recordName, text) == kSysOk && FlushUserKey(key) == kSysOk;
    // A first record that may not be on disk is taken back: this run deletes nothing.
    if (!written && mark == '0') DeleteKeyValue(key, gSetup.recordName);
    CloseUserKey(key);
    return written;
}

void ReadMoveRecord() {
    char text[kPendingSize];
    SysError read = RecordName(gSetup.recordName) ? ReadPending(gSetup.recordName, text) : kErrInvalidName;
    gSetup.resuming = read == kSysOk && PathsEqual(text + 1, gSetup.installDir);
    gSetup.listDone = gSetup.resuming && text[0] == '1';
    gSetup.removalMoved = 0;
    gSetup.record = gSetup.recordName[0] == '\0'    ? RecordOff
                    : read == kErrFileNotFound      ? RecordAbsent
                    : gSetup.resuming               ? RecordHere
                                                    : RecordElsewhere;
}

bool MaySourcesGo() {
    if (gSetup.record == RecordAbsent) gSetup.record = WritePending('0') ? RecordHere : RecordOff;
    return gSetup.record == RecordHere;
}

bool TakeRemovalList() {
    if (gSetup.listDone) return false;
    // A mark that cannot be made leaves the list to the run that resumes this one.
    return gSetup.record != RecordHere || WritePending('1');
}

void RemoveMoveRecord() {
    UserKey key;
    if ((gSetup.record == RecordHere || gSetup.record == RecordElsewhere) &&
        CreateUserKey(kPendingKey, &key) == kSysOk) {
        DeleteKeyValue(key, gSetup.recordName);
        FlushUserKey(key);
        CloseUserKey(key);
    }
}

void ProposeInstallDir(char* text) {
    char name[kPathSize];
    char pending[kPendingSize];
    if (!RecordName(name) || ReadPending(name, pending) != kSysOk) return ReadInstallLocation(text);
    CopyText(text, kPathSize, pending + 1);
}

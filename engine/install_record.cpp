// Reads and writes the install record in the per-user registry; reaches the system
// only through platform/platform.h.
#include <string.h>

#include "../platform/platform.h"
#include "install.h"

const char kRecordKey[] = "Software\\Kestrova\\Zoppel";
const char kDefaultInstallDir[] = "c:\\zoppel";
static const char kLocationValue[] = "location";
static const char kVersionValue[] = "version";
static const char kVersion[] = "1.1";

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

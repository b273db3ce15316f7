// The platform functions over the Win32 ANSI calls: KERNEL32 for files, folders and
// commands, ADVAPI32 for the per-user registry, USER32 for stepping characters.
#include <windows.h>

#include <string.h>

#include "../platform.h"
#include "ansi_paths.h"
#include "look_up.h"

// Copies `text` into `buffer` of `size` bytes; false, with nothing copied, when it
// does not fit.
static bool CopyBounded(char* buffer, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length >= size) return false;
    memcpy(buffer, text, length + 1);
    return true;
}

static SysError LastError() {
    DWORD error = GetLastError();
    // A call that failed without saying why still failed.
    return error != 0 ? (SysError)error : (SysError)ERROR_GEN_FAILURE;
}

SysError QueryFreeSpace(const char* root, VolumeSpace* space) {
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        return LastError();
    }
    space->sectorsPerCluster = sectorsPerCluster;
    space->bytesPerSector = bytesPerSector;
    space->freeClusters = freeClusters;
    space->totalClusters = totalClusters;
    return kSysOk;
}

SysError MakeFolder(const char* path) {
    return CreateDirectoryA(path, NULL) ? kSysOk : LastError();
}

static void FillFacts(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& lastWrite,
                      PathFacts* facts) {
    facts->isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->guarded = (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    facts->size = (uint64_t)sizeHigh << 32 | sizeLow;
    facts->lastWrite = (uint64_t)lastWrite.dwHighDateTime << 32 | lastWrite.dwLowDateTime;
}

// FindFirstFileA's failure. For a name that matches nothing the first Windows 95 says
// "no more files" where later systems say "not found".
static SysError FindFailure() {
    SysError error = LastError();
    return error == ERROR_NO_MORE_FILES ? (SysError)ERROR_FILE_NOT_FOUND : error;
}

SysError LookUpByListing(const char* path, PathFacts* facts) {
    // A wildcard would match other names: such a path is no answer either way.
    if (strchr(path, '*') != NULL || strchr(path, '?') != NULL) return ERROR_INVALID_NAME;
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(path, &found);
    if (handle == INVALID_HANDLE_VALUE) return FindFailure();
    FindClose(handle);
    FillFacts(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow, found.ftLastWriteTime, facts);
    return kSysOk;
}

typedef BOOL(WINAPI* GetFileAttributesExAFn)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID);

// GetFileAttributesExA, which the first Windows 95 lacks; looked up once.
static GetFileAttributesExAFn gAttributesEx;
static bool gAttributesExLookedUp;

SysError LookUpPath(const char* path, PathFacts* facts) {
    if (!gAttributesExLookedUp) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        FARPROC found = kernel != NULL ? GetProcAddress(kernel, "GetFileAttributesExA") : NULL;
        gAttributesEx = (GetFileAttributesExAFn)(void*)found;
        gAttributesExLookedUp = true;
    }
    if (gAttributesEx == NULL) return LookUpByListing(path, facts);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!gAttributesEx(path, GetFileExInfoStandard, &data)) return LastError();
    FillFacts(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime, facts);
    return kSysOk;
}

SysError CopyFileOver(const char* from, const char* to) {
    return CopyFileA(from, to, FALSE) ? kSysOk : LastError();
}

SysError FlushFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    SysError result = FlushFileBuffers(file) ? kSysOk : LastError();
    CloseHandle(file);
    return result;
}

SysError DeleteOneFile(const char* path) {
    return DeleteFileA(path) ? kSysOk : LastError();
}

SysError ResetAttributes(const char* path) {
    return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) ? kSysOk : LastError();
}

SysError RemoveEmptyFolder(const char* path) {
    return RemoveDirectoryA(path) ? kSysOk : LastError();
}

static void FillEntry(const WIN32_FIND_DATAA& data, FolderEntry* entry) {
    entry->isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // cFileName holds at most MAX_PATH bytes, as does the entry's name.
    if (!CopyBounded(entry->name, sizeof entry->name, data.cFileName)) entry->name[0] = '\0';
}

SysError BeginFolderListing(const char* pattern, FolderListing* listing, FolderEntry* first) {
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return FindFailure();
    FillEntry(data, first);
    *listing = (FolderListing)handle;
    return kSysOk;
}

SysError NextFolderEntry(FolderListing listing, FolderEntry* entry) {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA((HANDLE)listing, &data)) return LastError();
    FillEntry(data, entry);
    return kSysOk;
}

void EndFolderListing(FolderListing listing) {
    FindClose((HANDLE)listing);
}

SysError OpenUserKeyForRead(const char* keyPath, UserKey* key) {
    HKEY handle;
    LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &handle);
    if (result != ERROR_SUCCESS) return (SysError)result;
    *key = (UserKey)handle;
    return kSysOk;
}

SysError CreateUserKey(const char* keyPath, UserKey* key) {
    HKEY handle;
    DWORD disposition;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &handle, &disposition);
    if (result != ERROR_SUCCESS) return (SysError)result;
    *key = (UserKey)handle;
    return kSysOk;
}

SysError ReadKeyValue(UserKey key, const char* name, void* data, uint32_t* size) {
    DWORD length = *size;
    LONG result = RegQueryValueExA((HKEY)key, name, NULL, NULL, (BYTE*)data, &length);
    *size = length;
    return (SysError)result;
}

SysError WriteKeyText(UserKey key, const char* name, const char* text) {
    return (SysError)RegSetValueExA((HKEY)key, name, 0, REG_SZ, (const BYTE*)text,
                                    (DWORD)strlen(text) + 1);
}

SysError ReadKeyValueAt(UserKey key, uint32_t index, char* name, uint32_t nameSize, void* data, uint32_t* size) {
    DWORD nameLength = nameSize;
    DWORD length = *size;
    LONG result = RegEnumValueA((HKEY)key, index, name, &nameLength, NULL, NULL, (BYTE*)data, &length);
    *size = length;
    return (SysError)result;
}

SysError DeleteKeyValue(UserKey key, const char* name) {
    return (SysError)RegDeleteValueA((HKEY)key, name);
}

SysError FlushUserKey(UserKey key) {
    return (SysError)RegFlushKey((HKEY)key);
}

void CloseUserKey(UserKey key) {
    RegCloseKey((HKEY)key);
}

SysError GetWindowsFolder(char* buffer, uint32_t size) {
    UINT length = GetWindowsDirectoryA(buffer, size);
    if (length == 0) return LastError();
    return length < size ? kSysOk : (SysError)ERROR_INSUFFICIENT_BUFFER;
}

SysError GetShortForm(const char* path, char* buffer, uint32_t size) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length == 0) return LastError();
    if (length >= sizeof shortPath || !CopyBounded(buffer, size, shortPath)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return kSysOk;
}

SysError WriteNewFile(const char* path, const void* data, uint32_t length) {
    HFILE file = _lcreat(path, 0);
    if (file == HFILE_ERROR) return LastError();
    SysError result = kSysOk;
    if (_lwrite(file, (LPCCH)data, length) != length) result = LastError();
    if (_lclose(file) == HFILE_ERROR && result == kSysOk) result = LastError();
    return result;
}

SysError StartHiddenCommand(const char* commandLine) {
    UINT result = WinExec(commandLine, SW_HIDE);
    // WinExec answers 32 or less on failure, with the reason in its result.
    return result > 31 ? kSysOk : (result != 0 ? (SysError)result : (SysError)ERROR_OUTOFMEMORY);
}

typedef DWORD(WINAPI* GetModuleFileNameWFn)(HMODULE, LPWSTR, DWORD);

SysError GetProgramPath(char* buffer, uint32_t size) {
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    // Older systems leave a cut path unterminated, newer ones cut it and terminate it.
    bool whole = length != 0 && length < size;
    SysError failure = length == 0 ? LastError() : (SysError)ERROR_INSUFFICIENT_BUFFER;
    // A name the code page cannot hold comes out as "?" or as a look-alike letter that
    // may name another folder, and a path of double-byte characters may not fit where
    // its wide form does: the wide form, or its short form, tells. Systems with only a
    // stub of the wide call keep the path as it is, which their file systems always hold.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC moduleFileName = kernel != NULL ? GetProcAddress(kernel, "GetModuleFileNameW") : NULL;
    WCHAR wide[MAX_PATH];
    DWORD wideLength = moduleFileName != NULL ? ((GetModuleFileNameWFn)(void*)moduleFileName)(NULL, wide, MAX_PATH) : 0;
    if (wideLength == 0 && whole) return kSysOk;
    if (wideLength != 0 && wideLength < MAX_PATH && AnsiFormOfPath(wide, buffer, (int)size)) return kSysOk;
    buffer[0] = '\0';
    if (wideLength == 0) return failure;
    return wideLength < MAX_PATH ? (SysError)ERROR_NO_UNICODE_TRANSLATION : (SysError)ERROR_INSUFFICIENT_BUFFER;
}

const char* NextCharacter(const char* text) {
    return CharNextA(text);
}

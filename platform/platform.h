// The system services the install engine needs, as plain functions. One file per
// target implements all of them: platform/win32 over the Win32 ANSI calls, and
// platform/memory, an in-memory stand-in for the native tests.
//
// Every path is ANSI text, NUL-terminated. Functions that can fail return a SysError:
// 0 on success, otherwise the Win32 error code the system reported (the stand-in
// returns the code Windows would). A failed call leaves its output buffers as they
// were unless it says otherwise.
#ifndef ZOPPEL_PLATFORM_H
#define ZOPPEL_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

typedef uint32_t SysError;

// The Win32 error codes the engine or the stand-in name.
enum : SysError {
    kSysOk = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrAccessDenied = 5,
    kErrNoMoreFiles = 18,
    kErrNotReady = 21,
    kErrSharingViolation = 32,
    kErrBadNetPath = 53,
    kErrInvalidParameter = 87,
    kErrDiskFull = 112,
    kErrInsufficientBuffer = 122,
    kErrInvalidName = 123,
    kErrDirNotEmpty = 145,
    kErrAlreadyExists = 183,
    kErrFilenameTooLong = 206,
    kErrMoreData = 234,
    kErrNoMoreItems = 259,
    kErrDirectory = 267,
    kErrNoUnicodeTranslation = 1113,
};

// Geometry of a volume as the system reports it; free bytes are
// freeClusters * sectorsPerCluster * bytesPerSector.
struct VolumeSpace {
    uint32_t sectorsPerCluster;
    uint32_t bytesPerSector;
    uint32_t freeClusters;
    uint32_t totalClusters;
};

// Asks for the free space of the volume whose root is `root` ("c:\").
// On failure `space` is unchanged.
SysError QueryFreeSpace(const char* root, VolumeSpace* space);

// Creates one folder. Its parent must exist (kErrPathNotFound otherwise);
// kErrAlreadyExists when something of that name is already there.
SysError MakeFolder(const char* path);

// What a look-up tells of one file or folder.
struct PathFacts {
    bool isFolder;
    bool guarded;        // read-only, hidden or system: a plain copy over it fails
    uint64_t size;       // in bytes; 0 for a folder
    uint64_t lastWrite;  // the last-write time, a FILETIME: 100 ns units
};

// Looks up one file or folder. kErrFileNotFound or kErrPathNotFound when nothing of
// that name exists; any other failure says nothing either way. On failure `facts` is
// unchanged.
SysError LookUpPath(const char* path, PathFacts* facts);

// Copies the file `from` to `to`, replacing an existing `to`. The copy keeps the
// source's read-only, hidden and system attributes and its last-write time, which a
// FAT volume keeps to 2 seconds. Copying a file onto itself, however it is spelled,
// fails (kErrSharingViolation) and leaves the file intact. A copy that fails part-way
// (the volume full) may leave a cut `to` behind.
SysError CopyFileOver(const char* from, const char* to);

// Returns once the file's data is on disk. Until then a power cut may lose what was
// written to it, while a deletion elsewhere may already be kept.
SysError FlushFile(const char* path);

// Deletes one file; a read-only file is not deleted (kErrAccessDenied).
SysError DeleteOneFile(const char* path);

// Clears the read-only, hidden, system and archive attributes of a file.
SysError ResetAttributes(const char* path);

// Removes a folder; it fails while the folder holds anything (kErrDirNotEmpty).
SysError RemoveEmptyFolder(const char* path);

// One entry of a folder listing. The name is the entry's long name, at most 259
// characters; "." and ".." are listed as folders.
struct FolderEntry {
    bool isFolder;
    char name[260];
};

typedef uintptr_t FolderListing;

// Starts listing the entries that match `pattern` (a folder followed by "\*.*")
// and fills `first` with the first one. On failure there is nothing to end.
SysError BeginFolderListing(const char* pattern, FolderListing* listing, FolderEntry* first);
// Fills `entry` with the next entry; kErrNoMoreFiles when there are no more, another
// code when the listing broke off.
SysError NextFolderEntry(FolderListing listing, FolderEntry* entry);
void EndFolderListing(FolderListing listing);

// The per-user registry (HKEY_CURRENT_USER). A key must be closed once opened.
typedef uintptr_t UserKey;

SysError OpenUserKeyForRead(const char* keyPath, UserKey* key);
// Creates the key with its missing parents, or opens it when it exists.
SysError CreateUserKey(const char* keyPath, UserKey* key);
// Reads a value's data, whatever its type. `size` holds the buffer's size on entry
// and the data's size on return; data larger than the buffer gives kErrMoreData
// and leaves the buffer's content unspecified.
SysError ReadKeyValue(UserKey key, const char* name, void* data, uint32_t* size);
// Stores `text` as a REG_SZ value, its terminating NUL included: the value is then
// either wholly the new text or as it was. A name longer than 255 characters is
// refused (the first Windows 95 allows no more).
SysError WriteKeyText(UserKey key, const char* name, const char* text);
// Reads the value numbered `index` (from 0, in the key's own order): its name into
// `name` (`nameSize` bytes) and its data as ReadKeyValue does. kErrNoMoreItems past the
// last; kErrMoreData when the name or the data do not fit.
SysError ReadKeyValueAt(UserKey key, uint32_t index, char* name, uint32_t nameSize, void* data, uint32_t* size);
// Removes one value; kErrFileNotFound when there is none.
SysError DeleteKeyValue(UserKey key, const char* name);
// Returns once the key's changes are on disk. Until then a power cut may lose them:
// the system writes the registry out lazily.
SysError FlushUserKey(UserKey key);
void CloseUserKey(UserKey key);

// The Windows folder, into a buffer of `size` bytes; kErrInsufficientBuffer when
// it does not fit.
SysError GetWindowsFolder(char* buffer, uint32_t size);

// The short (8.3) form of an existing path, into a buffer of `size` bytes;
// kErrInsufficientBuffer when it does not fit.
SysError GetShortForm(const char* path, char* buffer, uint32_t size);

// Creates `path` with normal attributes, or truncates it when it exists, and writes
// `length` bytes of `data` into it. Returns the first failure, of creating or of writing.
SysError WriteNewFile(const char* path, const void* data, uint32_t length);

// Starts a command line with its window hidden, without waiting for it.
SysError StartHiddenCommand(const char* commandLine);

// The full path of the running program, in a form the ANSI calls open: the path the
// system gives in the active code page when that names the program without loss and
// fits, otherwise its short (8.3) form when that does. Systems without wide calls
// give their path as it is. kErrInsufficientBuffer when no form fits `size` bytes;
// kErrNoUnicodeTranslation when none converts without loss (short names switched
// off on the volume). On failure `buffer` holds an empty text.
SysError GetProgramPath(char* buffer, uint32_t size);

// The next character of `text` in the active code page: one byte on, or two for a
// double-byte character. Never steps past the terminating NUL.
const char* NextCharacter(const char* text);

#endif

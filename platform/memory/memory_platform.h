// Control of the in-memory platform stand-in that the native tests link instead of
// the Win32 one: build volumes, folders, files and registry values, inject failures,
// and read back what the engine left. Test-only code; uses the standard library.
#ifndef ZOPPEL_MEMORY_PLATFORM_H
#define ZOPPEL_MEMORY_PLATFORM_H

#include <stdint.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../platform.h"

namespace memfs {

// File attributes, with the values Windows gives them.
enum : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};

// Every platform operation, for failure injection and the call log.
enum class Op {
    FreeSpace, MakeFolder, LookUp, CopyFile, DeleteFile, ResetAttributes, RemoveFolder,
    BeginListing, NextEntry, OpenKey, CreateKey, ReadValue, WriteValue,
    WindowsFolder, ShortForm, WriteFile, StartCommand, ProgramPath, DeleteValue, FlushKey, EnumValue, FlushFile,
};
const char* OpName(Op op);

struct Call {
    Op op;
    std::string path;  // the first path argument as given, or the key or command
};

// Back to a new machine: volume C: (4 GB free), the Windows folder C:\WINDOWS, the
// current folder C:\, an empty registry, the single-byte code page, no failures.
void Reset();

void AddVolume(char letter, VolumeSpace space);
void SetVolumeSpace(char letter, VolumeSpace space);
// A volume on which nothing can be created, changed or deleted, as on a CD: every
// file on it reports the read-only attribute, which a copy of it then carries.
void SetVolumeReadOnly(char letter, bool readOnly);
// A FAT volume: every last-write time on it is rounded up to an even second, a
// copy's too.
void SetVolumeFat(char letter, bool fat);
// Moves every last-write time on a volume by `delta` (FILETIME units), as a change
// to or from daylight saving time moves those of a FAT volume, which keeps local time.
void ShiftTimes(char letter, int64_t delta);
void SetWindowsFolder(const std::string& path);
void SetDoubleByteCodePage(bool on);  // lead bytes as in code page 932
// Where the running program lies, as the system knows it: `widePath` in UTF-8, and the
// short form of it (empty when short names are switched off). The ANSI code page here
// holds the characters up to U+00FF; any other stands for one it cannot hold.
void SetProgramPath(const std::string& widePath, const std::string& shortPath = "");

// Creation helpers create missing parents; they return false on a bad path. Every
// write gives a file a last-write time more than 2 seconds later than any before, off
// the whole second; a copy keeps its source's (to 2 seconds on FAT).
// A folder's attributes: read-only makes its removal fail (kErrAccessDenied) before
// whether it is empty is looked at; creating in it stays allowed.
bool AddFolder(const std::string& path, uint32_t attributes = 0);
bool AddFile(const std::string& path, const std::string& content, uint32_t attributes = 0);
// A copy of the file `from` at `to` as an earlier copy left it: the same content,
// attributes and last-write time (to 2 seconds on FAT).
bool AddCopy(const std::string& from, const std::string& to);
// Gives an existing entry an explicit short (8.3) name.
bool SetShortName(const std::string& path, const std::string& shortName);
// A folder in which nothing new can be created (kErrAccessDenied).
bool DenyCreateIn(const std::string& path);

// Opens a file as a program does that keeps it open (a running game): without sharing,
// or sharing delete only. While it is held, copying from it or over it fails
// (kErrSharingViolation), and so does deleting it, unless the hold shares delete: then
// the delete succeeds and the name stays, listed, until the last close, while every
// call that opens it fails (kErrAccessDenied), as the look-ups here do. A hold without
// sharing conflicts with every other; 0 when the file is missing, a folder or held so.
uintptr_t HoldOpen(const std::string& path, bool shareDelete);
void CloseHeld(uintptr_t hold);
// As Windows 95, whose DeleteFile deletes a file open for normal I/O at once.
void DeleteOpenFilesAsWindows95(bool on);

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
std::optional<std::string> ReadFile(const std::string& path);
std::optional<uint32_t> Attributes(const std::string& path);
// The names in a folder, sorted case-insensitively, without "." and "..".
std::vector<std::string> List(const std::string& path);
// Every file on every volume: full path (as the entries are spelled) to content.
std::map<std::string, std::string> Files();

struct RegValue {
    uint32_t type;
    std::string data;
};
const uint32_t kRegSz = 1;
const uint32_t kRegDword = 4;
// The registry as the machine had it before: keys and values set here are on disk.
// What the engine changes is on disk once it flushes that key; a power cut loses the
// rest. With `ignored`, flushes write nothing, as if the engine made none.
void AddRegistryKey(const std::string& key);
void IgnoreFlushes(bool ignored);
void SetRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                      const std::string& data);
std::optional<RegValue> RegistryValue(const std::string& key, const std::string& name);
bool RegistryKeyExists(const std::string& key);

const std::vector<std::string>& StartedCommands();

// Makes every call of `op` on `path` fail with `error`; an empty path matches every
// call of that operation. Paths compare as the stand-in resolves them.
void FailOn(Op op, const std::string& path, SysError error);
// From now on, a CopyFile that is made to fail first writes the first half of its
// source to the destination, creating it or cutting an existing one, as a copy that
// runs out of room part-way does, with the attributes a whole copy would have; where
// a real copy would fail before writing (a read-only destination), it writes nothing.
void FailCopiesPartWay(bool on);
// Makes platform call number `n` since Reset (the first is 1) fail with `error`.
void FailCall(uint64_t n, SysError error);
// Cuts the power at the start of call number `n`: that call and every later one fail
// (kErrNotReady) and change nothing, but a copy cut while copies fail part-way leaves
// its cut destination, as a copy in progress does. What was copied into a file and not
// flushed since is lost with the power (the file stays, empty), as are unflushed
// registry changes.
void CutPowerAt(uint64_t n);
// Takes back every injected failure and the power cut: the next run finds the
// machine as the last one left it, the registry as it was last flushed after a cut.
void ClearFailures();
uint64_t CallCount();
const std::vector<Call>& Calls();
// Calls `observer` at the start of every platform call, with the call's number (the
// first is 1), before the call does anything: what it sees is the state the calls
// before it left, as a power cut at that point would leave it.
void ObserveCalls(std::function<void(uint64_t n, const Call& call)> observer);
// Registry keys and folder listings opened and not yet closed.
int OpenHandles();

}  // namespace memfs

#endif

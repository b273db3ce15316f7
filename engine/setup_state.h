// The one record of state that every install step shares, and the path and text rules
// with which every step builds and compares paths. Portable: no system headers.
#ifndef ZOPPEL_SETUP_STATE_H
#define ZOPPEL_SETUP_STATE_H

#include <stddef.h>
#include <stdint.h>

// A path buffer: at most 259 characters and the terminator.
const size_t kPathSize = 260;

enum Stage : int32_t {
    StageCollecting = 0,
    StageFinished = 1,
};

struct SetupState {
    char sourceDir[kPathSize];   // folder of the running program, no trailing separator
    char installDir[kPathSize];  // the folder exactly as the user typed or picked it
    char dataDir[kPathSize];     // installDir + "\data", plain concatenation
    int32_t stage;               // a Stage
    int32_t busyCount;           // above 0 while an install runs
    // Whether this run made installDir, and dataDir: nothing is in such a folder but
    // what this run copies there.
    bool installDirMade;
    bool dataDirMade;
    // This download's record of a move under way (install_record.cpp): its value
    // name, empty when it can have none; its state, a MoveRecord; whether this run
    // resumes the install it names, and whether that one deleted the removal list.
    char recordName[kPathSize];
    int32_t record;
    bool resuming;
    bool listDone;
    bool sourcesDeleted;  // whether this run has deleted a source it moved
};

extern SetupState gSetup;

// Bounded text helpers. Each returns false when the result would not fit in `size`
// bytes with its terminator; the buffer is then left as it was.
bool CopyText(char* buffer, size_t size, const char* text);
bool AppendText(char* buffer, size_t size, const char* text);

// Formats `format` with its one "%s" replaced by `argument` ("%%" gives "%").
// Returns false when the text had to be cut; the buffer then holds as much of it as
// fits, terminated, and never a partial double-byte character.
bool FormatText(char* buffer, size_t size, const char* format, const char* argument);

// Formats a status-line text into `size` bytes (at least 4): a text too long keeps
// its start, cut at a whole character, and ends in "...".
void FormatStatusText(char* buffer, size_t size, const char* format, const char* argument);

// Sets gSetup.sourceDir to the folder part of `modulePath`: everything before its last
// "\" or "/", stepping by whole characters of the active code page. A path without a
// separator gives an empty text. False (and an empty sourceDir) if it does not fit.
bool DeriveSourceDir(const char* modulePath);

// Sets gSetup.sourceDir from the running program's own path (DeriveSourceDir). False,
// with an empty sourceDir, when that path cannot be had whole or without loss, or
// holds no separator: an empty sourceDir means no usable source folder, and the
// install then refuses to build any source path from it.
bool LocateSourceDir();

// Appends "\" unless `path` is empty or already ends in "\" or "/" (its last whole
// character of the active code page decides: a trail byte is never a separator), then
// `component`. False, with `path` unchanged, if it would not fit.
bool AppendPathComponent(char* path, size_t size, const char* component);

// Cuts `path` at its last "\" (not "/") from its second character on, stepping by
// whole characters of the active code page. False, with `path` unchanged, when there
// is none.
bool StripLastComponent(char* path);

// Byte-for-byte equality after folding ASCII A-Z to small letters; nothing else is
// normalised.
bool PathsEqual(const char* a, const char* b);

#endif

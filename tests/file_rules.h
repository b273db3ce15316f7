// Windows' rules for the file calls the engine makes, one row each: a layout, one call
// through platform.h, what Windows answers and leaves, and the reference that says so.
// The native tests check every row on the stand-in; tests/e2e/rules.cpp checks under
// Wine those Wine can show. docs/windows-file-rules.md explains the table.
#ifndef ZOPPEL_FILE_RULES_H
#define ZOPPEL_FILE_RULES_H

#include <stdint.h>

#include <optional>
#include <string>

#include "platform/platform.h"

enum class RuleCall { kCopy, kDelete, kLookUp, kRemoveFolder, kMakeFolder };
enum RuleHold { kNotHeld, kHeld, kHeldSharingDelete };
enum : uint32_t { kRuleReadOnly = 0x01, kRuleHidden = 0x02, kRuleSystem = 0x04, kRuleFolder = 0x10 };

// A file holding "bytes of PATH", or a folder when PATH ends in "\"; null: no entry.
struct RuleEntry {
    const char* path;
    uint32_t attributes = 0;
    RuleHold hold = kNotHeld;  // held open by the test during the call
};

const SysError kAsOnNt = 0xFFFFFFFF;

struct FileRule {
    const char* what;
    RuleEntry layout[2];
    RuleCall call;
    const char* path;  // in the row's folder (a copy's source)
    const char* to;    // a copy's destination; "~NAME": NAME's short form
    SysError result;   // on Windows NT and later
    // What the copy's destination, or else the call's path, holds once the holds are
    // closed: null nothing, "\" a folder, else the bytes laid out for that entry.
    const char* left;
    uint32_t leftAttributes;  // read-only, hidden, system
    const char* source;       // the reference that documents the row, or "Wine"
    bool wineDiffers = false;  // checked on the stand-in only
    SysError result95 = kAsOnNt;  // where Windows 95 is documented to differ
    const char* left95 = nullptr;
};

extern const FileRule kFileRules[];
extern const int kFileRuleCount;

// Lays the row out in `folder` (not there yet), makes the call, closes the holds: ""
// when Windows' answer and what it leaves are seen (Windows 95's if asked), else what
// differed. A copy that succeeds must keep its source's last-write time.
std::string CheckFileRule(const FileRule& rule, const std::string& folder, bool windows95);

// Implemented by each program that runs the table. A laid-out file's last-write time
// lies in the past; RuleAttributes gives none when nothing is there.
bool RuleLayFile(const std::string& path, const std::string& content, uint32_t attributes);
bool RuleLayFolder(const std::string& path, uint32_t attributes);
uintptr_t RuleHoldOpen(const std::string& path, bool shareDelete);  // 0 on failure
void RuleCloseHeld(uintptr_t hold);
std::optional<std::string> RuleContent(const std::string& path);
std::optional<uint32_t> RuleAttributes(const std::string& path);

#endif

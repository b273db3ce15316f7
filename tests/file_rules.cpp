// The table of Windows' file rules and its check; see file_rules.h. The sources are the
// reference pages CopyFile, CreateFile, DeleteFile, CreateDirectory, RemoveDirectory and
// MS-FSA 2.1.5.15.3 (FileDispositionInformation); "Wine" marks a row known from Wine only.
#include "file_rules.h"

namespace {

const uint32_t RO = kRuleReadOnly, HI = kRuleHidden, SY = kRuleSystem;
const SysError kOk = kSysOk, kDenied = kErrAccessDenied, kSharing = kErrSharingViolation;
const SysError kNoFile = kErrFileNotFound, kNoPath = kErrPathNotFound;
const RuleEntry kSrc = {"src.txt"}, kDst = {"dst.txt"}, kDir = {"dir\\"}, kInDir = {"dir\\f.txt"};
const RuleCall kCopy = RuleCall::kCopy, kDelete = RuleCall::kDelete, kLookUp = RuleCall::kLookUp;
const RuleCall kRemove = RuleCall::kRemoveFolder, kMake = RuleCall::kMakeFolder;
const char *const src = "src.txt", *const dst = "dst.txt", *const dir = "dir", *const none = "none\\dst.txt";

}  // namespace

const FileRule kFileRules[] = {
    {"copy to a new file", {kSrc}, kCopy, src, "new.txt", kOk, src, 0, "CopyFile; its time: Wine"},
    {"copy over a file", {kSrc, kDst}, kCopy, src, dst, kOk, src, 0, "CopyFile"},
    {"copy over a read-only file", {kSrc, {dst, RO}}, kCopy, src, dst, kDenied, dst, RO, "CopyFile"},
    {"copy over a hidden file", {kSrc, {dst, HI}}, kCopy, src, dst, kDenied, dst, HI, "CopyFile", true},
    {"copy over a system file", {kSrc, {dst, SY}}, kCopy, src, dst, kDenied, dst, SY, "CreateFile", true},
    {"copy over a folder", {kSrc, kDir}, kCopy, src, dir, kDenied, "\\", 0, "Wine"},
    {"copy over a file held open", {kSrc, {dst, 0, kHeld}}, kCopy, src, dst, kSharing, dst, 0, "CreateFile"},
    {"copy of a file held open", {{src, 0, kHeld}}, kCopy, src, "new.txt", kSharing, nullptr, 0, "CreateFile"},
    {"copy onto itself in other letters", {kSrc}, kCopy, src, "SRC.TXT", kSharing, src, 0, "Wine"},
    {"copy onto itself by its short name", {{"Long name.txt"}}, kCopy, "Long name.txt", "~Long name.txt", kSharing,
     "Long name.txt", 0, "Wine"},
    {"copy of a read-only file to a new file", {{src, RO}}, kCopy, src, "new.txt", kOk, src, RO, "CopyFile"},
    {"copy of a hidden file to a new file", {{src, HI}}, kCopy, src, "new.txt", kOk, src, HI, "CopyFile"},
    {"copy of a read-only hidden file to a new file", {{src, RO | HI}}, kCopy, src, "new.txt", kOk, src, RO | HI,
     "CopyFile", true},
    {"copy of a read-only hidden file over a file", {{src, RO | HI}, kDst}, kCopy, src, dst, kOk, src, RO | HI,
     "CopyFile; CreateFile", true},
    {"delete a file", {kDst}, kDelete, dst, nullptr, kOk, nullptr, 0, "DeleteFile"},
    {"delete a read-only file", {{dst, RO}}, kDelete, dst, nullptr, kDenied, dst, RO, "DeleteFile"},
    {"delete a hidden file", {{dst, HI}}, kDelete, dst, nullptr, kOk, nullptr, 0, "Wine"},
    {"delete a missing file", {}, kDelete, dst, nullptr, kNoFile, nullptr, 0, "DeleteFile"},
    {"delete in a missing folder", {}, kDelete, none, nullptr, kNoPath, nullptr, 0, "Wine"},
    {"delete a file held open", {{dst, 0, kHeld}}, kDelete, dst, nullptr, kSharing, dst, 0, "DeleteFile; CreateFile",
     false, kOk, nullptr},
    {"delete a file held open sharing delete", {{dst, 0, kHeldSharingDelete}}, kDelete, dst, nullptr, kOk, nullptr, 0,
     "DeleteFile"},
    {"delete a folder", {kDir}, kDelete, dir, nullptr, kDenied, "\\", 0, "Wine"},
    {"look up a missing file", {}, kLookUp, dst, nullptr, kNoFile, nullptr, 0, "Wine"},
    {"look up in a missing folder", {}, kLookUp, none, nullptr, kNoPath, nullptr, 0, "Wine"},
    {"remove a folder that holds a file", {kDir, kInDir}, kRemove, dir, nullptr, kErrDirNotEmpty, "\\", 0, "MS-FSA"},
    {"remove a read-only folder that holds a file", {{"dir\\", RO}, kInDir}, kRemove, dir, nullptr, kDenied, "\\", RO,
     "MS-FSA", true},
    {"remove an empty folder", {kDir}, kRemove, dir, nullptr, kOk, nullptr, 0, "RemoveDirectory"},
    {"make a folder that exists", {kDir}, kMake, dir, nullptr, kErrAlreadyExists, "\\", 0, "CreateDirectory"},
    {"make a folder over a file", {kDst}, kMake, dst, nullptr, kErrAlreadyExists, dst, 0, "Wine"},
    {"make a folder without its parent", {}, kMake, "none\\dir", nullptr, kNoPath, nullptr, 0, "CreateDirectory"},
};
const int kFileRuleCount = (int)(sizeof kFileRules / sizeof kFileRules[0]);

static std::string BytesOf(const char* entry) { return std::string("bytes of ") + entry; }

// What a path holds, as the rows say it, with its read-only, hidden and system bits.
static std::string Described(const std::optional<uint32_t>& attributes, const std::optional<std::string>& content) {
    if (!attributes) return "nothing";
    std::string what = (*attributes & kRuleFolder) ? "a folder" : content ? *content : "an unreadable file";
    return what + " attributes " + std::to_string(*attributes & (RO | HI | SY));
}

std::string CheckFileRule(const FileRule& rule, const std::string& folder, bool windows95) {
    auto in = [&](const char* name) { return folder + "\\" + name; };
    if (!RuleLayFolder(folder, 0)) return "cannot make " + folder;
    uintptr_t holds[2] = {};
    for (int i = 0; i < 2 && rule.layout[i].path; ++i) {
        const RuleEntry& entry = rule.layout[i];
        std::string path = in(entry.path);
        bool laid = path.back() == '\\' ? RuleLayFolder(path.substr(0, path.size() - 1), entry.attributes)
                                        : RuleLayFile(path, BytesOf(entry.path), entry.attributes);
        if (!laid || (entry.hold && !(holds[i] = RuleHoldOpen(path, entry.hold == kHeldSharingDelete)))) {
            return "cannot lay out " + path;
        }
    }
    std::string path = in(rule.path), to = rule.to ? in(rule.to) : path;
    char shortForm[260];
    if (rule.to && rule.to[0] == '~') {
        if (GetShortForm(in(rule.to + 1).c_str(), shortForm, sizeof shortForm) || shortForm == in(rule.to + 1)) {
            return "no short form of " + in(rule.to + 1);
        }
        to = shortForm;
    }
    PathFacts facts = {}, copy = {};
    SysError got = rule.call == RuleCall::kCopy     ? CopyFileOver(path.c_str(), to.c_str())
                   : rule.call == RuleCall::kDelete ? DeleteOneFile(path.c_str())
                   : rule.call == RuleCall::kLookUp ? LookUpPath(path.c_str(), &facts)
                   : rule.call == RuleCall::kMakeFolder ? MakeFolder(path.c_str())
                                                        : RemoveEmptyFolder(path.c_str());
    for (uintptr_t hold : holds) {
        if (hold) RuleCloseHeld(hold);
    }
    bool as95 = windows95 && rule.result95 != kAsOnNt;
    const char* left = as95 ? rule.left95 : rule.left;
    std::optional<uint32_t> attributes;
    if (left) attributes = rule.leftAttributes | (left[0] == '\\' ? kRuleFolder : 0u);
    std::string want = std::to_string(as95 ? rule.result95 : rule.result) + ", leaving " +
                       Described(attributes, left ? std::optional<std::string>(BytesOf(left)) : std::nullopt);
    std::string seen = std::to_string(got) + ", leaving " + Described(RuleAttributes(to), RuleContent(to));
    if (seen != want) return "answered " + seen + "; Windows answers " + want;
    if (rule.call == RuleCall::kCopy && got == kSysOk &&
        (LookUpPath(path.c_str(), &facts) || LookUpPath(to.c_str(), &copy) || facts.lastWrite != copy.lastWrite)) {
        return "the copy's last-write time is not its source's";
    }
    return "";
}

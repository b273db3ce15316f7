// The in-memory stand-in for the platform: volumes, folders, files with attributes
// and content, the per-user registry, started commands and injected failures. It
// answers as Windows does wherever the engine's outcome depends on it; what it does
// not model fails with an error rather than pretending to work. Test-only code.
#include "memory_platform.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <memory>

namespace memfs {
namespace {

struct Node {
    std::string name;
    std::string shortName;  // empty when the name is already a valid 8.3 name
    bool folder = false;
    bool denyCreate = false;
    bool deletePending = false;  // deleted while held open with delete sharing
    bool unflushed = false;      // copied into, and not flushed since
    uint32_t attributes = 0;
    uint64_t lastWrite = 0;
    std::string content;
    // Keyed by the name with ASCII folded to small letters: names compare as Windows
    // compares them, and listings come out sorted.
    std::map<std::string, std::unique_ptr<Node>> children;
};

struct Volume {
    std::unique_ptr<Node> root;
    VolumeSpace space;
    bool readOnly = false;
    bool fat = false;  // last-write times kept to 2 seconds
};

struct Listing {
    std::string folder;
    std::vector<std::string> names;  // folded keys, "." and ".." first
    size_t next = 0;
};

struct Key {
    std::string path;
    std::map<std::string, std::pair<std::string, RegValue>> values;  // folded name -> (name, value)
};

// A file held open by a test: `node` is null once the file is gone.
struct Hold {
    Node* node;
    bool shareDelete;
};

struct Injection {
    Op op;
    std::string path;  // canonical; empty for any
    SysError error;
};

struct World {
    std::map<char, Volume> volumes;
    std::string windowsFolder;
    bool doubleByte = false;
    bool copiesFailPartWay = false;
    std::string programPath = "C:\\SETUP\\SETUP.EXE";
    std::string programShortPath;
    std::map<std::string, Key> keys;     // folded path -> key
    std::map<std::string, Key> durable;  // the keys as a power cut leaves them
    bool flushesIgnored = false;
    std::map<uintptr_t, std::string> openKeys;
    std::map<uintptr_t, Listing> listings;
    std::map<uintptr_t, Hold> holds;
    bool deleteOpenFiles = false;  // Windows 95's DeleteFile
    uintptr_t nextHandle = 1;
    std::vector<std::string> commands;
    std::vector<Injection> injections;
    std::map<uint64_t, SysError> failCalls;
    uint64_t powerCutAt = 0;  // the call the power goes off in; 0 for none
    uint64_t clock = 0;       // last-write times: every write is later than the one before
    uint64_t callCount = 0;
    std::vector<Call> calls;
    std::function<void(uint64_t, const Call&)> observer;
};

World& W() {
    static World world;
    return world;
}

std::string Fold(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    }
    return folded;
}

// A path resolved to a volume and its components.
struct Parsed {
    char drive = 0;
    std::vector<std::string> parts;
};

bool ValidNameChar(unsigned char c) {
    return c >= 32 && !strchr("<>:\"|?*", c);
}

SysError Parse(const std::string& input, Parsed* out) {
    // The ANSI calls take at most MAX_PATH - 1 characters.
    if (input.size() >= 260) return kErrFilenameTooLong;
    std::string path = input;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    if (path.empty()) return kErrPathNotFound;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return kErrBadNetPath;
    size_t at = 0;
    out->drive = 'c';  // the current folder is C:\ and stays there
    if (path.size() >= 2 && path[1] == ':') {
        char d = (char)Fold(path.substr(0, 1))[0];
        if (d < 'a' || d > 'z') return kErrInvalidName;
        out->drive = d;
        at = 2;
    }
    out->parts.clear();
    while (at <= path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        at = end + 1;
        bool last = end == path.size();
        // The last component loses trailing dots and spaces, as Win32 names do.
        if (last) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
                if (part == "..") break;
                part.pop_back();
            }
        }
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!out->parts.empty()) out->parts.pop_back();
            continue;
        }
        if (part.size() > 255) return kErrFilenameTooLong;
        for (unsigned char c : part) {
            if (!ValidNameChar(c)) return kErrInvalidName;
        }
        out->parts.push_back(part);
    }
    if (!W().volumes.count(out->drive)) return kErrPathNotFound;
    return kSysOk;
}

std::string Canonical(const std::string& path) {
    Parsed parsed;
    if (Parse(path, &parsed) != kSysOk) return Fold(path);
    std::string text(1, parsed.drive);
    text += ":";
    for (const std::string& part : parsed.parts) text += "\\" + Fold(part);
    if (parsed.parts.empty()) text += "\\";
    return text;
}

Volume& VolumeOf(const Parsed& parsed) {
    return W().volumes.at(parsed.drive);
}

Node* Child(Node* folder, const std::string& name) {
    auto it = folder->children.find(Fold(name));
    if (it != folder->children.end()) return it->second.get();
    for (auto& entry : folder->children) {
        if (!entry.second->shortName.empty() && Fold(entry.second->shortName) == Fold(name)) {
            return entry.second.get();
        }
    }
    return nullptr;
}

// The folder that holds the last component; kErrPathNotFound when it is missing.
SysError FindParent(const Parsed& parsed, Node** parent) {
    Node* node = VolumeOf(parsed).root.get();
    for (size_t i = 0; i + 1 < parsed.parts.size(); ++i) {
        node = Child(node, parsed.parts[i]);
        if (!node || !node->folder) return kErrPathNotFound;
    }
    *parent = node;
    return kSysOk;
}

// Resolves a whole path: kErrPathNotFound for a missing folder on the way,
// kErrFileNotFound for a missing last component.
SysError Find(const std::string& path, Parsed* parsed, Node** node, Node** parent = nullptr) {
    SysError error = Parse(path, parsed);
    if (error != kSysOk) return error;
    if (parsed->parts.empty()) {
        *node = VolumeOf(*parsed).root.get();
        if (parent) *parent = nullptr;
        return kSysOk;
    }
    Node* holder = nullptr;
    error = FindParent(*parsed, &holder);
    if (error != kSysOk) return error;
    if (parent) *parent = holder;
    *node = Child(holder, parsed->parts.back());
    if (*node && (*node)->deletePending) return kErrAccessDenied;
    return *node ? kSysOk : kErrFileNotFound;
}

bool IsShortName(const std::string& name) {
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && (ext.empty() || ext.find('.') != std::string::npos)) return false;
    for (unsigned char c : name) {
        if (c == ' ' || c == '+' || c == ',' || c == ';' || c == '=' || c == '[' || c == ']') return false;
    }
    return true;
}

// The alias Windows makes for a long name: six characters, "~n", three of extension.
std::string MakeShortName(Node* folder, const std::string& name) {
    if (IsShortName(name)) return "";
    size_t dot = name.rfind('.');
    std::string base, ext;
    for (size_t i = 0; i < (dot == std::string::npos ? name.size() : dot); ++i) {
        unsigned char c = (unsigned char)name[i];
        if (c != ' ' && c != '.' && base.size() < 6) base += (char)toupper(c);
    }
    if (dot != std::string::npos) {
        for (size_t i = dot + 1; i < name.size() && ext.size() < 3; ++i) {
            if (name[i] != ' ') ext += (char)toupper((unsigned char)name[i]);
        }
    }
    if (base.empty()) base = "_";
    for (int n = 1;; ++n) {
        std::string alias = base + "~" + std::to_string(n) + (ext.empty() ? "" : "." + ext);
        if (!Child(folder, alias)) return alias;
    }
}

Node* AddChild(Node* folder, const std::string& name, bool isFolder) {
    auto node = std::make_unique<Node>();
    node->name = name;
    node->folder = isFolder;
    node->attributes = isFolder ? kAttrDirectory : kAttrArchive;
    node->shortName = MakeShortName(folder, name);
    Node* raw = node.get();
    folder->children[Fold(name)] = std::move(node);
    return raw;
}

void Remove(Node* folder, Node* child) {
    for (auto& hold : W().holds) {
        if (hold.second.node == child) hold.second.node = nullptr;
    }
    for (auto it = folder->children.begin(); it != folder->children.end(); ++it) {
        if (it->second.get() == child) {
            folder->children.erase(it);
            return;
        }
    }
}

// Last-write times are FILETIMEs (100 ns units). Each write is 3 seconds and 100 ns
// after the one before, so that no two writes fall within the 2 seconds of FAT's
// times, nor on a whole second.
const uint64_t kTick = 30000001;
const uint64_t kFatStep = 20000000;

uint64_t Now() { return W().clock += kTick; }

// `time` as the volume of `parsed` keeps it: FAT rounds it up to an even second.
uint64_t KeptTime(const Parsed& parsed, uint64_t time) {
    if (!VolumeOf(parsed).fat) return time;
    return (time + kFatStep - 1) / kFatStep * kFatStep;
}

// Whether the power went off before the current call: then nothing happens any more.
bool PoweredOff() {
    return W().powerCutAt != 0 && W().callCount > W().powerCutAt;
}

void LoseUnflushedIn(Node* folder) {
    for (auto& entry : folder->children) {
        if (entry.second->unflushed) entry.second->content.clear();
        entry.second->unflushed = false;
        LoseUnflushedIn(entry.second.get());
    }
}

// What a power cut loses: file data and registry changes not yet flushed.
void LoseUnflushed() {
    for (auto& volume : W().volumes) LoseUnflushedIn(volume.second.root.get());
    W().keys = W().durable;
}

// Every platform call passes here: it is counted, logged, and fails when a failure
// was injected for it or the power is off.
SysError Enter(Op op, const std::string& path) {
    World& w = W();
    ++w.callCount;
    w.calls.push_back({op, path});
    if (w.observer) w.observer(w.callCount, w.calls.back());
    if (w.powerCutAt != 0 && w.callCount >= w.powerCutAt) {
        if (w.callCount == w.powerCutAt) LoseUnflushed();
        return kErrNotReady;
    }
    auto nth = w.failCalls.find(w.callCount);
    if (nth != w.failCalls.end()) return nth->second;
    for (const Injection& injection : w.injections) {
        if (injection.op == op && (injection.path.empty() || injection.path == Canonical(path))) {
            return injection.error;
        }
    }
    return kSysOk;
}

// Whether a test holds `node` open: at all, or (`withoutDeleteSharing`) so that it
// cannot be deleted.
bool HeldOpen(const Node* node, bool withoutDeleteSharing) {
    for (const auto& hold : W().holds) {
        if (hold.second.node == node && !(withoutDeleteSharing && hold.second.shareDelete)) return true;
    }
    return false;
}

// The attributes a look-up reports: every file on a read-only volume is read-only.
uint32_t Reported(const Parsed& parsed, const Node* node) {
    bool cd = VolumeOf(parsed).readOnly && !node->folder;
    return node->attributes | (cd ? (uint32_t)kAttrReadOnly : 0u);
}

// Checks that something may be created or changed inside `folder` on this volume.
SysError Writable(const Parsed& parsed, Node* folder) {
    if (VolumeOf(parsed).readOnly) return kErrAccessDenied;
    if (folder && folder->denyCreate) return kErrAccessDenied;
    return kSysOk;
}

Node* CreatePath(const std::string& path, bool lastIsFolder) {
    Parsed parsed;
    if (Parse(path, &parsed) != kSysOk || parsed.parts.empty()) return nullptr;
    Node* node = VolumeOf(parsed).root.get();
    for (size_t i = 0; i < parsed.parts.size(); ++i) {
        bool last = i + 1 == parsed.parts.size();
        Node* next = Child(node, parsed.parts[i]);
        if (!next) next = AddChild(node, parsed.parts[i], last ? lastIsFolder : true);
        if (!last && !next->folder) return nullptr;
        node = next;
    }
    return node->folder == lastIsFolder ? node : nullptr;
}

void CollectFiles(const Node* folder, const std::string& prefix, std::map<std::string, std::string>* out) {
    for (const auto& entry : folder->children) {
        std::string path = prefix + "\\" + entry.second->name;
        if (entry.second->folder) {
            CollectFiles(entry.second.get(), path, out);
        } else {
            (*out)[path] = entry.second->content;
        }
    }
}

}  // namespace

const char* OpName(Op op) {
    static const char* const names[] = {
        "FreeSpace", "MakeFolder", "LookUp", "CopyFile", "DeleteFile", "ResetAttributes", "RemoveFolder",
        "BeginListing", "NextEntry", "OpenKey", "CreateKey", "ReadValue", "WriteValue",
        "WindowsFolder", "ShortForm", "WriteFile", "StartCommand", "ProgramPath", "DeleteValue", "FlushKey",
        "EnumValue", "FlushFile",
    };
    return names[(int)op];
}

void Reset() {
    W() = World();
    AddVolume('C', VolumeSpace{8, 512, 1000000, 2000000});
    SetWindowsFolder("C:\\WINDOWS");
}

void AddVolume(char letter, VolumeSpace space) {
    Volume volume;
    volume.root = std::make_unique<Node>();
    volume.root->folder = true;
    volume.root->attributes = kAttrDirectory;
    volume.space = space;
    W().volumes[(char)Fold(std::string(1, letter))[0]] = std::move(volume);
}

static Volume& VolumeNamed(char letter) { return W().volumes.at((char)Fold(std::string(1, letter))[0]); }

void SetVolumeSpace(char letter, VolumeSpace space) { VolumeNamed(letter).space = space; }

void SetVolumeReadOnly(char letter, bool readOnly) { VolumeNamed(letter).readOnly = readOnly; }

void SetVolumeFat(char letter, bool fat) { VolumeNamed(letter).fat = fat; }

static void ShiftTimesIn(Node* folder, int64_t delta) {
    for (auto& entry : folder->children) {
        entry.second->lastWrite += (uint64_t)delta;
        ShiftTimesIn(entry.second.get(), delta);
    }
}

void ShiftTimes(char letter, int64_t delta) {
    ShiftTimesIn(VolumeNamed(letter).root.get(), delta);
}

void SetWindowsFolder(const std::string& path) {
    W().windowsFolder = path;
    AddFolder(path);
}

void SetDoubleByteCodePage(bool on) { W().doubleByte = on; }

void SetProgramPath(const std::string& widePath, const std::string& shortPath) {
    W().programPath = widePath;
    W().programShortPath = shortPath;
}

bool AddFolder(const std::string& path, uint32_t attributes) {
    Node* node = CreatePath(path, true);
    if (node) node->attributes = kAttrDirectory | attributes;
    return node != nullptr;
}

bool AddFile(const std::string& path, const std::string& content, uint32_t attributes) {
    Node* node = CreatePath(path, false);
    if (!node) return false;
    node->content = content;
    node->attributes = attributes;
    Parsed parsed;
    Parse(path, &parsed);
    node->lastWrite = KeptTime(parsed, Now());
    return true;
}

bool AddCopy(const std::string& from, const std::string& to) {
    Parsed parsed;
    Node* src = nullptr;
    if (Find(from, &parsed, &src) != kSysOk || src->folder) return false;
    Node* node = CreatePath(to, false);
    if (!node || Parse(to, &parsed) != kSysOk) return false;
    node->content = src->content;
    node->attributes = src->attributes;
    node->lastWrite = KeptTime(parsed, src->lastWrite);
    return true;
}

bool SetShortName(const std::string& path, const std::string& shortName) {
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk) return false;
    node->shortName = shortName;
    return true;
}

bool DenyCreateIn(const std::string& path) {
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk || !node->folder) return false;
    node->denyCreate = true;
    return true;
}

bool Exists(const std::string& path) {
    Parsed parsed;
    Node* node = nullptr;
    return Find(path, &parsed, &node) == kSysOk;
}

bool IsFolder(const std::string& path) {
    Parsed parsed;
    Node* node = nullptr;
    return Find(path, &parsed, &node) == kSysOk && node->folder;
}

std::optional<std::string> ReadFile(const std::string& path) {
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk || node->folder) return std::nullopt;
    return node->content;
}

std::optional<uint32_t> Attributes(const std::string& path) {
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk) return std::nullopt;
    return Reported(parsed, node);
}

uintptr_t HoldOpen(const std::string& path, bool shareDelete) {
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk || node->folder || HeldOpen(node, false)) return 0;
    uintptr_t handle = W().nextHandle++;
    W().holds[handle] = Hold{node, shareDelete};
    return handle;
}

// The folder that holds `node`, searched from `folder` down.
static Node* HolderOf(Node* folder, const Node* node) {
    for (auto& entry : folder->children) {
        if (entry.second.get() == node) return folder;
        Node* found = entry.second->folder ? HolderOf(entry.second.get(), node) : nullptr;
        if (found) return found;
    }
    return nullptr;
}

void CloseHeld(uintptr_t hold) {
    auto it = W().holds.find(hold);
    if (it == W().holds.end()) return;
    Node* node = it->second.node;
    W().holds.erase(it);
    if (!node || !node->deletePending || HeldOpen(node, false)) return;
    for (auto& volume : W().volumes) {
        if (Node* folder = HolderOf(volume.second.root.get(), node)) return Remove(folder, node);
    }
}

void DeleteOpenFilesAsWindows95(bool on) { W().deleteOpenFiles = on; }

std::vector<std::string> List(const std::string& path) {
    std::vector<std::string> names;
    Parsed parsed;
    Node* node = nullptr;
    if (Find(path, &parsed, &node) != kSysOk || !node->folder) return names;
    for (const auto& entry : node->children) names.push_back(entry.second->name);
    return names;
}

std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const auto& volume : W().volumes) {
        std::string drive(1, (char)toupper((unsigned char)volume.first));
        CollectFiles(volume.second.root.get(), drive + ":", &files);
    }
    return files;
}

// Creates `key` and its missing parents in `keys`, as RegCreateKeyEx does.
static Key& MakeKey(std::map<std::string, Key>& keys, const std::string& key) {
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        Key& parent = keys[Fold(key.substr(0, at))];
        if (parent.path.empty()) parent.path = key.substr(0, at);
    }
    Key& entry = keys[Fold(key)];
    if (entry.path.empty()) entry.path = key;
    return entry;
}

void AddRegistryKey(const std::string& key) {
    MakeKey(W().keys, key);
    MakeKey(W().durable, key);
}

void SetRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                      const std::string& data) {
    MakeKey(W().keys, key).values[Fold(name)] = {name, RegValue{type, data}};
    MakeKey(W().durable, key).values[Fold(name)] = {name, RegValue{type, data}};
}

void IgnoreFlushes(bool ignored) { W().flushesIgnored = ignored; }

std::optional<RegValue> RegistryValue(const std::string& key, const std::string& name) {
    auto k = W().keys.find(Fold(key));
    if (k == W().keys.end()) return std::nullopt;
    auto v = k->second.values.find(Fold(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.second;
}

bool RegistryKeyExists(const std::string& key) { return W().keys.count(Fold(key)) > 0; }

const std::vector<std::string>& StartedCommands() { return W().commands; }

void FailOn(Op op, const std::string& path, SysError error) {
    W().injections.push_back({op, path.empty() ? "" : Canonical(path), error});
}

void FailCall(uint64_t n, SysError error) { W().failCalls[n] = error; }

void FailCopiesPartWay(bool on) { W().copiesFailPartWay = on; }

void CutPowerAt(uint64_t n) { W().powerCutAt = n; }

void ClearFailures() {
    if (W().powerCutAt != 0) LoseUnflushed();
    W().injections.clear();
    W().failCalls.clear();
    W().powerCutAt = 0;
}

uint64_t CallCount() { return W().callCount; }

const std::vector<Call>& Calls() { return W().calls; }

void ObserveCalls(std::function<void(uint64_t n, const Call& call)> observer) {
    W().observer = std::move(observer);
}

int OpenHandles() { return (int)(W().openKeys.size() + W().listings.size()); }

}  // namespace memfs

using namespace memfs;

SysError QueryFreeSpace(const char* root, VolumeSpace* space) {
    if (SysError error = Enter(Op::FreeSpace, root)) return error;
    // Windows wants the root itself, with its backslash: "c:\".
    std::string text = root;
    if (text.size() != 3 || text[1] != ':' || text[2] != '\\') return kErrInvalidName;
    auto volume = W().volumes.find((char)Fold(text.substr(0, 1))[0]);
    if (volume == W().volumes.end()) return kErrPathNotFound;
    *space = volume->second.space;
    return kSysOk;
}

SysError MakeFolder(const char* path) {
    if (SysError error = Enter(Op::MakeFolder, path)) return error;
    // CreateDirectory leaves room for an 8.3 name below the new folder.
    if (strlen(path) > 247) return kErrFilenameTooLong;
    Parsed parsed;
    Node* node = nullptr;
    Node* parent = nullptr;
    SysError error = Find(path, &parsed, &node, &parent);
    if (error == kSysOk) return parsed.parts.empty() ? kErrAccessDenied : kErrAlreadyExists;
    if (error != kErrFileNotFound) return error;
    if (SysError denied = Writable(parsed, parent)) return denied;
    AddChild(parent, parsed.parts.back(), true);
    return kSysOk;
}

SysError LookUpPath(const char* path, PathFacts* facts) {
    if (SysError error = Enter(Op::LookUp, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    if (SysError error = Find(path, &parsed, &node)) return error;
    facts->isFolder = node->folder;
    facts->guarded = (Reported(parsed, node) & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0;
    facts->size = node->content.size();
    facts->lastWrite = node->lastWrite;
    return kSysOk;
}

SysError CopyFileOver(const char* from, const char* to) {
    SysError injected = Enter(Op::CopyFile, from);
    // A copy made to fail part-way gets as far as a real one would before it writes,
    // then leaves the first half of its source at the destination.
    bool partWay = injected && W().copiesFailPartWay && !PoweredOff();
    if (injected && !partWay) return injected;
    SysError error = kSysOk;
    auto fail = [&](SysError own) { return injected ? injected : own; };
    Parsed source, target;
    Node* src = nullptr;
    if ((error = Find(from, &source, &src))) return fail(error);
    if (src->folder) return fail(kErrAccessDenied);
    Node* dst = nullptr;
    Node* parent = nullptr;
    error = Find(to, &target, &dst, &parent);
    if (error != kSysOk && error != kErrFileNotFound) return fail(error);
    if (target.parts.empty()) return fail(kErrAccessDenied);
    if (dst == src || HeldOpen(src, false)) return fail(kErrSharingViolation);
    if (SysError denied = Writable(target, dst ? nullptr : parent)) return fail(denied);
    uint32_t kept = Reported(source, src) & (kAttrReadOnly | kAttrHidden | kAttrSystem);
    if (dst) {
        if (dst->folder || (dst->attributes & kAttrReadOnly)) return fail(kErrAccessDenied);
        // Replacing a hidden or system file needs the same attributes on the new one.
        uint32_t guarded = dst->attributes & (kAttrHidden | kAttrSystem);
        if ((guarded & kept) != guarded) return fail(kErrAccessDenied);
        if (HeldOpen(dst, false)) return fail(kErrSharingViolation);
    } else {
        dst = AddChild(parent, target.parts.back(), false);
    }
    dst->attributes = kept | kAttrArchive;
    dst->unflushed = true;
    if (partWay) {
        dst->content = src->content.substr(0, src->content.size() / 2);
        dst->lastWrite = KeptTime(target, Now());
        return injected;
    }
    dst->content = src->content;
    dst->lastWrite = KeptTime(target, src->lastWrite);
    return kSysOk;
}

SysError FlushFile(const char* path) {
    if (SysError error = Enter(Op::FlushFile, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    if (SysError error = Find(path, &parsed, &node)) return error;
    if (node->folder || (Reported(parsed, node) & kAttrReadOnly)) return kErrAccessDenied;
    if (HeldOpen(node, false)) return kErrSharingViolation;
    node->unflushed = false;
    return kSysOk;
}

SysError DeleteOneFile(const char* path) {
    if (SysError error = Enter(Op::DeleteFile, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    Node* parent = nullptr;
    if (SysError error = Find(path, &parsed, &node, &parent)) return error;
    if (node->folder || (Reported(parsed, node) & kAttrReadOnly)) return kErrAccessDenied;
    if (HeldOpen(node, false) && !W().deleteOpenFiles) {
        if (HeldOpen(node, true)) return kErrSharingViolation;
        node->deletePending = true;  // gone at the last close
        return kSysOk;
    }
    Remove(parent, node);
    return kSysOk;
}

SysError ResetAttributes(const char* path) {
    if (SysError error = Enter(Op::ResetAttributes, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    if (SysError error = Find(path, &parsed, &node)) return error;
    if (VolumeOf(parsed).readOnly) return kErrAccessDenied;
    node->attributes = node->folder ? (uint32_t)kAttrDirectory : 0u;
    return kSysOk;
}

SysError RemoveEmptyFolder(const char* path) {
    if (SysError error = Enter(Op::RemoveFolder, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    Node* parent = nullptr;
    if (SysError error = Find(path, &parsed, &node, &parent)) return error;
    if (!node->folder) return kErrDirectory;
    // Read-only is looked at before whether the folder is empty.
    if (!parent || (node->attributes & kAttrReadOnly)) return kErrAccessDenied;
    if (!node->children.empty()) return kErrDirNotEmpty;
    if (VolumeOf(parsed).readOnly) return kErrAccessDenied;
    Remove(parent, node);
    return kSysOk;
}

// Fills `entry` from the listing's next name that still exists.
static bool TakeEntry(Listing& listing, FolderEntry* entry) {
    while (listing.next < listing.names.size()) {
        const std::string& key = listing.names[listing.next++];
        bool folder = true;
        std::string name = key;
        if (key != "." && key != "..") {
            Parsed parsed;
            Node* dir = nullptr;
            if (Find(listing.folder, &parsed, &dir) != kSysOk) return false;
            auto it = dir->children.find(key);
            if (it == dir->children.end()) continue;  // deleted since the listing began
            folder = it->second->folder;
            name = it->second->name;
        }
        entry->isFolder = folder;
        snprintf(entry->name, sizeof entry->name, "%s", name.c_str());
        return true;
    }
    return false;
}

SysError BeginFolderListing(const char* pattern, FolderListing* listing, FolderEntry* first) {
    if (SysError error = Enter(Op::BeginListing, pattern)) return error;
    std::string text = pattern;
    size_t cut = text.find_last_of("\\/");
    if (cut == std::string::npos) return kErrInvalidParameter;
    std::string wildcard = text.substr(cut + 1);
    if (wildcard != "*.*" && wildcard != "*") return kErrInvalidParameter;  // not modelled
    Listing entries;
    entries.folder = text.substr(0, cut + 1);
    Parsed parsed;
    Node* dir = nullptr;
    SysError error = Find(entries.folder, &parsed, &dir);
    if (error == kErrFileNotFound) error = kErrPathNotFound;
    if (error != kSysOk) return error;
    if (!dir->folder) return kErrDirectory;
    if (!parsed.parts.empty()) entries.names = {".", ".."};
    for (const auto& child : dir->children) entries.names.push_back(child.first);
    if (!TakeEntry(entries, first)) return kErrFileNotFound;
    uintptr_t handle = W().nextHandle++;
    W().listings[handle] = entries;
    *listing = handle;
    return kSysOk;
}

SysError NextFolderEntry(FolderListing listing, FolderEntry* entry) {
    if (SysError error = Enter(Op::NextEntry, "")) return error;
    auto it = W().listings.find(listing);
    if (it == W().listings.end()) return kErrInvalidParameter;
    return TakeEntry(it->second, entry) ? kSysOk : kErrNoMoreFiles;
}

void EndFolderListing(FolderListing listing) { W().listings.erase(listing); }

static SysError OpenKey(const char* keyPath, UserKey* key) {
    uintptr_t handle = W().nextHandle++;
    W().openKeys[handle] = Fold(keyPath);
    *key = handle;
    return kSysOk;
}

SysError OpenUserKeyForRead(const char* keyPath, UserKey* key) {
    if (SysError error = Enter(Op::OpenKey, keyPath)) return error;
    if (!W().keys.count(Fold(keyPath))) return kErrFileNotFound;
    return OpenKey(keyPath, key);
}

SysError CreateUserKey(const char* keyPath, UserKey* key) {
    if (SysError error = Enter(Op::CreateKey, keyPath)) return error;
    MakeKey(W().keys, keyPath);
    return OpenKey(keyPath, key);
}

// The key `key` was opened on, or null when it is not open.
static Key* KeyOf(UserKey key) {
    auto handle = W().openKeys.find(key);
    return handle == W().openKeys.end() ? nullptr : &W().keys[handle->second];
}

SysError ReadKeyValue(UserKey key, const char* name, void* data, uint32_t* size) {
    if (SysError error = Enter(Op::ReadValue, name)) return error;
    Key* open = KeyOf(key);
    if (!open) return kErrInvalidParameter;
    auto& values = open->values;
    auto value = values.find(Fold(name));
    if (value == values.end()) return kErrFileNotFound;
    const std::string& bytes = value->second.second.data;
    uint32_t capacity = *size;
    *size = (uint32_t)bytes.size();
    if (bytes.size() > capacity) return kErrMoreData;
    memcpy(data, bytes.data(), bytes.size());
    return kSysOk;
}

SysError WriteKeyText(UserKey key, const char* name, const char* text) {
    if (SysError error = Enter(Op::WriteValue, name)) return error;
    Key* open = KeyOf(key);
    if (!open || strlen(name) > 255) return kErrInvalidParameter;
    open->values[Fold(name)] = {name, RegValue{kRegSz, std::string(text, strlen(text) + 1)}};
    return kSysOk;
}

SysError ReadKeyValueAt(UserKey key, uint32_t index, char* name, uint32_t nameSize, void* data, uint32_t* size) {
    if (SysError error = Enter(Op::EnumValue, "")) return error;
    Key* open = KeyOf(key);
    if (!open) return kErrInvalidParameter;
    auto& values = open->values;
    if (index >= values.size()) return kErrNoMoreItems;
    const auto& [valueName, value] = std::next(values.begin(), index)->second;
    uint32_t capacity = *size;
    *size = (uint32_t)value.data.size();
    if (valueName.size() >= nameSize || value.data.size() > capacity) return kErrMoreData;
    memcpy(name, valueName.c_str(), valueName.size() + 1);
    memcpy(data, value.data.data(), value.data.size());
    return kSysOk;
}

SysError DeleteKeyValue(UserKey key, const char* name) {
    if (SysError error = Enter(Op::DeleteValue, name)) return error;
    Key* open = KeyOf(key);
    if (!open) return kErrInvalidParameter;
    return open->values.erase(Fold(name)) ? kSysOk : kErrFileNotFound;
}

SysError FlushUserKey(UserKey key) {
    Key* open = KeyOf(key);
    if (SysError error = Enter(Op::FlushKey, open ? open->path : "")) return error;
    if (!open) return kErrInvalidParameter;
    if (!W().flushesIgnored) MakeKey(W().durable, open->path).values = open->values;
    return kSysOk;
}

void CloseUserKey(UserKey key) { W().openKeys.erase(key); }

static SysError CopyOut(const std::string& text, char* buffer, uint32_t size) {
    if (text.size() >= size) return kErrInsufficientBuffer;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return kSysOk;
}

SysError GetWindowsFolder(char* buffer, uint32_t size) {
    if (SysError error = Enter(Op::WindowsFolder, "")) return error;
    return CopyOut(W().windowsFolder, buffer, size);
}

SysError GetShortForm(const char* path, char* buffer, uint32_t size) {
    if (SysError error = Enter(Op::ShortForm, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    if (SysError error = Find(path, &parsed, &node)) return error;
    // The drive is kept as it was written; each entry gives its alias, or its own
    // name when that is already short.
    std::string text = std::string(path).substr(0, 2);
    Node* at = VolumeOf(parsed).root.get();
    for (const std::string& part : parsed.parts) {
        at = Child(at, part);
        text += "\\" + (at->shortName.empty() ? at->name : at->shortName);
    }
    if (parsed.parts.empty()) text += "\\";
    return CopyOut(text, buffer, size);
}

SysError WriteNewFile(const char* path, const void* data, uint32_t length) {
    if (SysError error = Enter(Op::WriteFile, path)) return error;
    Parsed parsed;
    Node* node = nullptr;
    Node* parent = nullptr;
    SysError error = Find(path, &parsed, &node, &parent);
    if (error != kSysOk && error != kErrFileNotFound) return error;
    if (parsed.parts.empty()) return kErrAccessDenied;
    if (SysError denied = Writable(parsed, node ? nullptr : parent)) return denied;
    if (node && (node->folder || (node->attributes & kAttrReadOnly))) return kErrAccessDenied;
    if (node && HeldOpen(node, false)) return kErrSharingViolation;
    if (!node) node = AddChild(parent, parsed.parts.back(), false);
    node->content.assign((const char*)data, length);
    node->attributes = kAttrArchive;
    node->lastWrite = KeptTime(parsed, Now());
    return kSysOk;
}

SysError StartHiddenCommand(const char* commandLine) {
    if (SysError error = Enter(Op::StartCommand, commandLine)) return error;
    W().commands.push_back(commandLine);
    return kSysOk;
}

// The UTF-8 text `wide` in the stand-in's code page, which holds U+0000 to U+00FF:
// false when a character outside it had to be given as "?".
static bool ToCodePage(const std::string& wide, std::string* out) {
    bool lossless = true;
    out->clear();
    for (size_t i = 0; i < wide.size();) {
        unsigned char c = (unsigned char)wide[i];
        uint32_t code = c;
        size_t width = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (width > 1) {
            code = c & (0x3F >> (width - 1));
            for (size_t k = 1; k < width && i + k < wide.size(); ++k) code = (code << 6) | (wide[i + k] & 0x3F);
        }
        i += width;
        if (code > 0xFF) {
            lossless = false;
            code = '?';
        }
        out->push_back((char)code);
    }
    return lossless;
}

SysError GetProgramPath(char* buffer, uint32_t size) {
    buffer[0] = '\0';
    if (SysError error = Enter(Op::ProgramPath, "")) return error;
    std::string ansi;
    bool lossless = ToCodePage(W().programPath, &ansi);
    if (lossless && ansi.size() < size) return CopyOut(ansi, buffer, size);
    if (W().programShortPath.empty() || !ToCodePage(W().programShortPath, &ansi)) {
        return lossless ? kErrInsufficientBuffer : kErrNoUnicodeTranslation;
    }
    return CopyOut(ansi, buffer, size);
}

const char* NextCharacter(const char* text) {
    unsigned char c = (unsigned char)*text;
    if (c == 0) return text;
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (W().doubleByte && lead && text[1] != '\0') return text + 2;
    return text + 1;
}

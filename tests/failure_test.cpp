// No file of the game is lost, whatever fails and wherever the setup stops: a full
// install is run once for every platform call with that call failing (with each error
// it can really return; a failing copy leaves a cut destination), and no cut file is
// left in the install folder; it is cut off after every call as a power failure
// would; and pairs of failing calls, and a failure followed by a power cut, are run
// too. The completion page means the whole download is installed. After each run a
// second one, as the player makes it with what the dialog proposes, finishes a
// stopped install, keeps a saved game when the removal list was already deleted, and
// changes nothing once nothing is left to move. Every sweep runs over the layouts a
// player may bring.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "test_support.h"

namespace {

const std::vector<std::string> kDataFiles = {"big.lev", "level1.dat", "sound.wav", "music.mid", "tiles.dat"};
const char kPendingKey[] = "Software\\Kestrova\\Zoppel\\Pending";

// The errors the platform calls can really return where the outcome may differ.
const SysError kErrors[] = {
    kErrFileNotFound, kErrPathNotFound, kErrAccessDenied,
    kErrDiskFull, kErrSharingViolation, kErrAlreadyExists,
};

// What a layout brings besides the download and the folder typed for it.
enum : uint32_t {
    kReinstall = 1,       // an earlier install in the folder: other, writable versions of the
                          // files, a read-only ZOPPEL.EXE, and the download's own README.DOC
                          // and sound.wav
    kFat = 2,             // D: is a FAT volume
    kInPlace = 4,         // the field names the download itself
    kOlderElsewhere = 8,  // an older install in D:\Zoppel, recorded, with a saved game
    kCd = 16,             // the download is on a read-only volume
    kNoGame = 32,         // the download lacks ZOPPEL.EXE
    kRecordFails = 64,    // the first run cannot flush the registry
    kOtherDownload = 128, // another download is installed into D:\Other before the second run
    kGameRunning = 256,   // the earlier install's game holds its level1.dat open until the
                          // second run
    kOtherDownloadHere = 512,  // another download is installed into the same folder instead
};

// A distribution the player brings, and the folder typed for it; `marked` gives files
// of the download (relative to it) attributes.
const uint32_t kReadOnly = memfs::kAttrReadOnly;
struct Layout {
    const char* name;
    std::string sourceDir;
    std::string field;
    uint32_t traits;
    std::vector<std::pair<std::string, uint32_t>> marked;
    bool Has(uint32_t trait) const { return (traits & trait) != 0; }
};

const Layout kLayouts[] = {
    // D:\Games is missing: the walk runs.
    {"a fresh folder", "E:\\SETUP", "D:\\Games\\Zoppel", 0, {}},
    {"over an earlier install, read-only README.TXT and big.lev", "E:\\SETUP", "D:\\Games\\Zoppel", kReinstall,
     {{"README.TXT", kReadOnly}, {"data\\big.lev", kReadOnly}}},
    {"read-only README.DOC, UNINSTAL.BAT and data", "E:\\SETUP", "D:\\Games\\Zoppel", 0,
     {{"README.DOC", kReadOnly}, {"UNINSTAL.BAT", kReadOnly}, {"data\\level1.dat", kReadOnly},
      {"data\\tiles.dat", kReadOnly}}},
    {"read-only ZOPPEL.EXE and data, hidden and system README.TXT", "E:\\SETUP", "D:\\Games\\Zoppel", 0,
     {{"ZOPPEL.EXE", kReadOnly}, {"data\\sound.wav", kReadOnly},
      {"README.TXT", memfs::kAttrHidden | memfs::kAttrSystem}}},
    {"onto FAT, read-only README.TXT and data", "E:\\SETUP", "D:\\Games\\Zoppel", kFat,
     {{"README.TXT", kReadOnly}, {"data\\music.mid", kReadOnly}}},
    // Typed in its short form and with a trailing backslash: every file is copied onto
    // itself, and the read-only and hidden ones must come out normal.
    {"from the install folder, typed D:\\Games\\ZOPPEL~1\\", "D:\\Games\\Zoppel Game", "D:\\Games\\ZOPPEL~1\\",
     kInPlace, {{"README.DOC", kReadOnly}, {"data\\sound.wav", memfs::kAttrHidden}}},
    {"elsewhere than an older, recorded install", "E:\\SETUP", "D:\\Games\\Zoppel", kOlderElsewhere, {}},
    {"from a CD over an earlier install", "E:\\SETUP", "D:\\Games\\Zoppel", kCd | kReinstall, {}},
    {"from a CD without ZOPPEL.EXE over an older install", "E:\\SETUP", "D:\\Zoppel", kCd | kNoGame | kOlderElsewhere,
     {}},
    {"without a flushed record", "E:\\SETUP", "D:\\Games\\Zoppel", kRecordFails, {}},
    {"another download installed before the second run", "E:\\SETUP", "D:\\Games\\Zoppel", kOtherDownload, {}},
    {"another download installed into the same folder before the second run", "E:\\SETUP", "D:\\Games\\Zoppel",
     kOtherDownloadHere, {}},
    {"over an earlier install whose game runs", "E:\\SETUP", "D:\\Games\\Zoppel", kReinstall | kGameRunning, {}},
    // 60 folders "a b", whose short form ("AB~1") is too long for a value name.
    {"too deep for a record", "E:" + [] { std::string s; for (int i = 0; i < 60; ++i) s += "\\a b"; return s; }(),
     "D:\\Games\\Zoppel", 0, {}},
};

// The game's files, relative to the download and to the install folder.
std::vector<std::string> GameFiles() {
    std::vector<std::string> files(std::begin(InstallList), std::end(InstallList));
    for (const std::string& name : kDataFiles) files.push_back("data\\" + name);
    return files;
}

// The files under `folder` now.
std::map<std::string, std::string> FilesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& file : memfs::Files()) {
        if (PathKey(file.first).rfind(PathKey(folder) + "\\", 0) == 0) files.insert(file);
    }
    return files;
}

struct InstallRun {
    const Layout* layout = nullptr;
    std::map<std::string, std::string> before;
    std::map<std::string, std::string> older;  // the older install's files
    std::optional<memfs::RegValue> location;    // the recorded install folder before the run
    bool dataFolderThere = false;   // whether the install folder had its data folder before
    uint64_t cutAt = 0;             // the call at which the power went off, if it did
    uintptr_t game = 0;             // the running game's hold on its data file
    std::set<std::string> guarded;  // the game files whose destination was read-only, hidden or system
    InstallUi ui;
    std::string Source(const std::string& file) const { return layout->sourceDir + "\\" + file; }
    std::string Destination(const std::string& file, const std::string& folder = "") const {
        return PathKey(folder.empty() ? layout->field : folder) + "\\" + file;
    }
    // The game file whose source or destination `path` is, or "".
    std::string FileOf(const std::string& path) const {
        for (const std::string& file : GameFiles()) {
            if (PathKey(path) == PathKey(Source(file)) || PathKey(path) == PathKey(Destination(file))) return file;
        }
        return "";
    }
    // Whether a failing copy onto `path`'s file changes nothing: it is already there.
    bool Held(const std::string& path) const { return layout->Has(kInPlace) && !FileOf(path).empty(); }
    bool StaysInSource(const std::string& file) const {
        for (const auto& [name, attributes] : layout->marked) {
            if (name == file && (attributes & kReadOnly)) return true;
        }
        return layout->Has(kCd | kInPlace);
    }
};

void Prepare(InstallRun* run, const Layout& layout) {
    FreshMachine(layout.sourceDir);
    memfs::SetVolumeFat('D', layout.Has(kFat));
    Distribution distribution;
    distribution.sourceDir = layout.sourceDir;
    distribution.dataFiles = kDataFiles;
    if (layout.Has(kNoGame)) distribution.without = "ZOPPEL.EXE";
    LayOut(distribution);
    // A subfolder, which keeps the data folder in the source.
    memfs::AddFile(layout.sourceDir + "\\data\\extra\\deep.dat", "never moved");
    for (const auto& [file, attributes] : layout.marked) {
        memfs::AddFile(layout.sourceDir + "\\" + file, ContentOf(file.substr(file.rfind('\\') + 1)), attributes);
    }
    for (const std::string& file : GameFiles()) {
        std::string at = layout.field + "\\" + file;
        if (!layout.Has(kReinstall)) continue;
        if (file == "README.DOC" || file == "data\\sound.wav") {
            memfs::AddCopy(layout.sourceDir + "\\" + file, at);
        } else {
            memfs::AddFile(at, "an earlier install's " + file, file == "ZOPPEL.EXE" ? kReadOnly : 0);
        }
    }
    if (layout.Has(kOlderElsewhere)) {
        for (const char* file : {"ZOPPEL.EXE", "README.TXT", "data\\level1.dat", "zoppel.sav"}) {
            memfs::AddFile(std::string("D:\\Zoppel\\") + file, std::string("an older install's ") + file);
        }
        memfs::SetRegistryValue(kRecordKey, "location", memfs::kRegSz, std::string("D:\\Zoppel", 10));
    }
    if (layout.Has(kCd)) memfs::SetVolumeReadOnly('E', true);
    if (layout.Has(kRecordFails)) memfs::FailOn(memfs::Op::FlushKey, "", kErrAccessDenied);
    if (layout.Has(kGameRunning)) run->game = memfs::HoldOpen(layout.field + "\\data\\level1.dat", false);
    run->layout = &layout;
    run->before = memfs::Files();
    run->older = FilesIn("D:\\Zoppel");
    run->location = memfs::RegistryValue(kRecordKey, "location");
    run->dataFolderThere = memfs::IsFolder(layout.field + "\\data");
    for (const std::string& file : GameFiles()) {
        uint32_t attributes = memfs::Attributes(run->Destination(file)).value_or(0);
        if (attributes & (kReadOnly | memfs::kAttrHidden | memfs::kAttrSystem)) run->guarded.insert(file);
    }
    // A failing copy leaves a cut destination, as one that runs out of room does.
    memfs::FailCopiesPartWay(true);
    run->ui = InstallUi();
    run->ui.directoryField = layout.field;
}

// The platform calls of the install without a failure, which finishes unless the
// download lacks a file.
std::vector<memfs::Call> ReferenceCalls(const Layout& layout) {
    InstallRun reference;
    Prepare(&reference, layout);
    RunInstall(&reference.ui);
    EXPECT_EQ(reference.ui.finished, !layout.Has(kNoGame | kGameRunning)) << layout.name;
    return memfs::Calls();
}

// Whether `file` is a data file the install keeps: big.lev is on the removal list.
bool KeptData(const std::string& file) { return file.rfind("data\\", 0) == 0 && file != "data\\big.lev"; }

// Whether a failure of `call` leaves data behind, which the box names at the end. A
// data folder said to exist that does not (a file of that name) takes no data file.
bool LeavesDataBehind(const InstallRun& run, const memfs::Call& call, SysError error) {
    bool dataFolderMissing = !run.dataFolderThere && PathKey(call.path) == PathKey(run.layout->field + "\\data");
    return (call.op == memfs::Op::CopyFile && KeptData(run.FileOf(call.path)) && !run.Held(call.path)) ||
           call.op == memfs::Op::NextEntry || call.op == memfs::Op::BeginListing ||
           (call.op == memfs::Op::MakeFolder && dataFolderMissing && error == kErrAlreadyExists);
}

// The boxes the user may see when `call` fails: a file that cannot be copied is named
// (unless it is already where it belongs, or the end deletes it), so is one whose file
// cannot be looked at after its copy failed onto itself; a data folder that cannot be
// listed is "data"; a folder that cannot be made is one of the two folder boxes; every
// other failure is silent. A download without ZOPPEL.EXE always stops there.
std::set<std::string> AllowedBoxes(const InstallRun& run, const memfs::Call& call, SysError error) {
    std::string named = "Could not copy " + call.path.substr(call.path.rfind('\\') + 1);
    std::set<std::string> boxes = {""};
    if (call.op == memfs::Op::CopyFile) {
        boxes = {run.Held(call.path) || run.FileOf(call.path) == "data\\big.lev" ? "" : named};
    }
    // So is a file a read-only file is in the way of, when that cannot be looked at or
    // made normal.
    bool guarded = run.guarded.count(run.FileOf(call.path)) > 0;
    if (call.op == memfs::Op::LookUp && (run.Held(call.path) || guarded)) boxes = {"", named};
    if (call.op == memfs::Op::ResetAttributes && guarded) boxes = {"", named};
    // A download that seems to lack one of the six files is not installed.
    std::string file = run.FileOf(call.path);
    if (call.op == memfs::Op::LookUp && PathKey(call.path) == PathKey(run.Source(file)) &&
        file.find('\\') == std::string::npos && (error == kErrFileNotFound || error == kErrPathNotFound)) {
        boxes = {"", named};
    }
    if (call.op == memfs::Op::BeginListing || call.op == memfs::Op::NextEntry ||
        (call.op == memfs::Op::LookUp && PathKey(call.path) == PathKey(run.Source("data")))) {
        boxes = {LeavesDataBehind(run, call, error) ? "Could not copy data" : ""};
    }
    if (call.op == memfs::Op::MakeFolder) {
        boxes = {"", "Could not create Zoppel directory.", "Could not create data directory.", "Could not copy level1.dat"};
    }
    if (run.layout->Has(kNoGame)) boxes.insert("Could not copy ZOPPEL.EXE");
    if (run.layout->Has(kGameRunning)) boxes.insert("Could not copy level1.dat");
    return boxes;
}

bool AnyCall(const std::vector<memfs::Call>& calls, memfs::Op op, const std::string& path) {
    return std::any_of(calls.begin(), calls.end(),
                       [&](const memfs::Call& call) { return call.op == op && PathKey(call.path) == PathKey(path); });
}

// After a run that finished into `folder`: every file of the download whole and normal
// there, byte for byte the download's (but where a reset of it was among the `failing`
// calls, or the listing of the data folder and the look-up of it both failed), and
// nothing left in the download but what cannot be deleted there or a run that only
// copied left.
void ExpectInstalled(const InstallRun& run, const std::string& folder, const std::vector<memfs::Call>& failing,
                     const std::string& where) {
    bool noData = std::any_of(failing.begin(), failing.end(),
                              [](const memfs::Call& call) { return call.op == memfs::Op::BeginListing; }) &&
                  AnyCall(failing, memfs::Op::LookUp, run.Source("data"));
    bool copiedOnly = gSetup.record != RecordHere;
    for (const std::string& file : GameFiles()) {
        std::string at = run.Destination(file, folder);
        if (noData && file.rfind("data\\", 0) == 0) continue;
        // big.lev, on the removal list, is never left installed.
        EXPECT_TRUE(file != "data\\big.lev" || !memfs::Exists(at) || AnyCall(failing, memfs::Op::DeleteFile, at) ||
                    AnyCall(failing, memfs::Op::ResetAttributes, at))
            << where;
        if (file != "data\\big.lev") {
            EXPECT_EQ(memfs::ReadFile(at), run.before.at(run.Source(file))) << where << ": " << file;
            EXPECT_TRUE(AnyCall(failing, memfs::Op::ResetAttributes, at) || memfs::Attributes(at) == 0u)
                << where << ": attributes of " << file;
        }
        EXPECT_TRUE(!memfs::Exists(run.Source(file)) || run.StaysInSource(file) || copiedOnly ||
                    AnyCall(failing, memfs::Op::DeleteFile, run.Source(file)) ||
                    AnyCall(failing, memfs::Op::CopyFile, run.Source(file)) || AnyCall(failing, memfs::Op::FlushFile, at))
            << where << ": left " << file;
    }
}

// Another download, installed into `folder`.
void InstallAnotherDownload(const std::string& folder) {
    NewProcess("E:\\OTHER");
    for (const std::string& file : GameFiles()) memfs::AddFile("E:\\OTHER\\" + file, "another download's " + file);
    InstallUi ui;
    ui.directoryField = folder;
    RunInstall(&ui);
    EXPECT_TRUE(ui.finished);
}

// A new run of the setup from the download of `run`, into `field`.
void Rerun(InstallRun* run, const std::string& field) {
    NewProcess(run->layout->sourceDir);
    run->ui = InstallUi();
    run->ui.directoryField = field;
    RunInstall(&run->ui);
}

// Runs the setup again as the player does after a stop: a new process, the same
// download, the machine as the first run left it (the registry as it was last
// flushed, after a power cut), and the folder the dialog proposes. A stopped move
// (its record there) is resumed and finished, keeping a saved game made meanwhile if
// the first run deleted the removal list; a download still whole is installed where proposed;
// otherwise the first run must have finished, and the second stops with its box and
// changes nothing. A download moved in part without a record is a dead end.
enum SecondRun { kResumed, kInstalledAnew, kStopped, kTyped, kSecondRunCount };
SecondRun RunAgain(InstallRun* run, const std::string& where, const std::vector<memfs::Call>& failing = {}) {
    const Layout& layout = *run->layout;
    const bool firstFinished = run->ui.finished;
    memfs::ClearFailures();
    memfs::FailCopiesPartWay(false);
    char name[kPathSize];
    std::optional<memfs::RegValue> record;
    if (GetShortForm(layout.sourceDir.c_str(), name, sizeof name) == kSysOk) {
        record = memfs::RegistryValue(kPendingKey, name);
    }
    // Whether the first run, moving by its record, deleted the removal list while the
    // power was on.
    bool listDeleted = false, recorded = gSetup.record == RecordHere;
    for (size_t i = 0; i < memfs::Calls().size() && (run->cutAt == 0 || i + 1 < run->cutAt); ++i) {
        listDeleted = listDeleted || (memfs::Calls()[i].op == memfs::Op::DeleteFile &&
                                      PathKey(memfs::Calls()[i].path) == PathKey(run->Destination("zoppel.sav")));
    }
    bool whole = true;
    for (const std::string& file : GameFiles()) {
        auto source = run->before.find(run->Source(file));
        whole = whole && (file == "data\\big.lev" || source == run->before.end() ||
                          memfs::ReadFile(source->first) == source->second);
    }
    // The clock is moved two hours (on FAT every time moves with it).
    memfs::ShiftTimes('D', 72000000000);
    // The first run never changes an older install: it goes elsewhere, or stops at once.
    EXPECT_EQ(FilesIn("D:\\Zoppel"), run->older) << where;
    if (layout.Has(kOtherDownload | kOtherDownloadHere)) {
        InstallAnotherDownload(layout.Has(kOtherDownload) ? "D:\\Other" : layout.field);
        record = memfs::RegistryValue(kPendingKey, name);  // a move into the folder it changed is over
    }
    memfs::CloseHeld(run->game);  // the player quits the game
    // The player has played meanwhile.
    const std::string savedGame = run->Destination("zoppel.sav");
    if (!layout.Has(kInPlace) && !memfs::Exists(savedGame)) memfs::AddFile(savedGame, "a saved game");
    const std::optional<std::string> saved = memfs::ReadFile(savedGame);
    std::string proposal = Proposal(layout.sourceDir);
    // An empty field (a record key left without a location) the player fills in.
    SecondRun kind = record ? kResumed : whole && !layout.Has(kNoGame) ? kInstalledAnew : kStopped;
    if (proposal.empty()) {
        EXPECT_NE(kind, kResumed) << where;
        proposal = layout.field;
        kind = kind == kInstalledAnew ? kTyped : kind;
    }
    const std::map<std::string, std::string> installed = FilesIn(proposal);
    Rerun(run, proposal);
    std::string again = where + ", then a second run into " + proposal;
    // A file may have gone to the first run's folder or to the second's (unless another
    // download's install replaced it there).
    std::vector<std::string> lost, there = LostFiles(run->before, layout.sourceDir, layout.field),
                                   here = LostFiles(run->before, layout.sourceDir, proposal);
    std::set_intersection(there.begin(), there.end(), here.begin(), here.end(), std::back_inserter(lost));
    EXPECT_TRUE(lost.empty() || layout.Has(kOtherDownloadHere)) << again << ": lost " << lost[0];
    if (kind == kResumed) {
        EXPECT_EQ(proposal, layout.field) << again;
        EXPECT_TRUE(run->ui.finished) << again << ": a dead end, " << (run->ui.errors.empty() ? "" : run->ui.errors[0]);
        if (listDeleted && recorded) {
            EXPECT_EQ(memfs::ReadFile(savedGame), saved) << again;
        }
    } else if (kind != kStopped) {
        EXPECT_TRUE(run->ui.finished) << again << ": " << (run->ui.errors.empty() ? "" : run->ui.errors[0]);
    } else {
        EXPECT_TRUE(firstFinished || layout.Has(kNoGame | kOtherDownloadHere)) << again << ": a dead end";
        EXPECT_EQ(run->ui.errors.size(), 1u) << again;
        EXPECT_EQ(FilesIn(proposal), installed) << again;
    }
    if (run->ui.finished) ExpectInstalled(*run, proposal, failing, again);
    // An older install elsewhere is touched only by a run into it.
    if (PathKey(proposal) != PathKey("D:\\Zoppel")) {
        EXPECT_EQ(FilesIn("D:\\Zoppel"), run->older) << again;
    }
    return kind;
}

std::string Describe(const std::vector<memfs::Call>& calls, size_t n, SysError error) {
    return "call " + std::to_string(n) + " (" + memfs::OpName(calls[n - 1].op) + " " + calls[n - 1].path +
           ") failing with " + std::to_string(error);
}

std::string SecondRuns(const size_t (&n)[kSecondRunCount]) {
    return "second runs: " + std::to_string(n[kResumed]) + " resumed and finished, " + std::to_string(n[kInstalledAnew]) +
           " installed anew (" + std::to_string(n[kTyped]) + " more into a folder typed), " + std::to_string(n[kStopped]) +
           " stopped with a box, changing nothing";
}

// A cut file may stay where one of the failing calls was the look-up, delete or reset
// of it (or the look-up of its source) that would have removed it.
bool CutMayStay(const InstallRun& run, const std::string& cut, const std::vector<memfs::Call>& failing) {
    return std::any_of(failing.begin(), failing.end(), [&](const memfs::Call& call) {
        return (call.op == memfs::Op::LookUp || call.op == memfs::Op::DeleteFile ||
                call.op == memfs::Op::ResetAttributes) && !run.FileOf(cut).empty() &&
               run.FileOf(call.path) == run.FileOf(cut);
    });
}

// Checks a run with the `failing` calls (and their `errors`) and returns its box, if
// any: no file lost, no cut file that passes for installed, at most one box of those
// the failures allow, and no key or listing left open. Without a box it finished,
// every file installed, its location recorded unless writing that failed; a box ends
// the setup, after the record only when data stayed behind.
std::string CheckRun(const InstallRun& run, const std::vector<memfs::Call>& failing,
                     const std::vector<SysError>& errors, const std::string& where) {
    const Layout& layout = *run.layout;
    EXPECT_EQ(LostFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{}) << where;
    for (const std::string& cut : CutFiles(run.before, layout.sourceDir, layout.field)) {
        EXPECT_TRUE(CutMayStay(run, cut, failing) && !run.ui.finished) << where << ": " << cut;
    }
    EXPECT_EQ(memfs::OpenHandles(), 0) << where;
    EXPECT_LE(run.ui.errors.size(), 1u) << where;
    std::string box = run.ui.errors.empty() ? "" : run.ui.errors[0];
    std::set<std::string> allowed;
    bool late = false, recordFailing = false;
    for (size_t i = 0; i < failing.size(); ++i) {
        allowed.merge(AllowedBoxes(run, failing[i], errors[i]));
        late = late || LeavesDataBehind(run, failing[i], errors[i]) ||
               (failing[i].op == memfs::Op::LookUp && KeptData(run.FileOf(failing[i].path)));
        recordFailing = recordFailing || failing[i].op == memfs::Op::CreateKey || failing[i].op == memfs::Op::WriteValue;
    }
    EXPECT_TRUE(allowed.count(box)) << where << ": \"" << box << "\"";
    late = late || (layout.Has(kGameRunning) && box == "Could not copy level1.dat");
    EXPECT_EQ(run.ui.finished, box.empty()) << where;
    EXPECT_EQ(run.ui.ended, !box.empty()) << where;
    EXPECT_EQ(gSetup.stage, box.empty() ? StageFinished : StageCollecting) << where;
    auto location = memfs::RegistryValue(kRecordKey, "location");
    bool recordWritten = location && location->data == layout.field + std::string(1, '\0') &&
                         (!run.location || run.location->data != location->data);
    if (box.empty()) {
        EXPECT_EQ(gSetup.busyCount, 0) << where;
        EXPECT_TRUE(recordWritten || recordFailing) << where;
        ExpectInstalled(run, layout.field, failing, where);
    } else if (late) {
        EXPECT_TRUE(recordWritten || recordFailing) << where;
        EXPECT_EQ(run.ui.events.end()[-3] + "|" + std::to_string(gSetup.busyCount), "status |1") << where;
    } else {
        EXPECT_FALSE(recordWritten) << where;
    }
    return box;
}

TEST(FailureInjection, EveryFailingCallKeepsEveryFileAndShowsWhatItShould) {
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        ASSERT_GT(calls.size(), layout.Has(kNoGame) ? 5u : 40u) << layout.name;

        size_t runs = 0, boxes = 0, second[kSecondRunCount] = {};
        for (size_t n = 1; n <= calls.size(); ++n) {
            for (SysError error : kErrors) {
                InstallRun run;
                Prepare(&run, layout);
                memfs::FailCall(n, error);
                RunInstall(&run.ui);
                ++runs;
                std::string where = std::string(layout.name) + ", " + Describe(calls, n, error);
                // The run is the reference one up to the failing call.
                ASSERT_GE(memfs::Calls().size(), n) << where;
                ASSERT_EQ(memfs::Calls()[n - 1].op, calls[n - 1].op) << where;

                boxes += !CheckRun(run, {calls[n - 1]}, {error}, where).empty();
                ++second[RunAgain(&run, where, {calls[n - 1]})];
            }
        }
        std::cout << "failure injection, " << layout.name << ": " << calls.size() << " calls x " << std::size(kErrors)
                  << " errors = " << runs << " runs, " << boxes << " ended with a box, no file lost; "
                  << SecondRuns(second) << "\n";
    }
}

TEST(FailureInjection, PowerCutAnywhereLosesNothingAndASecondRunFinishes) {
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        // A cut at the start of call n leaves what the calls before it did; a cut inside
        // a copy leaves its cut destination as well. The last cut comes after every call.
        size_t points = 0, insideCopies = 0, second[kSecondRunCount] = {};
        for (size_t n = 1; n <= calls.size() + 1; ++n) {
            bool copy = n <= calls.size() && calls[n - 1].op == memfs::Op::CopyFile;
            for (bool inside : {false, true}) {
                if (inside && !copy) continue;
                InstallRun run;
                Prepare(&run, layout);
                memfs::FailCopiesPartWay(inside);
                memfs::CutPowerAt(run.cutAt = n);
                RunInstall(&run.ui);
                std::string where = std::string(layout.name) + ", power cut " + (inside ? "inside" : "at") + " call " +
                                    std::to_string(n);
                EXPECT_EQ(LostFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{}) << where;
                // A copy in progress always has its whole source beside it.
                if (inside) {
                    EXPECT_EQ(memfs::ReadFile(calls[n - 1].path), run.before.at(calls[n - 1].path)) << where;
                }
                ++second[RunAgain(&run, where)];
                ++(inside ? insideCopies : points);
            }
        }
        ASSERT_TRUE(insideCopies > 4 || layout.Has(kNoGame)) << layout.name;
        std::cout << "power cuts, " << layout.name << ": " << points << " points after a call and " << insideCopies
                  << " inside a copy lose nothing; " << SecondRuns(second) << "\n";
    }
}

TEST(FailureInjection, OnlyTheFlushedRecordOutlastsAPowerCut) {
    // The power goes off right after the first source is deleted. Without the flush
    // before it, the record is gone with the power, and the install cannot be finished.
    for (bool flushes : {true, false}) {
        InstallRun run;
        Prepare(&run, kLayouts[0]);
        memfs::IgnoreFlushes(!flushes);
        bool cut = false;
        memfs::ObserveCalls([&cut](uint64_t n, const memfs::Call& call) {
            if (!cut && call.op == memfs::Op::DeleteFile) memfs::CutPowerAt(n + 1);
            cut = cut || call.op == memfs::Op::DeleteFile;
        });
        RunInstall(&run.ui);
        memfs::ObserveCalls(nullptr);
        memfs::ClearFailures();
        memfs::IgnoreFlushes(false);
        Rerun(&run, Proposal(kLayouts[0].sourceDir));
        EXPECT_EQ(run.ui.errors, flushes ? std::vector<std::string>{} : std::vector<std::string>{"Could not copy ZOPPEL.EXE"});
    }
}

// Two faults in one run: the first failing call, then a later one (numbered in the run
// as the first failure leaves it), or a power cut at a later point. `make test` runs
// every 23rd of them; ZOPPEL_ALL_PAIRS=1 (make sweep) runs them all.
struct FaultPair {
    SysError first;
    SysError second;       // 0: the power goes off instead
    bool copyThenCleanUp;  // only a copy, then a delete or attribute reset after it
};
const FaultPair kFaultPairs[] = {
    {kErrDiskFull, kErrAccessDenied, false}, {kErrSharingViolation, kErrFileNotFound, false},
    {kErrDiskFull, kErrDiskFull, false},     {kErrDiskFull, kErrSharingViolation, true},
    {kErrDiskFull, 0, false},                {kErrSharingViolation, 0, false},
};

TEST(FailureInjection, EveryPairOfFaultsKeepsEveryFileAndASecondRunFinishes) {
    const char* all = getenv("ZOPPEL_ALL_PAIRS");
    const size_t stride = all && strcmp(all, "1") == 0 ? 1 : 23;
    size_t candidate = 0;
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        size_t runs = 0, cuts = 0, boxes = 0, second[kSecondRunCount] = {};
        for (size_t n1 = 1; n1 <= calls.size(); ++n1) {
            std::map<SysError, std::vector<memfs::Call>> after;  // the calls with only n1 failing
            for (const FaultPair& pair : kFaultPairs) {
                if (pair.copyThenCleanUp && calls[n1 - 1].op != memfs::Op::CopyFile) continue;
                if (!after.count(pair.first)) {
                    InstallRun single;
                    Prepare(&single, layout);
                    memfs::FailCall(n1, pair.first);
                    RunInstall(&single.ui);
                    after[pair.first] = memfs::Calls();
                }
                const std::vector<memfs::Call>& later = after[pair.first];
                for (size_t n2 = n1 + 1; n2 <= later.size(); ++n2) {
                    memfs::Op op2 = later[n2 - 1].op;
                    bool cleanUp = op2 == memfs::Op::DeleteFile || op2 == memfs::Op::ResetAttributes;
                    if ((pair.copyThenCleanUp && !cleanUp) || candidate++ % stride != 0) continue;
                    InstallRun run;
                    Prepare(&run, layout);
                    memfs::FailCall(n1, pair.first);
                    pair.second ? memfs::FailCall(n2, pair.second) : memfs::CutPowerAt(run.cutAt = n2);
                    RunInstall(&run.ui);
                    std::string where = std::string(layout.name) + ", " + Describe(calls, n1, pair.first) + ", then " +
                                        (pair.second ? Describe(later, n2, pair.second)
                                                     : "a power cut at call " + std::to_string(n2));
                    ++(pair.second ? runs : cuts);
                    if (pair.second) {
                        boxes += !CheckRun(run, {calls[n1 - 1], later[n2 - 1]}, {pair.first, pair.second}, where).empty();
                    } else {
                        EXPECT_EQ(LostFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{})
                            << where;
                    }
                    ++second[RunAgain(&run, where, {calls[n1 - 1], later[n2 - 1]})];
                }
            }
        }
        std::cout << "pairs of faults, " << layout.name << ": " << runs << " runs with two failing calls (" << boxes
                  << " ended with a box) and " << cuts << " with a failure, then a power cut, no file lost; "
                  << SecondRuns(second) << "\n";
    }
}

}  // namespace

// No file of the game is lost, whatever fails and wherever the setup stops: a full
// install is run once for every platform call with that call failing (with each error
// it can really return; a failing copy leaves a cut destination), and no cut file is
// left in the install folder; it is cut off after every call as a power failure
// would; and pairs of failing calls, and a failure followed by a power cut, are run
// too. After each, a second run, as the player makes it, finishes the install unless
// nothing was left to move, in which case it changes nothing. Every sweep runs over
// the layouts a player may bring: a fresh folder, an earlier install, read-only files
// in the download, an install onto FAT, and the setup run from its install folder.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "test_support.h"

namespace {

const std::vector<std::string> kDataFiles = {"big.lev", "level1.dat", "sound.wav", "music.mid", "tiles.dat"};

// The errors the platform calls can really return where the outcome may differ.
const SysError kErrors[] = {
    kErrFileNotFound, kErrPathNotFound, kErrAccessDenied,
    kErrDiskFull, kErrSharingViolation, kErrAlreadyExists,
};

// A distribution the player brings, and the folder typed for it. On a reinstall the
// install folder holds an earlier install: other, writable versions of the files, but
// a read-only ZOPPEL.EXE and, for README.DOC and sound.wav, the download's own. `marked`
// gives files of the download (relative to it) attributes; with `fat`, D: is a FAT
// volume; `inPlace` says the field names the download itself.
const uint32_t kReadOnly = memfs::kAttrReadOnly;
struct Layout {
    const char* name;
    std::string sourceDir;
    std::string field;
    bool reinstall;
    std::vector<std::pair<std::string, uint32_t>> marked;
    bool fat;
    bool inPlace;
};

const Layout kLayouts[] = {
    // D:\Games is missing: the walk runs.
    {"a fresh folder", "E:\\SETUP", "D:\\Games\\Zoppel", false, {}, false, false},
    {"over an earlier install, read-only README.TXT and big.lev", "E:\\SETUP", "D:\\Games\\Zoppel", true,
     {{"README.TXT", kReadOnly}, {"data\\big.lev", kReadOnly}}, false, false},
    {"read-only README.DOC, UNINSTAL.BAT and data", "E:\\SETUP", "D:\\Games\\Zoppel", false,
     {{"README.DOC", kReadOnly}, {"UNINSTAL.BAT", kReadOnly}, {"data\\level1.dat", kReadOnly},
      {"data\\tiles.dat", kReadOnly}}, false, false},
    {"read-only ZOPPEL.EXE and data, hidden and system README.TXT", "E:\\SETUP", "D:\\Games\\Zoppel", false,
     {{"ZOPPEL.EXE", kReadOnly}, {"data\\sound.wav", kReadOnly},
      {"README.TXT", memfs::kAttrHidden | memfs::kAttrSystem}}, false, false},
    {"onto FAT, read-only README.TXT and data", "E:\\SETUP", "D:\\Games\\Zoppel", false,
     {{"README.TXT", kReadOnly}, {"data\\music.mid", kReadOnly}}, true, false},
    // Typed in its short form and with a trailing backslash: every file is copied onto
    // itself, and the read-only and hidden ones must come out normal.
    {"from the install folder, typed D:\\Games\\ZOPPEL~1\\", "D:\\Games\\Zoppel Game", "D:\\Games\\ZOPPEL~1\\", false,
     {{"README.DOC", kReadOnly}, {"data\\sound.wav", memfs::kAttrHidden}}, false, true},
};

// The game's files, relative to the download and to the install folder.
std::vector<std::string> GameFiles() {
    std::vector<std::string> files(std::begin(InstallList), std::end(InstallList));
    for (const std::string& name : kDataFiles) files.push_back("data\\" + name);
    return files;
}

struct InstallRun {
    const Layout* layout = nullptr;
    std::map<std::string, std::string> before;
    std::set<std::string> guarded;  // the game files whose destination was read-only, hidden or system
    InstallUi ui;
    std::string Source(const std::string& file) const { return layout->sourceDir + "\\" + file; }
    std::string Destination(const std::string& file) const { return PathKey(layout->field) + "\\" + file; }
    // The game file whose source or destination `path` is, or "".
    std::string FileOf(const std::string& path) const {
        for (const std::string& file : GameFiles()) {
            if (PathKey(path) == PathKey(Source(file)) || PathKey(path) == PathKey(Destination(file))) return file;
        }
        return "";
    }
    // Whether a failing copy onto `path`'s file changes nothing: it is already there.
    bool Held(const std::string& path) const { return layout->inPlace && !FileOf(path).empty(); }
    bool LeftReadOnly(const std::string& file) const {
        for (const auto& [name, attributes] : layout->marked) {
            if (name == file && (attributes & kReadOnly)) return true;
        }
        return false;
    }
};

void Prepare(InstallRun* run, const Layout& layout) {
    FreshMachine(layout.sourceDir);
    memfs::SetVolumeFat('D', layout.fat);
    Distribution distribution;
    distribution.sourceDir = layout.sourceDir;
    distribution.dataFiles = kDataFiles;
    LayOut(distribution);
    // A subfolder, which keeps the data folder in the source.
    memfs::AddFile(layout.sourceDir + "\\data\\extra\\deep.dat", "never moved");
    for (const auto& [file, attributes] : layout.marked) {
        memfs::AddFile(layout.sourceDir + "\\" + file, ContentOf(file.substr(file.rfind('\\') + 1)), attributes);
    }
    for (const std::string& file : GameFiles()) {
        std::string at = layout.field + "\\" + file;
        if (!layout.reinstall) continue;
        if (file == "README.DOC" || file == "data\\sound.wav") {
            memfs::AddCopy(layout.sourceDir + "\\" + file, at);
        } else {
            memfs::AddFile(at, "an earlier install's " + file, file == "ZOPPEL.EXE" ? kReadOnly : 0);
        }
    }
    run->layout = &layout;
    run->before = memfs::Files();
    for (const std::string& file : GameFiles()) {
        uint32_t attributes = memfs::Attributes(run->Destination(file)).value_or(0);
        if (attributes & (kReadOnly | memfs::kAttrHidden | memfs::kAttrSystem)) run->guarded.insert(file);
    }
    // A failing copy leaves a cut destination, as one that runs out of room does.
    memfs::FailCopiesPartWay(true);
    run->ui = InstallUi();
    run->ui.directoryField = layout.field;
}

// The platform calls of the install without a failure, which finishes.
std::vector<memfs::Call> ReferenceCalls(const Layout& layout) {
    InstallRun reference;
    Prepare(&reference, layout);
    RunInstall(&reference.ui);
    EXPECT_TRUE(reference.ui.finished) << layout.name;
    return memfs::Calls();
}

// Whether a failure of `call` leaves data behind, which the box names at the end. A
// data folder said to exist that does not (a file of that name) takes no data file.
bool LeavesDataBehind(const InstallRun& run, const memfs::Call& call, SysError error) {
    bool dataFolderMissing = !run.layout->reinstall && !run.layout->inPlace &&
                             PathKey(call.path) == PathKey(run.layout->field + "\\data");
    return (call.op == memfs::Op::CopyFile && run.FileOf(call.path).rfind("data\\", 0) == 0 && !run.Held(call.path)) ||
           call.op == memfs::Op::NextEntry ||
           (call.op == memfs::Op::BeginListing && error != kErrFileNotFound && error != kErrPathNotFound) ||
           (call.op == memfs::Op::MakeFolder && dataFolderMissing && error == kErrAlreadyExists);
}

// The boxes the user may see when `call` fails: a file that cannot be copied is named
// (unless it is already where it belongs), so is one whose file cannot be looked at
// after its copy failed onto itself; a data folder that cannot be listed is "data"; a
// folder that cannot be made is one of the two folder boxes; every other failure is
// silent.
std::set<std::string> AllowedBoxes(const InstallRun& run, const memfs::Call& call, SysError error) {
    std::string named = "Could not copy " + call.path.substr(call.path.rfind('\\') + 1);
    if (call.op == memfs::Op::CopyFile) return {run.Held(call.path) ? "" : named};
    // So is a file a read-only file is in the way of, when that cannot be looked at or
    // made normal.
    bool guarded = run.guarded.count(run.FileOf(call.path)) > 0;
    if (call.op == memfs::Op::LookUp && (run.Held(call.path) || guarded)) return {"", named};
    if (call.op == memfs::Op::ResetAttributes && guarded) return {"", named};
    if (call.op == memfs::Op::BeginListing || call.op == memfs::Op::NextEntry) {
        return {LeavesDataBehind(run, call, error) ? "Could not copy data" : ""};
    }
    if (call.op == memfs::Op::MakeFolder) {
        return {"", "Could not create Zoppel directory.", "Could not create data directory.", "Could not copy big.lev"};
    }
    return {""};
}

// After a run that finished: every file whole and normal in the install folder, and
// nothing left in the download but what cannot be deleted there (but where resetting
// or deleting that file was among the `failing` calls, or a listing of the data folder
// that says there is none).
void ExpectInstalled(const InstallRun& run, const std::vector<memfs::Call>& failing, const std::string& where) {
    auto failed = [&](memfs::Op op, const std::string& path) {
        return std::any_of(failing.begin(), failing.end(),
                           [&](const memfs::Call& call) { return call.op == op && PathKey(call.path) == PathKey(path); });
    };
    bool noData = std::any_of(failing.begin(), failing.end(),
                              [](const memfs::Call& call) { return call.op == memfs::Op::BeginListing; });
    for (const std::string& file : GameFiles()) {
        std::string at = run.Destination(file);
        if (noData && file.rfind("data\\", 0) == 0) continue;
        if (file != "data\\big.lev") {  // on the removal list
            EXPECT_EQ(memfs::ReadFile(at), run.before.at(run.Source(file))) << where << ": " << file;
            EXPECT_TRUE(failed(memfs::Op::ResetAttributes, at) || memfs::Attributes(at) == 0u)
                << where << ": attributes of " << file;
        }
        EXPECT_TRUE(!memfs::Exists(run.Source(file)) || run.LeftReadOnly(file) || run.layout->inPlace ||
                    failed(memfs::Op::DeleteFile, run.Source(file)))
            << where << ": left " << file;
    }
}

std::map<std::string, std::string> InstallFolder(const InstallRun& run) {
    std::map<std::string, std::string> files;
    for (const auto& file : memfs::Files()) {
        if (PathKey(file.first).rfind(PathKey(run.layout->field) + "\\", 0) == 0) files.insert(file);
    }
    return files;
}

// Runs the setup again as the player does after a stop: a new process, the same
// source and install folders, the machine as the first run left it. With something
// left to move it finishes, every file whole and normal in the install folder (but one
// whose attribute reset was among the first run's `failing` calls) and nothing left in
// the download but what cannot be deleted there; with nothing left (every file the
// download still holds already installed) it stops at the first file gone from the
// download and changes nothing in the install folder.
enum SecondRun { kFinished, kNothingLeft };
SecondRun RunAgain(InstallRun* run, const std::string& where, const std::vector<memfs::Call>& failing = {}) {
    const Layout& layout = *run->layout;
    bool more = layout.inPlace;
    std::string firstGone;
    for (const std::string& file : GameFiles()) {
        std::optional<std::string> source = memfs::ReadFile(run->Source(file));
        // big.lev, on the removal list, is never left installed: never anything to move.
        more = more || (source && file != "data\\big.lev" && source != memfs::ReadFile(run->Destination(file)));
        if (firstGone.empty() && !source && file.find('\\') == std::string::npos) firstGone = file;
    }
    // The player has played meanwhile: a run that changes nothing keeps the saved game.
    if (!layout.inPlace) memfs::AddFile(run->Destination("zoppel.sav"), "a saved game");
    const std::map<std::string, std::string> installed = InstallFolder(*run);
    memfs::ClearFailures();
    memset(&gSetup, 0, sizeof gSetup);
    snprintf(gSetup.sourceDir, kPathSize, "%s", layout.sourceDir.c_str());
    run->ui = InstallUi();
    run->ui.directoryField = layout.field;
    RunInstall(&run->ui);
    std::string again = where + ", then a second run";
    EXPECT_EQ(LostFiles(run->before, layout.sourceDir, layout.field), std::vector<std::string>{}) << again;
    if (!more) {
        EXPECT_EQ(run->ui.errors, std::vector<std::string>{"Could not copy " + firstGone}) << again;
        EXPECT_EQ(InstallFolder(*run), installed) << again;
        return kNothingLeft;
    }
    EXPECT_TRUE(run->ui.finished) << again << ": " << (run->ui.errors.empty() ? "" : run->ui.errors[0]);
    EXPECT_TRUE(memfs::RegistryValue(kRecordKey, "location").has_value()) << again;
    ExpectInstalled(*run, failing, again);
    return kFinished;
}

std::string Describe(const std::vector<memfs::Call>& calls, size_t n, SysError error) {
    return "call " + std::to_string(n) + " (" + memfs::OpName(calls[n - 1].op) + " " + calls[n - 1].path +
           ") failing with " + std::to_string(error);
}

TEST(FailureInjection, EveryFailingCallKeepsEveryFileAndShowsWhatItShould) {
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        ASSERT_GT(calls.size(), 40u) << layout.name;

        size_t runs = 0, boxes = 0, second[2] = {};
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

                EXPECT_EQ(LostFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{}) << where;
                EXPECT_EQ(CutFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{}) << where;
                EXPECT_EQ(memfs::OpenHandles(), 0) << where;
                ASSERT_LE(run.ui.errors.size(), 1u) << where;
                std::string box = run.ui.errors.empty() ? "" : run.ui.errors[0];
                EXPECT_TRUE(AllowedBoxes(run, calls[n - 1], error).count(box)) << where << ": \"" << box << "\"";
                bool recordWritten = memfs::RegistryValue(kRecordKey, "location").has_value();
                if (box.empty()) {
                    // Silent failures end on the completion page, the record written
                    // unless writing it was what failed.
                    EXPECT_TRUE(run.ui.finished) << where;
                    EXPECT_FALSE(run.ui.ended) << where;
                    EXPECT_EQ(gSetup.busyCount, 0) << where;
                    memfs::Op op = calls[n - 1].op;
                    EXPECT_TRUE(recordWritten || op == memfs::Op::CreateKey || op == memfs::Op::WriteValue) << where;
                    ExpectInstalled(run, {calls[n - 1]}, where);
                } else {
                    ++boxes;
                    EXPECT_TRUE(run.ui.ended) << where;
                    EXPECT_FALSE(run.ui.finished) << where;
                    EXPECT_EQ(gSetup.stage, StageCollecting) << where;
                    // Data left behind is told at the end, after the record, and the
                    // setup ends as any stopped install does.
                    bool late = LeavesDataBehind(run, calls[n - 1], error) ||
                                (calls[n - 1].op == memfs::Op::LookUp && run.FileOf(calls[n - 1].path).rfind("data\\", 0) == 0);
                    EXPECT_EQ(recordWritten, late) << where;
                    if (late) {
                        EXPECT_EQ(run.ui.events.end()[-3] + "|" + std::to_string(gSetup.busyCount), "status |1")
                            << where;
                    }
                }
                ++second[RunAgain(&run, where)];
            }
        }
        std::cout << "failure injection, " << layout.name << ": " << calls.size() << " calls x " << std::size(kErrors)
                  << " errors = " << runs << " runs, " << boxes << " ended with a box, no file lost; second runs: "
                  << second[kFinished] << " finished, " << second[kNothingLeft] << " had nothing left to move\n";
    }
}

TEST(FailureInjection, PowerCutAnywhereLosesNothingAndASecondRunFinishes) {
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        // A cut at the start of call n leaves what the calls before it did; a cut inside
        // a copy leaves its cut destination as well. The last cut comes after every call.
        size_t points = 0, insideCopies = 0, second[2] = {};
        for (size_t n = 1; n <= calls.size() + 1; ++n) {
            bool copy = n <= calls.size() && calls[n - 1].op == memfs::Op::CopyFile;
            for (bool inside : {false, true}) {
                if (inside && !copy) continue;
                InstallRun run;
                Prepare(&run, layout);
                memfs::FailCopiesPartWay(inside);
                memfs::CutPowerAt(n);
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
        ASSERT_GT(insideCopies, 4u) << layout.name;
        std::cout << "power cuts, " << layout.name << ": " << points << " points after a call and " << insideCopies
                  << " inside a copy lose nothing; second runs: " << second[kFinished] << " finished, "
                  << second[kNothingLeft] << " had nothing left to move\n";
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

// A cut file may stay where one of the failing calls was the look-up, delete or reset
// of it (or the look-up of its source) that would have removed it.
bool CutMayStay(const InstallRun& run, const std::string& cut, const std::vector<memfs::Call>& failing) {
    return std::any_of(failing.begin(), failing.end(), [&](const memfs::Call& call) {
        return (call.op == memfs::Op::LookUp || call.op == memfs::Op::DeleteFile ||
                call.op == memfs::Op::ResetAttributes) && !run.FileOf(cut).empty() &&
               run.FileOf(call.path) == run.FileOf(cut);
    });
}

TEST(FailureInjection, EveryPairOfFaultsKeepsEveryFileAndASecondRunFinishes) {
    const char* all = getenv("ZOPPEL_ALL_PAIRS");
    const size_t stride = all && strcmp(all, "1") == 0 ? 1 : 23;
    size_t candidate = 0;
    for (const Layout& layout : kLayouts) {
        const std::vector<memfs::Call> calls = ReferenceCalls(layout);
        size_t runs = 0, cuts = 0, boxes = 0, second[2] = {};
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
                    pair.second ? memfs::FailCall(n2, pair.second) : memfs::CutPowerAt(n2);
                    RunInstall(&run.ui);
                    std::string where = std::string(layout.name) + ", " + Describe(calls, n1, pair.first) + ", then " +
                                        (pair.second ? Describe(later, n2, pair.second)
                                                     : "a power cut at call " + std::to_string(n2));
                    EXPECT_EQ(LostFiles(run.before, layout.sourceDir, layout.field), std::vector<std::string>{})
                        << where;
                    ++(pair.second ? runs : cuts);
                    if (pair.second) {
                        // A cut file that stays never passes for installed: the run has its box.
                        for (const std::string& cut : CutFiles(run.before, layout.sourceDir, layout.field)) {
                            EXPECT_TRUE(CutMayStay(run, cut, {calls[n1 - 1], later[n2 - 1]})) << where << ": " << cut;
                            EXPECT_FALSE(run.ui.finished) << where << ": " << cut;
                        }
                        ASSERT_LE(run.ui.errors.size(), 1u) << where;
                        std::string box = run.ui.errors.empty() ? "" : run.ui.errors[0];
                        std::set<std::string> allowed = AllowedBoxes(run, calls[n1 - 1], pair.first);
                        allowed.merge(AllowedBoxes(run, later[n2 - 1], pair.second));
                        EXPECT_TRUE(allowed.count(box)) << where << ": \"" << box << "\"";
                        EXPECT_EQ(box.empty(), run.ui.finished) << where;
                        boxes += !box.empty();
                    }
                    ++second[RunAgain(&run, where, {calls[n1 - 1], later[n2 - 1]})];
                }
            }
        }
        std::cout << "pairs of faults, " << layout.name << ": " << runs << " runs with two failing calls (" << boxes
                  << " ended with a box) and " << cuts << " with a failure, then a power cut, no file lost"
                  << "; second runs: " << second[kFinished] << " finished, " << second[kNothingLeft]
                  << " had nothing left to move\n";
    }
}

}  // namespace

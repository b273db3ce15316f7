// No file of the game is lost, whatever fails and wherever the setup stops: a full
// install is run once for every platform call with that call failing (with each error
// it can really return; a failing copy leaves a cut destination), and no cut file is
// left in the install folder; and it is cut off after every call as a power failure
// would. After each stop a second run, as the player makes it, finishes the install.
// The sweep runs both onto a fresh folder and over an earlier install.
#include <string.h>

#include <set>

#include "test_support.h"

namespace {

const char kInstallDir[] = "D:\\Games\\Zoppel";  // D:\Games is missing: the walk runs
const std::vector<std::string> kDataFiles = {"big.lev", "level1.dat", "sound.wav", "music.mid", "tiles.dat"};

// The errors the platform calls can really return where the outcome may differ.
const SysError kErrors[] = {
    kErrFileNotFound, kErrPathNotFound, kErrAccessDenied,
    kErrDiskFull, kErrSharingViolation, kErrAlreadyExists,
};

struct InstallRun {
    bool reinstall = false;
    std::map<std::string, std::string> before;
    InstallUi ui;
};

// A full install: the six files, a data folder of several files (one of them on the
// removal list) and a subfolder, which keeps it in the source, the Start-menu option
// on; on a reinstall the install folder holds other, writable versions of every file.
void Prepare(InstallRun* run, bool reinstall = false) {
    FreshMachine("E:\\SETUP");
    Distribution distribution;
    distribution.dataFiles = kDataFiles;
    LayOut(distribution);
    memfs::AddFile("E:\\SETUP\\data\\extra\\deep.dat", "never moved");
    run->reinstall = reinstall;
    for (size_t i = 0; reinstall && i < kInstallCount + kDataFiles.size(); ++i) {
        std::string name = i < kInstallCount ? InstallList[i] : "data\\" + kDataFiles[i - kInstallCount];
        memfs::AddFile(std::string(kInstallDir) + "\\" + name, "an earlier install's " + name);
    }
    run->before = memfs::Files();
    // A failing copy leaves a cut destination, as one that runs out of room does.
    memfs::FailCopiesPartWay(true);
    run->ui = InstallUi();
    run->ui.directoryField = kInstallDir;
}

// The platform calls of the install without a failure, which finishes.
std::vector<memfs::Call> ReferenceCalls(bool reinstall) {
    InstallRun reference;
    Prepare(&reference, reinstall);
    RunInstall(&reference.ui);
    EXPECT_TRUE(reference.ui.finished);
    return memfs::Calls();
}

bool IsInstallListSource(const std::string& path) {
    for (const char* name : InstallList) {
        if (PathsEqual(path.c_str(), (std::string("E:\\SETUP\\") + name).c_str())) return true;
    }
    return false;
}

// Whether a failure of `call` leaves data behind, which the box names at the end. A
// data folder said to exist that does not (a file of that name) takes no data file.
bool LeavesDataBehind(const InstallRun& run, const memfs::Call& call, SysError error) {
    bool dataFolder = !run.reinstall && call.path == std::string(kInstallDir) + "\\data";
    return (call.op == memfs::Op::CopyFile && !IsInstallListSource(call.path)) || call.op == memfs::Op::NextEntry ||
           (call.op == memfs::Op::BeginListing && error != kErrFileNotFound && error != kErrPathNotFound) ||
           (call.op == memfs::Op::MakeFolder && dataFolder && error == kErrAlreadyExists);
}

// The boxes the user may see when `call` fails: a file that cannot be copied is named,
// a data folder that cannot be listed is "data"; a folder that cannot be made is one
// of the two folder boxes; every other failure is silent.
std::set<std::string> AllowedBoxes(const InstallRun& run, const memfs::Call& call, SysError error) {
    if (call.op == memfs::Op::CopyFile) return {"Could not copy " + call.path.substr(call.path.rfind('\\') + 1)};
    if (call.op == memfs::Op::BeginListing || call.op == memfs::Op::NextEntry) {
        return {LeavesDataBehind(run, call, error) ? "Could not copy data" : ""};
    }
    if (call.op == memfs::Op::MakeFolder) {
        return {"", "Could not create Zoppel directory.", "Could not create data directory.", "Could not copy big.lev"};
    }
    return {""};
}

// The game's files still in the source: all but the program and the subfolder's file.
std::vector<std::string> GameInSource() {
    std::vector<std::string> left;
    for (const auto& file : memfs::Files()) {
        if (file.first.rfind("E:\\SETUP\\", 0) == 0 && file.first != "E:\\SETUP\\SETUP.EXE" &&
            file.first != "E:\\SETUP\\data\\extra\\deep.dat") {
            left.push_back(file.first);
        }
    }
    return left;
}

// Runs the setup again as the player does after a stop: a new process, the same
// source and install folders, the machine as the first run left it. With nothing
// lost and nothing but the program (and the data subfolder) left in the source,
// every file is then whole in the install folder.
// A run that has the game left to move finishes when `mustFinish`; one that has
// nothing left stops at the first file, as a run from an emptied download does.
enum SecondRun { kFinished, kNothingLeft, kStoppedLater };
SecondRun RunAgain(InstallRun* run, bool mustFinish, const std::string& where) {
    bool held = !GameInSource().empty();
    memfs::ClearFailures();
    memset(&gSetup, 0, sizeof gSetup);
    strcpy(gSetup.sourceDir, "E:\\SETUP");
    run->ui = InstallUi();
    run->ui.directoryField = kInstallDir;
    RunInstall(&run->ui);
    std::string again = where + ", then a second run";
    EXPECT_EQ(LostFiles(run->before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << again;
    EXPECT_EQ(GameInSource(), std::vector<std::string>{}) << again;
    if (!held) {
        EXPECT_EQ(run->ui.errors, std::vector<std::string>{"Could not copy ZOPPEL.EXE"}) << again;
    } else if (mustFinish) {
        EXPECT_TRUE(run->ui.finished) << again << ": " << (run->ui.errors.empty() ? "" : run->ui.errors[0]);
        EXPECT_TRUE(memfs::RegistryValue(kRecordKey, "location").has_value()) << again;
    }
    return run->ui.finished ? kFinished : held ? kStoppedLater : kNothingLeft;
}

TEST(FailureInjection, EveryFailingCallKeepsEveryFileAndShowsWhatItShould) {
    for (bool reinstall : {false, true}) {
        const std::vector<memfs::Call> calls = ReferenceCalls(reinstall);
        ASSERT_GT(calls.size(), 40u);

        size_t runs = 0, boxes = 0, second[3] = {};
        for (size_t n = 1; n <= calls.size(); ++n) {
            for (SysError error : kErrors) {
                InstallRun run;
                Prepare(&run, reinstall);
                memfs::FailCall(n, error);
                RunInstall(&run.ui);
                ++runs;
                std::string where = std::string(reinstall ? "reinstall, " : "") + "call " + std::to_string(n) +
                                    " (" + memfs::OpName(calls[n - 1].op) + " " + calls[n - 1].path +
                                    ") failing with " + std::to_string(error);
                // The run is the reference one up to the failing call.
                ASSERT_GE(memfs::Calls().size(), n) << where;
                ASSERT_EQ(memfs::Calls()[n - 1].op, calls[n - 1].op) << where;

                EXPECT_EQ(LostFiles(run.before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << where;
                EXPECT_EQ(CutFiles(run.before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << where;
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
                } else {
                    ++boxes;
                    EXPECT_TRUE(run.ui.ended) << where;
                    EXPECT_FALSE(run.ui.finished) << where;
                    EXPECT_EQ(gSetup.stage, StageCollecting) << where;
                    // Data left behind is told at the end, after the record, and the
                    // setup ends as any stopped install does.
                    bool late = LeavesDataBehind(run, calls[n - 1], error);
                    EXPECT_EQ(recordWritten, late) << where;
                    if (late) {
                        EXPECT_EQ(run.ui.events.end()[-3] + "|" + std::to_string(gSetup.busyCount), "status |1")
                            << where;
                    }
                }
                // After a stop the second run finishes. After a completion page it need
                // not: a source that could not be deleted makes it a reinstall from a
                // download lacking the files before it, which stops there.
                ++second[RunAgain(&run, !box.empty(), where)];
            }
        }
        std::cout << "failure injection" << (reinstall ? " over an earlier install: " : ": ") << calls.size()
                  << " calls x " << std::size(kErrors) << " errors = " << runs << " runs, " << boxes
                  << " ended with a box, no file lost; second runs: " << second[kFinished] << " finished, "
                  << second[kNothingLeft] << " had nothing left to move, " << second[kStoppedLater]
                  << " stopped after moving what the first had left\n";
    }
}

TEST(FailureInjection, PowerCutAnywhereLosesNothingAndASecondRunFinishes) {
    const std::vector<memfs::Call> calls = ReferenceCalls(false);

    // A cut at the start of call n leaves what the calls before it did; a cut inside a
    // copy leaves its cut destination as well. The last cut comes after every call.
    size_t points = 0, insideCopies = 0, second[3] = {};
    for (size_t n = 1; n <= calls.size() + 1; ++n) {
        bool copy = n <= calls.size() && calls[n - 1].op == memfs::Op::CopyFile;
        for (bool inside : {false, true}) {
            if (inside && !copy) continue;
            InstallRun run;
            Prepare(&run);
            memfs::FailCopiesPartWay(inside);
            memfs::CutPowerAt(n);
            RunInstall(&run.ui);
            std::string where = "power cut " + std::string(inside ? "inside" : "at") + " call " + std::to_string(n);
            EXPECT_EQ(LostFiles(run.before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << where;
            // A copy in progress always has its whole source beside it.
            if (inside) {
                EXPECT_EQ(memfs::ReadFile(calls[n - 1].path), run.before.at(calls[n - 1].path)) << where;
            }
            ++second[RunAgain(&run, true, where)];
            ++(inside ? insideCopies : points);
        }
    }
    ASSERT_EQ(insideCopies, kInstallCount + 5u);
    std::cout << "power cuts: " << points << " points after a call and " << insideCopies
              << " inside a copy lose nothing; second runs: " << second[kFinished] << " finished, "
              << second[kNothingLeft] << " had nothing left to move\n";
    EXPECT_EQ(second[kStoppedLater], 0u);
}

}  // namespace

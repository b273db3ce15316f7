// No file of the game is lost, whatever fails and wherever the setup stops: a full
// install is run once for every platform call with that call failing (with each error
// it can really return; a failing copy leaves a cut destination), and no cut file is
// left in the install folder; and it is cut off after every call as a power failure
// would.
#include <string.h>

#include <set>

#include "test_support.h"

namespace {

const char kInstallDir[] = "D:\\Games\\Zoppel";  // D:\Games is missing: the walk runs

// The errors the platform calls can really return where the outcome may differ.
const SysError kErrors[] = {
    kErrFileNotFound, kErrPathNotFound, kErrAccessDenied,
    kErrDiskFull, kErrSharingViolation, kErrAlreadyExists,
};

struct InstallRun {
    std::map<std::string, std::string> before;
    InstallUi ui;
};

// A full install: the six files, a data folder of several files (one of them on the
// removal list), the Start-menu option on.
void Prepare(InstallRun* run) {
    FreshMachine("E:\\SETUP");
    Distribution distribution;
    distribution.dataFiles = {"big.lev", "level1.dat", "sound.wav", "music.mid", "tiles.dat"};
    LayOut(distribution);
    run->before = memfs::Files();
    // A failing copy leaves a cut destination, as one that runs out of room does.
    memfs::FailCopiesPartWay(true);
    run->ui = InstallUi();
    run->ui.directoryField = kInstallDir;
}

bool IsInstallListSource(const std::string& path) {
    for (const char* name : InstallList) {
        if (PathsEqual(path.c_str(), (std::string("E:\\SETUP\\") + name).c_str())) return true;
    }
    return false;
}

// The boxes the user may see when `call` fails: an install file that cannot be copied
// is named; a folder that cannot be made is one of the two folder boxes; every other
// failure is silent.
std::set<std::string> AllowedBoxes(const memfs::Call& call) {
    if (call.op == memfs::Op::CopyFile && IsInstallListSource(call.path)) {
        return {"Could not copy " + call.path.substr(call.path.rfind('\\') + 1)};
    }
    if (call.op == memfs::Op::MakeFolder) {
        return {"", "Could not create Zoppel directory.", "Could not create data directory."};
    }
    return {""};
}

TEST(FailureInjection, EveryFailingCallKeepsEveryFileAndShowsWhatItShould) {
    InstallRun reference;
    Prepare(&reference);
    RunInstall(&reference.ui);
    ASSERT_TRUE(reference.ui.finished);
    const std::vector<memfs::Call> calls = memfs::Calls();
    ASSERT_GT(calls.size(), 40u);

    size_t runs = 0, boxes = 0;
    for (size_t n = 1; n <= calls.size(); ++n) {
        for (SysError error : kErrors) {
            InstallRun run;
            Prepare(&run);
            memfs::FailCall(n, error);
            RunInstall(&run.ui);
            ++runs;
            std::string where = "call " + std::to_string(n) + " (" + memfs::OpName(calls[n - 1].op) + " " +
                                calls[n - 1].path + ") failing with " + std::to_string(error);
            // The run is the reference one up to the failing call.
            ASSERT_GE(memfs::Calls().size(), n) << where;
            ASSERT_EQ(memfs::Calls()[n - 1].op, calls[n - 1].op) << where;

            EXPECT_EQ(LostFiles(run.before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << where;
            EXPECT_EQ(CutFiles(run.before, "E:\\SETUP", kInstallDir), std::vector<std::string>{}) << where;
            EXPECT_EQ(memfs::OpenHandles(), 0) << where;
            ASSERT_LE(run.ui.errors.size(), 1u) << where;
            std::string box = run.ui.errors.empty() ? "" : run.ui.errors[0];
            EXPECT_TRUE(AllowedBoxes(calls[n - 1]).count(box)) << where << ": box \"" << box << "\"";
            bool recordWritten = memfs::RegistryValue(kRecordKey, "location").has_value();
            if (box.empty()) {
                // Silent failures end on the completion page, the record written
                // unless writing it was what failed.
                EXPECT_TRUE(run.ui.finished) << where;
                EXPECT_FALSE(run.ui.ended) << where;
                EXPECT_EQ(gSetup.busyCount, 0) << where;
                bool recordCall = calls[n - 1].op == memfs::Op::CreateKey || calls[n - 1].op == memfs::Op::WriteValue;
                EXPECT_TRUE(recordWritten || recordCall) << where;
            } else {
                ++boxes;
                EXPECT_TRUE(run.ui.ended) << where;
                EXPECT_FALSE(run.ui.finished) << where;
                EXPECT_EQ(gSetup.stage, StageCollecting) << where;
                EXPECT_FALSE(recordWritten) << where;
                EXPECT_FALSE(memfs::RegistryKeyExists(kRecordKey)) << where;
            }
        }
    }
    RecordProperty("failure_points", (int)calls.size());
    RecordProperty("runs", (int)runs);
    std::cout << "failure injection: " << calls.size() << " calls x " << std::size(kErrors) << " errors = " << runs
              << " runs, " << boxes << " ended with a box, no file lost\n";
}

TEST(FailureInjection, PowerCutAfterAnyCallLosesNothing) {
    InstallRun run;
    Prepare(&run);
    // The state at the start of each call is what a power cut right after the call
    // before it leaves behind; a cut inside a copy leaves a partial destination.
    std::vector<std::map<std::string, std::string>> states;
    std::vector<memfs::Call> copies;
    std::vector<size_t> copyStates;
    memfs::ObserveCalls([&](uint64_t, const memfs::Call& call) {
        states.push_back(memfs::Files());
        if (call.op == memfs::Op::CopyFile) {
            copies.push_back(call);
            copyStates.push_back(states.size() - 1);
        }
    });
    RunInstall(&run.ui);
    memfs::ObserveCalls(nullptr);
    states.push_back(memfs::Files());
    ASSERT_TRUE(run.ui.finished);

    for (size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(LostFilesIn(run.before, states[i], "E:\\SETUP", kInstallDir), std::vector<std::string>{})
            << "power cut after call " << i;
    }
    // Inside a copy: the source must still be whole, whatever part of the copy exists.
    ASSERT_EQ(copies.size(), kInstallCount + 5u);
    for (size_t i = 0; i < copies.size(); ++i) {
        const auto& state = states[copyStates[i]];
        auto source = state.find(copies[i].path);
        ASSERT_NE(source, state.end()) << copies[i].path;
        EXPECT_EQ(source->second, run.before.at(copies[i].path)) << copies[i].path;
    }
    std::cout << "power cuts: " << states.size() << " points after a call and " << copies.size()
              << " inside a copy; every partial copy has its whole source beside it\n";
}

}  // namespace

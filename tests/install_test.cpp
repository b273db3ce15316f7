// The whole install sequence through a recording window: what the user sees, in
// order, what is left on disk and in the registry, and that no file is lost.
#include <string.h>

#include <functional>

#include "test_support.h"

namespace {

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        FreshMachine("E:\\SETUP");
        LayOut(distribution);
        before = memfs::Files();
    }
    void Run(const std::string& field) {
        ui.directoryField = field;
        RunInstall(&ui);
        EXPECT_EQ(memfs::OpenHandles(), 0);
        EXPECT_EQ(LostFiles(before, gSetup.sourceDir, gSetup.installDir), std::vector<std::string>{});
    }
    std::vector<std::string> FolderCalls() {
        std::vector<std::string> made;
        for (const memfs::Call& call : memfs::Calls()) {
            if (call.op == memfs::Op::MakeFolder) made.push_back(call.path);
        }
        return made;
    }
    void ExpectStoppedWith(const char* message) {
        EXPECT_EQ(ui.errors, std::vector<std::string>{message});
        EXPECT_TRUE(ui.ended);
        EXPECT_FALSE(ui.finished);
        EXPECT_EQ(gSetup.stage, StageCollecting);
        EXPECT_FALSE(memfs::RegistryValue(kRecordKey, "location"));
        EXPECT_EQ(ui.events.back(), "end");
    }
    Distribution distribution;
    std::map<std::string, std::string> before;
    InstallUi ui;
};

TEST_F(Install, TypicalInstallIntoAFolderWhoseParentIsMissing) {
    Run("D:\\Games\\Zoppel");
    EXPECT_EQ(ui.events, (std::vector<std::string>{
        "read field", "status Creating directory..", "buttons off", "wait cursor", "repaint",
        "status Copying files.", "status Copying ZOPPEL.EXE", "status Copying ORDERFRM.DOC",
        "status Copying README.DOC", "status Copying README.TXT", "status Copying UNINSTAL.EXE",
        "status Copying UNINSTAL.BAT", "status Copying big.lev", "status Copying level1.dat",
        "status Copying sound.wav", "read check box", "status Creating StartMenu shortcut", "status ",
        "finished page"}));
    EXPECT_EQ(FolderCalls(), (std::vector<std::string>{
        "D:\\Games\\Zoppel", "D:\\Games", "D:\\Games\\Zoppel", "D:\\Games\\Zoppel\\data"}));
    EXPECT_EQ(gSetup.busyCount, 0);
    EXPECT_EQ(gSetup.stage, StageFinished);
    EXPECT_STREQ(gSetup.dataDir, "D:\\Games\\Zoppel\\data");
    EXPECT_FALSE(ui.buttonsEnabled);
    EXPECT_TRUE(ui.errors.empty());
    EXPECT_FALSE(ui.ended);

    for (const char* name : InstallList) {
        EXPECT_EQ(memfs::ReadFile(std::string("D:\\Games\\Zoppel\\") + name), ContentOf(name));
    }
    // big.lev is on the removal list: moved, then deleted with its source gone too.
    EXPECT_EQ(memfs::List("D:\\Games\\Zoppel\\data"), (std::vector<std::string>{"level1.dat", "sound.wav"}));
    EXPECT_EQ(memfs::List("E:\\SETUP"), std::vector<std::string>{"SETUP.EXE"});
    EXPECT_EQ(memfs::RegistryValue(kRecordKey, "location")->data, std::string("D:\\Games\\Zoppel\0", 16));
    EXPECT_EQ(memfs::RegistryValue(kRecordKey, "version")->data, std::string("1.1\0", 4));
    EXPECT_TRUE(memfs::ReadFile("C:\\WINDOWS\\SETUP.INI"));
    EXPECT_EQ(memfs::StartedCommands(), std::vector<std::string>{"grpconv -o"});
}

TEST_F(Install, FreeSpaceIsCountedInSixtyFourBitsAgainstTenMillionBytes) {
    struct SpaceCase {
        VolumeSpace space;
        bool enough;
    };
    const SpaceCase cases[] = {
        {{1, 1, 10000000, 10000000}, true},
        {{1, 1, 9999999, 10000000}, false},
        {{8, 512, 2441, 3000}, false},            // 9,998,336 bytes
        {{8, 512, 2442, 3000}, true},             // 10,002,432 bytes
        {{8, 512, 1048576 + 1000, 2000000}, true},  // 4 GiB + 4,096,000: wraps in 32 bits
        {{64, 4096, 0xFFFFFFFF, 0xFFFFFFFF}, true},
    };
    for (const SpaceCase& c : cases) {
        FreshMachine("E:\\SETUP");
        memfs::SetVolumeSpace('D', c.space);
        strcpy(gSetup.installDir, "D:\\Zoppel");
        EXPECT_EQ(HasEnoughDiskSpace(), c.enough) << c.space.freeClusters;
    }
    // With too little, nothing is created and the install stays marked as running.
    SetUp();
    memfs::SetVolumeSpace('D', VolumeSpace{1, 1, 9999999, 10000000});
    Run("D:\\Zoppel");
    ExpectStoppedWith("Not enough disk space to install Zoppel.");
    EXPECT_EQ(ui.events, (std::vector<std::string>{"read field", "error Not enough disk space to install Zoppel.", "end"}));
    EXPECT_EQ(gSetup.busyCount, 1);
    EXPECT_TRUE(FolderCalls().empty());
    EXPECT_EQ(memfs::Files(), before);
}

TEST_F(Install, NoVolumeRootInTheFieldPassesTheSpaceCheck) {
    const char* fields[] = {"\\\\server\\share\\zoppel", "zoppel", "", "c:zoppel"};
    for (const char* field : fields) {
        FreshMachine("E:\\SETUP");
        memfs::SetVolumeSpace('C', VolumeSpace{1, 1, 0, 100});
        strcpy(gSetup.installDir, field);
        EXPECT_TRUE(HasEnoughDiskSpace()) << field;
    }
    SetUp();
    Run("");
    ExpectStoppedWith("Could not create Zoppel directory.");
}

TEST_F(Install, CreatesEachMissingAncestorThenRetriesTheWholePath) {
    Run("c:\\a\\b\\c");
    EXPECT_EQ(FolderCalls(), (std::vector<std::string>{
        "c:\\a\\b\\c", "c:\\a\\b", "c:\\a",
        "c:\\a\\b\\c", "c:\\a\\b",
        "c:\\a\\b\\c", "c:\\a\\b\\c\\data"}));
    EXPECT_TRUE(ui.finished);

    // An existing folder is accepted at the first attempt, and so is its data folder.
    SetUp();
    ui = InstallUi();
    memfs::AddFolder("C:\\games\\zoppel\\data");
    Run("c:\\games\\zoppel");
    EXPECT_EQ(FolderCalls(), (std::vector<std::string>{"c:\\games\\zoppel", "c:\\games\\zoppel\\data"}));
    EXPECT_TRUE(ui.finished);
}

TEST_F(Install, DirectoryThatCannotBeCreatedStopsTheInstall) {
    // The parent exists but refuses subfolders: the walk goes past it to the drive.
    memfs::AddFolder("c:\\a");
    memfs::DenyCreateIn("c:\\a");
    Run("c:\\a\\b");
    ExpectStoppedWith("Could not create Zoppel directory.");
    EXPECT_EQ(FolderCalls(), (std::vector<std::string>{"c:\\a\\b", "c:\\a", "c:"}));
    EXPECT_EQ(gSetup.busyCount, 1);
    EXPECT_FALSE(ui.buttonsEnabled);

    // Forward slashes alone give the walk nothing to strip.
    SetUp();
    ui = InstallUi();
    Run("c:/games/zoppel");
    ExpectStoppedWith("Could not create Zoppel directory.");
    EXPECT_EQ(FolderCalls(), std::vector<std::string>{"c:/games/zoppel"});
    EXPECT_FALSE(memfs::Exists("c:\\games"));
}

TEST_F(Install, FolderTooLongForTheInstallsOwnPathsIsRefusedBeforeAnythingIsMade) {
    std::string longest = "D:\\" + std::string(239, 'p');  // 242 characters
    Run(longest + "q");
    ExpectStoppedWith("Could not create Zoppel directory.");
    EXPECT_TRUE(FolderCalls().empty());
    EXPECT_EQ(memfs::Files(), before);

    SetUp();
    ui = InstallUi();
    Run(longest);
    EXPECT_TRUE(ui.finished);
    EXPECT_EQ(memfs::ReadFile(longest + "\\UNINSTAL.BAT"), ContentOf("UNINSTAL.BAT"));
    EXPECT_EQ(memfs::ReadFile(longest + "\\data\\sound.wav"), ContentOf("sound.wav"));

    // A field of 259 characters: every buffer holds, and the refusal is the same.
    SetUp();
    ui = InstallUi();
    Run("D:\\" + std::string(256, 'r'));
    ExpectStoppedWith("Could not create Zoppel directory.");
}

TEST_F(Install, DataFolderThatCannotBeCreatedStopsTheInstall) {
    memfs::FailOn(memfs::Op::MakeFolder, "D:\\Zoppel\\data", kErrAccessDenied);
    Run("D:\\Zoppel");
    ExpectStoppedWith("Could not create data directory.");
    EXPECT_TRUE(memfs::IsFolder("D:\\Zoppel"));
    EXPECT_EQ(memfs::List("D:\\Zoppel"), std::vector<std::string>{});
    EXPECT_EQ(gSetup.busyCount, 1);
    EXPECT_FALSE(ui.buttonsEnabled);
}

TEST_F(Install, FailedCopyEndsTheSetupWithTheButtonsBack) {
    ASSERT_EQ(DeleteOneFile("E:\\SETUP\\README.TXT"), kSysOk);
    before = memfs::Files();
    Run("D:\\Zoppel");
    ExpectStoppedWith("Could not copy README.TXT");
    EXPECT_EQ(gSetup.busyCount, 0);
    EXPECT_TRUE(ui.buttonsEnabled);
    std::vector<std::string> tail(ui.events.end() - 4, ui.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"status Copying README.TXT", "error Could not copy README.TXT",
                                              "buttons on", "end"}));
    // A download without README.TXT is not installed in part.
    EXPECT_EQ(memfs::List("D:\\Zoppel"), std::vector<std::string>{"data"});
    EXPECT_TRUE(memfs::StartedCommands().empty());

    // A data file that stays behind is told at the end; a long name ends in "...".
    std::string name = std::string(150, 'n') + ".dat";
    SetUp();
    memfs::AddFile("E:\\SETUP\\data\\" + name, "long");
    memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\data\\" + name, kErrDiskFull);
    ui = InstallUi();
    Run("D:\\Zoppel");
    EXPECT_EQ(ui.errors, std::vector<std::string>{"Could not copy " + name.substr(0, 109) + "..."});
}

TEST_F(Install, ClearedCheckBoxWritesNoGroup) {
    ui.startMenuChecked = false;
    Run("D:\\Zoppel");
    EXPECT_TRUE(ui.finished);
    EXPECT_FALSE(memfs::Exists("C:\\WINDOWS\\SETUP.INI"));
    EXPECT_TRUE(memfs::StartedCommands().empty());
    for (const std::string& status : ui.statuses) EXPECT_NE(status, "Creating StartMenu shortcut");
}

TEST_F(Install, RunAgainFinishesWhereTheStoppedRunWasGoingAndKeepsTheSavedGame) {
    // An older install, recorded, with a saved game; the new download goes elsewhere
    // and stops, or leaves a file behind. The player plays, then runs the setup again
    // with what the dialog proposes: the stopped install is finished, or nothing
    // changes; the older install is never touched. The removal list, a saved game
    // among it, is deleted once per install.
    const std::string tooLong = std::string(240, 'n') + ".dat";  // fits under E:\SETUP\data only
    struct Case {
        const char* why;
        std::function<void()> first, again;
        bool firstFinishes;
        std::string box;  // the second run's; none when it finishes
        bool savedGameKept;
    };
    const Case cases[] = {
        {"README.DOC does not fit",
         [] {
             memfs::FailCopiesPartWay(true);
             memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\README.DOC", kErrDiskFull);
         },
         [] {}, false, "", false},
        {"a data file does not fit", [] { memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\data\\level1.dat", kErrDiskFull); },
         [] {}, false, "", true},
        {"a data file held open in both runs",
         [] { memfs::HoldOpen("E:\\SETUP\\data\\level1.dat", false); }, [] {},
         false, "Could not copy level1.dat", true},
        {"big.lev, which the end deletes, held open",
         [] { memfs::HoldOpen("E:\\SETUP\\data\\big.lev", false); }, [] {},
         true, "Could not copy ZOPPEL.EXE", true},
        {"a data file whose name does not fit under the install folder",
         [&] { memfs::AddFile("E:\\SETUP\\data\\" + tooLong, "long"); }, [] {}, false,
         "Could not copy " + tooLong.substr(0, 109) + "...", true},
    };
    for (const Case& c : cases) {
        SetUp();
        memfs::AddFile("D:\\Zoppel\\ZOPPEL.EXE", "an older version");
        memfs::AddFile("D:\\Zoppel\\zoppel.sav", "an older saved game");
        memfs::SetRegistryValue(kRecordKey, "location", memfs::kRegSz, std::string("D:\\Zoppel", 10));
        const std::map<std::string, std::string> older = memfs::Files();
        c.first();
        ui = InstallUi();
        Run("D:\\Games\\Zoppel");
        EXPECT_EQ(ui.finished, c.firstFinishes) << c.why;
        memfs::ClearFailures();
        memfs::AddFile("D:\\Games\\Zoppel\\zoppel.sav", "a saved game");
        const std::map<std::string, std::string> installed = memfs::Files();
        c.again();
        std::string proposal = Proposal("E:\\SETUP");
        EXPECT_EQ(proposal, "D:\\Games\\Zoppel") << c.why;
        ui = InstallUi();
        Run(proposal);
        EXPECT_EQ(ui.errors, c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box}) << c.why;
        for (const auto& [path, content] : older) {
            if (path.rfind("D:\\Zoppel\\", 0) == 0) {
                EXPECT_EQ(memfs::ReadFile(path), content) << c.why << path;
            }
        }
        EXPECT_EQ(memfs::ReadFile("D:\\Games\\Zoppel\\zoppel.sav").has_value(), c.savedGameKept) << c.why;
        if (!c.box.empty()) {
            EXPECT_EQ(memfs::Files(), installed) << c.why;
            continue;
        }
        for (std::string name : {"ZOPPEL.EXE", "README.DOC", "UNINSTAL.BAT", "data\\level1.dat"}) {
            EXPECT_EQ(memfs::ReadFile("D:\\Games\\Zoppel\\" + name), ContentOf(name.substr(name.find('\\') + 1)));
        }
    }

    // From a disc over an earlier install of other versions: a disc that stops (the
    // volume full at README.DOC) leaves no record, having moved nothing, so another disc
    // in the drive, without README.TXT, stops at once and changes nothing.
    SetUp();
    for (const char* name : InstallList) memfs::AddFile(std::string("D:\\Zoppel\\") + name, "an earlier version");
    memfs::AddFile("D:\\Zoppel\\zoppel.sav", "a saved game");
    memfs::SetVolumeReadOnly('E', true);
    memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\README.DOC", kErrDiskFull);
    ui = InstallUi();
    Run("D:\\Zoppel");
    memfs::ClearFailures();
    memfs::SetVolumeReadOnly('E', false);
    ASSERT_EQ(DeleteOneFile("E:\\SETUP\\README.TXT"), kSysOk);
    memfs::SetVolumeReadOnly('E', true);
    before = memfs::Files();
    ui = InstallUi();
    Run("D:\\Zoppel");
    EXPECT_EQ(ui.errors, std::vector<std::string>{"Could not copy README.TXT"});
    EXPECT_EQ(memfs::Files(), before);
}

TEST_F(Install, SourceFolderIsTheProgramsOwnOrNone) {
    // The program's path as the system knows it, and the folder the install must take
    // from it; none (nullptr) when no usable one can be had.
    struct ProgramCase {
        std::string wide;
        std::string shortForm;
        const char* sourceDir;
    };
    const ProgramCase cases[] = {
        // The ANSI form would be a look-alike naming another folder: the short form is
        // taken, where it converts without loss.
        {"E:\\Users\\\u0141ukasz\\SETUP\\SETUP.EXE", "E:\\Users\\_UKA~INY\\SETUP\\SETUP.EXE",
         "E:\\Users\\_UKA~INY\\SETUP"},
        {"E:\\Users\\Zo\u00EB\\SETUP\\SETUP.EXE", "E:\\Users\\ZO~1\\SETUP\\SETUP.EXE", "E:\\Users\\Zo\xEB\\SETUP"},
        {"E:\\Users\\\u0141ukasz\\SETUP\\SETUP.EXE", "", nullptr},  // short names switched off
        {"SETUP.EXE", "", nullptr},
        // A path that does not fit the buffer, with a short form and without one.
        {"E:\\" + std::string(250, 'x') + "\\SETUP.EXE", "E:\\XXXXXX~1\\SETUP.EXE", "E:\\XXXXXX~1"},
        {"E:\\" + std::string(250, 'x') + "\\SETUP.EXE", "", nullptr},
    };
    for (const ProgramCase& c : cases) {
        FreshMachine("");
        distribution.sourceDir = c.sourceDir ? c.sourceDir : "E:\\Users\\_UKA~INY\\SETUP";
        LayOut(distribution);
        // What a relative source path would reach: the current folder C:\ and the
        // look-alike folder of the first case.
        distribution.sourceDir = "E:\\Users\\Lukasz\\SETUP";
        LayOut(distribution);
        memfs::AddFile("C:\\ZOPPEL.EXE", "another program");
        memfs::AddFile("C:\\data\\unrelated.txt", "unrelated");
        before = memfs::Files();
        memfs::SetProgramPath(c.wide, c.shortForm);
        ui = InstallUi();
        ui.directoryField = "D:\\Zoppel";
        EXPECT_EQ(LocateSourceDir(), c.sourceDir != nullptr) << c.wide;
        RunInstall(&ui);
        if (c.sourceDir) {
            EXPECT_STREQ(gSetup.sourceDir, c.sourceDir);
            EXPECT_TRUE(ui.finished) << c.wide;
            EXPECT_EQ(memfs::ReadFile("D:\\Zoppel\\ZOPPEL.EXE"), ContentOf("ZOPPEL.EXE"));
            EXPECT_EQ(LostFiles(before, c.sourceDir, "D:\\Zoppel"), std::vector<std::string>{});
            EXPECT_EQ(memfs::List("E:\\Users\\Lukasz\\SETUP").size(), kInstallCount + 2u);
            continue;
        }
        EXPECT_STREQ(gSetup.sourceDir, "");
        EXPECT_EQ(ui.errors, std::vector<std::string>{"Could not copy ZOPPEL.EXE"}) << c.wide;
        EXPECT_TRUE(ui.ended);
        EXPECT_EQ(memfs::Files(), before) << c.wide;
        for (const memfs::Call& call : memfs::Calls()) {
            EXPECT_NE(call.op, memfs::Op::BeginListing) << call.path;
            EXPECT_NE(call.op, memfs::Op::CopyFile) << call.path;
        }
    }
}

}  // namespace

// Moving the install files and the data folder, and deleting the removal list, on
// source folders built for each case; every case ends with the no-loss check.
#include <string.h>

#include "test_support.h"

namespace {

class Transfer : public ::testing::Test {
protected:
    void Prepare(const std::string& sourceDir, const std::string& installDir, const Distribution& d) {
        FreshMachine(sourceDir);
        Distribution laid = d;
        laid.sourceDir = sourceDir;
        LayOut(laid);
        memfs::AddFolder(installDir);
        snprintf(gSetup.installDir, kPathSize, "%s", installDir.c_str());
        snprintf(gSetup.dataDir, kPathSize, "%s\\data", installDir.c_str());
        memfs::AddFolder(gSetup.dataDir);
        ReadMoveRecord();
        before = memfs::Files();
    }
    void ExpectNothingLost() {
        EXPECT_EQ(LostFiles(before, gSetup.sourceDir, gSetup.installDir), std::vector<std::string>{});
    }
    size_t CallsOf(memfs::Op op) {
        size_t count = 0;
        for (const memfs::Call& call : memfs::Calls()) count += call.op == op;
        return count;
    }
    std::map<std::string, std::string> before;
    InstallUi ui;
    char leftBehind[kPathSize];
};

TEST_F(Transfer, MovesEveryFileAndRemovesTheEmptiedSourceData) {
    Distribution d;
    Prepare("E:\\SETUP", "D:\\Games\\Zoppel", d);
    memfs::AddFile("E:\\SETUP\\README.TXT", ContentOf("README.TXT"), memfs::kAttrHidden | memfs::kAttrSystem);
    before = memfs::Files();
    ASSERT_TRUE(MoveInstallList(&ui));
    MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind);

    for (const char* name : InstallList) {
        std::string dst = std::string("D:\\Games\\Zoppel\\") + name;
        EXPECT_EQ(memfs::ReadFile(dst), ContentOf(name)) << name;
        EXPECT_EQ(memfs::Attributes(dst), 0u) << name;
        EXPECT_FALSE(memfs::Exists(std::string("E:\\SETUP\\") + name)) << name;
    }
    // big.lev, which the removal list deletes, is moved and deleted.
    EXPECT_EQ(memfs::List("D:\\Games\\Zoppel\\data"), (std::vector<std::string>{"level1.dat", "sound.wav"}));
    for (std::string name : {"level1.dat", "sound.wav"}) {
        EXPECT_EQ(memfs::ReadFile("D:\\Games\\Zoppel\\data\\" + name), ContentOf(name));
        EXPECT_EQ(memfs::Attributes("D:\\Games\\Zoppel\\data\\" + name), 0u);
    }
    EXPECT_FALSE(memfs::Exists("E:\\SETUP\\data"));
    EXPECT_EQ(memfs::List("E:\\SETUP"), std::vector<std::string>{"SETUP.EXE"});
    EXPECT_EQ(ui.statuses, (std::vector<std::string>{
        "Copying ZOPPEL.EXE", "Copying ORDERFRM.DOC", "Copying README.DOC", "Copying README.TXT",
        "Copying UNINSTAL.EXE", "Copying UNINSTAL.BAT", "Copying big.lev", "Copying level1.dat",
        "Copying sound.wav"}));
    EXPECT_TRUE(ui.errors.empty());
    EXPECT_EQ(memfs::OpenHandles(), 0);
    ExpectNothingLost();
}

TEST_F(Transfer, RunFromTheInstallFolderItselfCopiesAndDeletesNothing) {
    Distribution d;
    Prepare("C:\\ZOPPEL", "c:\\zoppel", d);
    memfs::AddFile("C:\\ZOPPEL\\ZOPPEL.EXE", ContentOf("ZOPPEL.EXE"), memfs::kAttrReadOnly);
    memfs::AddFile("C:\\ZOPPEL\\data\\big.lev", ContentOf("big.lev"), memfs::kAttrHidden);
    before = memfs::Files();
    ASSERT_TRUE(MoveInstallList(&ui));
    MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind);
    EXPECT_EQ(CallsOf(memfs::Op::CopyFile), 0u);
    EXPECT_EQ(CallsOf(memfs::Op::DeleteFile), 0u);
    EXPECT_EQ(CallsOf(memfs::Op::RemoveFolder), 0u);
    EXPECT_EQ(memfs::Attributes("c:\\zoppel\\ZOPPEL.EXE"), 0u);
    EXPECT_EQ(memfs::Attributes("c:\\zoppel\\data\\big.lev"), 0u);
    EXPECT_EQ(memfs::Files(), before);
}

TEST_F(Transfer, MissingInstallFileStopsWithItsNameBeforeAnythingMoves) {
    Distribution d;
    Prepare("E:\\SETUP", "D:\\Zoppel", d);
    memfs::AddFile("D:\\Zoppel\\README.TXT", "older", memfs::kAttrReadOnly);
    ASSERT_EQ(DeleteOneFile("E:\\SETUP\\README.TXT"), kSysOk);
    ReadMoveRecord();
    before = memfs::Files();
    EXPECT_FALSE(MoveInstallList(&ui));
    EXPECT_EQ(ui.errors, std::vector<std::string>{"Could not copy README.TXT"});
    EXPECT_EQ(ui.statuses, std::vector<std::string>{"Copying README.TXT"});
    EXPECT_EQ(memfs::Files(), before);
    EXPECT_EQ(memfs::Attributes("D:\\Zoppel\\README.TXT"), memfs::kAttrReadOnly);

    // ZOPPEL.EXE gone from the download: a file in its place counts as moved only when
    // the download's record says a move into this folder is under way, and is then made
    // normal; a folder or nothing there, or a record of another folder, does not.
    const char* const records[] = {nullptr, "0D:\\zoppel", "1D:\\Elsewhere"};
    for (const char* record : records) {
        const std::optional<uint32_t> after[] = {std::nullopt, memfs::kAttrDirectory, record == records[1] ? 0u : 2u};
        for (int held = 0; held < 3; ++held) {
            Prepare("E:\\SETUP", "D:\\Zoppel", d);
            ASSERT_EQ(DeleteOneFile("E:\\SETUP\\ZOPPEL.EXE"), kSysOk);
            if (record) memfs::SetRegistryValue(kRecordKey + std::string("\\Pending"), "E:\\SETUP", memfs::kRegSz, record);
            if (held == 1) memfs::AddFolder("D:\\Zoppel\\ZOPPEL.EXE");
            if (held == 2) memfs::AddFile("D:\\Zoppel\\ZOPPEL.EXE", "moved before", memfs::kAttrHidden);
            ReadMoveRecord();
            EXPECT_EQ(MoveInstallList(&ui), held == 2 && record == records[1]) << held << (record ? record : "");
            EXPECT_EQ(memfs::Attributes("D:\\Zoppel\\ZOPPEL.EXE"), after[held]) << held << (record ? record : "");
        }
    }
}

TEST_F(Transfer, SourceDataFolderShapes) {
    // Empty: removed after the move.
    Distribution empty;
    empty.dataFiles = {};
    Prepare("E:\\SETUP", "D:\\Zoppel", empty);
    MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind);
    EXPECT_FALSE(memfs::Exists("E:\\SETUP\\data"));
    EXPECT_TRUE(ui.statuses.empty());

    // Missing: nothing happens, not even an attempt to remove it.
    Distribution none;
    none.dataFolder = false;
    Prepare("E:\\SETUP", "D:\\Zoppel", none);
    MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind);
    size_t removals = 0;
    for (const memfs::Call& call : memfs::Calls()) removals += call.op == memfs::Op::RemoveFolder;
    EXPECT_EQ(removals, 0u);

    // Nested: the subfolder is neither copied nor entered and keeps the folder alive.
    Distribution nested;
    Prepare("E:\\SETUP", "D:\\Zoppel", nested);
    memfs::AddFile("E:\\SETUP\\data\\extra\\deep.dat", "deep");
    before = memfs::Files();
    MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind);
    EXPECT_EQ(memfs::List("E:\\SETUP\\data"), std::vector<std::string>{"extra"});
    EXPECT_FALSE(memfs::Exists("D:\\Zoppel\\data\\extra"));
    EXPECT_EQ(memfs::ReadFile("E:\\SETUP\\data\\extra\\deep.dat"), "deep");
    ExpectNothingLost();
}

TEST_F(Transfer, DataFileThatCannotBeCopiedStaysAndKeepsTheFolder) {
    Distribution d;
    Prepare("E:\\SETUP", "D:\\Zoppel", d);
    // Both copies fail part-way, as on a volume that fills up, and each cut copy goes
    // again: level1.dat's is new; sound.wav's cut an earlier install's read-only file,
    // made writable for the copy.
    memfs::FailCopiesPartWay(true);
    memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\data\\level1.dat", kErrDiskFull);
    memfs::FailOn(memfs::Op::CopyFile, "E:\\SETUP\\data\\sound.wav", kErrDiskFull);
    // A name that fits under the source but not under a deep install folder.
    std::string deep = "D:\\" + std::string(200, 'd');
    memfs::AddFolder(deep + "\\data");
    memfs::AddFile(deep + "\\data\\sound.wav", "an earlier install's sound", memfs::kAttrReadOnly);
    std::string longName(60, 'a');
    memfs::AddFile("E:\\SETUP\\data\\" + longName, "long");
    snprintf(gSetup.dataDir, kPathSize, "%s\\data", deep.c_str());
    before = memfs::Files();
    EXPECT_FALSE(MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind));
    EXPECT_EQ(leftBehind, longName);
    EXPECT_EQ(memfs::List("E:\\SETUP\\data"), (std::vector<std::string>{longName, "level1.dat", "sound.wav"}));
    EXPECT_EQ(memfs::List(deep + "\\data"), std::vector<std::string>{});
    EXPECT_EQ(memfs::ReadFile("E:\\SETUP\\data\\" + longName), "long");
    EXPECT_TRUE(ui.errors.empty());
    EXPECT_EQ(LostFiles(before, "E:\\SETUP", deep), std::vector<std::string>{});

    // A copy that fails without touching its destination (a file in use): an earlier
    // copy of the very file leaves nothing behind, another file of its size does.
    for (bool identical : {true, false}) {
        Prepare("E:\\SETUP", "D:\\Zoppel", d);
        const char* earlier = "D:\\Zoppel\\data\\sound.wav";
        ASSERT_TRUE(identical ? CopyFileOver("E:\\SETUP\\data\\sound.wav", earlier) == kSysOk
                              : memfs::AddFile(earlier, std::string(ContentOf("sound.wav").size(), 'x')));
        memfs::HoldOpen(earlier, false);
        EXPECT_EQ(MoveDataDirectory(&ui, "data", gSetup.dataDir, leftBehind), identical);
        EXPECT_STREQ(leftBehind, identical ? "" : "sound.wav");
    }
}

TEST_F(Transfer, DeleteRemovalListDeletesOnlyItsOwnEntries) {
    Distribution d;
    Prepare("E:\\SETUP", "D:\\Zoppel", d);
    for (const char* entry : RemovalList) memfs::AddFile(std::string("D:\\Zoppel\\") + entry, "old");
    memfs::AddFile("D:\\Zoppel\\LICENSE.TXT", "old", memfs::kAttrReadOnly);
    memfs::AddFile("D:\\Zoppel\\keep.txt", "mine");
    memfs::AddFile("D:\\Zoppel\\data\\keep.lev", "mine");
    DeleteRemovalList();
    EXPECT_EQ(memfs::List("D:\\Zoppel"), (std::vector<std::string>{"data", "keep.txt", "license.txt"}));
    EXPECT_EQ(memfs::List("D:\\Zoppel\\data"), std::vector<std::string>{"keep.lev"});
    // Nothing there: nothing happens, nothing is reported.
    DeleteRemovalList();
    EXPECT_TRUE(ui.events.empty());
}

}  // namespace

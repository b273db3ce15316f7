// The stand-in must answer as Windows does wherever the engine's outcome depends on
// it: every row of the table of Windows' file rules, and the cases beside it.
#include "file_rules.h"
#include "test_support.h"

bool RuleLayFile(const std::string& path, const std::string& content, uint32_t attributes) {
    return memfs::AddFile(path, content, attributes);
}
bool RuleLayFolder(const std::string& path, uint32_t attributes) { return memfs::AddFolder(path, attributes); }
uintptr_t RuleHoldOpen(const std::string& path, bool shareDelete) { return memfs::HoldOpen(path, shareDelete); }
void RuleCloseHeld(uintptr_t hold) { memfs::CloseHeld(hold); }
std::optional<std::string> RuleContent(const std::string& path) { return memfs::ReadFile(path); }
std::optional<uint32_t> RuleAttributes(const std::string& path) { return memfs::Attributes(path); }

namespace {

TEST(MemoryPlatform, AnswersEveryRowOfWindowsFileRules) {
    for (bool windows95 : {false, true}) {
        for (int i = 0; i < kFileRuleCount; ++i) {
            memfs::Reset();
            memfs::DeleteOpenFilesAsWindows95(windows95);
            EXPECT_EQ(CheckFileRule(kFileRules[i], "C:\\RULES", windows95), "")
                << kFileRules[i].what << (windows95 ? ", as Windows 95" : "");
        }
    }
}

TEST(MemoryPlatform, FoldersAnswerAsWindowsDoes) {
    memfs::Reset();
    EXPECT_EQ(MakeFolder("c:\\a"), kSysOk);
    EXPECT_EQ(MakeFolder("C:\\A"), kErrAlreadyExists);
    EXPECT_EQ(MakeFolder("c:/a/b"), kSysOk);
    EXPECT_EQ(MakeFolder("c:\\a\\\\b\\"), kErrAlreadyExists);
    EXPECT_EQ(MakeFolder("c:\\"), kErrAccessDenied);
    EXPECT_EQ(MakeFolder("q:\\x"), kErrPathNotFound);
    EXPECT_EQ(MakeFolder("\\\\server\\share\\x"), kErrBadNetPath);
    EXPECT_EQ(MakeFolder("c:\\a?b"), kErrInvalidName);
    EXPECT_EQ(MakeFolder(("c:\\" + std::string(245, 'x')).c_str()), kErrFilenameTooLong);
    ASSERT_TRUE(memfs::AddFile("c:\\a\\file", "x"));
    EXPECT_EQ(MakeFolder("c:\\a\\file\\sub"), kErrPathNotFound);
    EXPECT_EQ(RemoveEmptyFolder("c:\\a\\file"), kErrDirectory);
    EXPECT_EQ(RemoveEmptyFolder("c:\\a\\b"), kSysOk);
    EXPECT_EQ(RemoveEmptyFolder("c:\\a\\b"), kErrFileNotFound);
    ASSERT_TRUE(memfs::DenyCreateIn("c:\\a"));
    EXPECT_EQ(MakeFolder("c:\\a\\c"), kErrAccessDenied);
    EXPECT_EQ(MakeFolder("c:\\a"), kErrAlreadyExists);
}

TEST(MemoryPlatform, FilesAnswerAsWindowsDoes) {
    memfs::Reset();
    ASSERT_TRUE(memfs::AddFile("c:\\src\\Game.exe", "game", memfs::kAttrReadOnly | memfs::kAttrHidden));
    ASSERT_TRUE(memfs::AddFolder("c:\\dst"));
    EXPECT_EQ(CopyFileOver("c:\\src\\Game.exe", "c:\\src\\\\game.exe"), kErrSharingViolation);
    EXPECT_EQ(CopyFileOver("c:\\src\\game.exe", "c:\\dst\\game.exe"), kSysOk);
    EXPECT_EQ(ResetAttributes("c:\\dst\\game.exe"), kSysOk);
    EXPECT_EQ(memfs::Attributes("c:\\dst\\game.exe"), 0u);
    EXPECT_EQ(CopyFileOver("c:\\src\\missing", "c:\\dst\\x"), kErrFileNotFound);
    EXPECT_EQ(CopyFileOver("c:\\src\\game.exe", "c:\\missing\\x"), kErrPathNotFound);
    EXPECT_EQ(CopyFileOver("c:\\src", "c:\\dst\\x"), kErrAccessDenied);

    // Long names get an alias that finds the same entry.
    ASSERT_TRUE(memfs::AddFile("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", "z"));
    char shortPath[kPathSize];
    ASSERT_EQ(GetShortForm("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", shortPath, sizeof shortPath), kSysOk);
    EXPECT_STREQ(shortPath, "c:\\PROGRA~1\\Zoppel\\ZOPPEL.EXE");
    EXPECT_EQ(memfs::ReadFile("c:\\progra~1\\zoppel\\zoppel.exe"), "z");
    EXPECT_EQ(GetShortForm("c:\\Program Files\\none", shortPath, sizeof shortPath), kErrFileNotFound);
    EXPECT_EQ(GetShortForm("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", shortPath, 10), kErrInsufficientBuffer);

    // A file whose delete waits for its last close can be opened by nothing meanwhile.
    uintptr_t hold = memfs::HoldOpen("c:\\dst\\game.exe", true);
    ASSERT_EQ(DeleteOneFile("c:\\dst\\game.exe"), kSysOk);
    PathFacts facts;
    EXPECT_EQ(LookUpPath("c:\\dst\\game.exe", &facts), kErrAccessDenied);
    EXPECT_EQ(CopyFileOver("c:\\progra~1\\zoppel\\zoppel.exe", "c:\\dst\\game.exe"), kErrAccessDenied);
    EXPECT_EQ(memfs::List("c:\\dst"), std::vector<std::string>{"game.exe"});
    memfs::CloseHeld(hold);

    // On a read-only volume, as on a CD, every file reports read-only, and so do copies.
    memfs::SetVolumeReadOnly('c', true);
    memfs::AddVolume('D', VolumeSpace{8, 512, 1000, 1000});
    EXPECT_EQ(CopyFileOver("c:\\progra~1\\zoppel\\zoppel.exe", "d:\\zoppel.exe"), kSysOk);
    EXPECT_EQ(memfs::Attributes("d:\\zoppel.exe"), memfs::kAttrReadOnly | memfs::kAttrArchive);
    EXPECT_EQ(DeleteOneFile("c:\\progra~1\\zoppel\\zoppel.exe"), kErrAccessDenied);
    EXPECT_EQ(WriteNewFile("c:\\new.txt", "x", 1), kErrAccessDenied);
    EXPECT_EQ(MakeFolder("c:\\dst"), kErrAlreadyExists);
}

TEST(MemoryPlatform, ListingsShowDotEntriesAndSkipWhatWasDeleted) {
    memfs::Reset();
    ASSERT_TRUE(memfs::AddFile("c:\\d\\b.txt", "b"));
    ASSERT_TRUE(memfs::AddFile("c:\\d\\A.txt", "a"));
    ASSERT_TRUE(memfs::AddFolder("c:\\d\\sub"));
    FolderListing listing;
    FolderEntry entry;
    ASSERT_EQ(BeginFolderListing("c:\\d\\*.*", &listing, &entry), kSysOk);
    std::vector<std::string> seen = {std::string(entry.isFolder ? "+" : "-") + entry.name};
    ASSERT_EQ(DeleteOneFile("c:\\d\\b.txt"), kSysOk);
    while (NextFolderEntry(listing, &entry) == kSysOk) seen.push_back(std::string(entry.isFolder ? "+" : "-") + entry.name);
    EndFolderListing(listing);
    EXPECT_EQ(seen, (std::vector<std::string>{"+.", "+..", "-A.txt", "+sub"}));
    EXPECT_EQ(memfs::OpenHandles(), 0);
    EXPECT_EQ(BeginFolderListing("c:\\none\\*.*", &listing, &entry), kErrPathNotFound);
    EXPECT_EQ(BeginFolderListing("c:\\d\\*.txt", &listing, &entry), kErrInvalidParameter);
}

TEST(MemoryPlatform, InjectedFailuresHitTheChosenCall) {
    memfs::Reset();
    memfs::FailOn(memfs::Op::MakeFolder, "C:\\X", kErrDiskFull);
    EXPECT_EQ(MakeFolder("c:\\x\\"), kErrDiskFull);
    EXPECT_EQ(MakeFolder("c:\\y"), kSysOk);
    memfs::FailCall(memfs::CallCount() + 2, kErrSharingViolation);
    EXPECT_EQ(MakeFolder("c:\\z"), kSysOk);
    EXPECT_EQ(DeleteOneFile("c:\\whatever"), kErrSharingViolation);
    EXPECT_EQ(memfs::CallCount(), 4u);
    EXPECT_EQ(memfs::Calls()[3].op, memfs::Op::DeleteFile);

    // The first Windows 95 takes value names of at most 255 characters.
    UserKey key;
    ASSERT_EQ(CreateUserKey("Software\\x", &key), kSysOk);
    EXPECT_EQ(WriteKeyText(key, std::string(256, 'n').c_str(), "v"), kErrInvalidParameter);
    EXPECT_EQ(WriteKeyText(key, std::string(255, 'n').c_str(), "v"), kSysOk);
    CloseUserKey(key);
}

}  // namespace

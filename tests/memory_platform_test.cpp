// The stand-in must answer as Windows does wherever the engine's outcome depends on
// it; these cases pin down those answers.
#include "test_support.h"

namespace {

TEST(MemoryPlatform, FoldersAnswerAsWindowsDoes) {
    memfs::Reset();
    EXPECT_EQ(MakeFolder("c:\\a\\b"), kErrPathNotFound);
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
    EXPECT_EQ(RemoveEmptyFolder("c:\\a"), kErrDirNotEmpty);
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
    // A copy onto itself fails whatever the spelling, and leaves the file intact.
    EXPECT_EQ(CopyFileOver("c:\\src\\Game.exe", "C:\\SRC\\GAME.EXE"), kErrSharingViolation);
    EXPECT_EQ(CopyFileOver("c:\\src\\Game.exe", "c:\\src\\\\game.exe"), kErrSharingViolation);
    EXPECT_EQ(memfs::ReadFile("c:\\src\\game.exe"), "game");
    // The copy carries read-only and hidden over; a read-only file resists deletion.
    EXPECT_EQ(CopyFileOver("c:\\src\\game.exe", "c:\\dst\\game.exe"), kSysOk);
    EXPECT_EQ(memfs::Attributes("c:\\dst\\game.exe"),
              memfs::kAttrReadOnly | memfs::kAttrHidden | memfs::kAttrArchive);
    EXPECT_EQ(DeleteOneFile("c:\\src\\game.exe"), kErrAccessDenied);
    EXPECT_EQ(CopyFileOver("c:\\src\\game.exe", "c:\\dst\\game.exe"), kErrAccessDenied);
    EXPECT_EQ(ResetAttributes("c:\\dst\\game.exe"), kSysOk);
    EXPECT_EQ(memfs::Attributes("c:\\dst\\game.exe"), 0u);
    EXPECT_EQ(DeleteOneFile("c:\\dst\\game.exe"), kSysOk);
    EXPECT_EQ(DeleteOneFile("c:\\dst\\game.exe"), kErrFileNotFound);
    EXPECT_EQ(DeleteOneFile("c:\\nowhere\\game.exe"), kErrPathNotFound);
    EXPECT_EQ(CopyFileOver("c:\\src\\missing", "c:\\dst\\x"), kErrFileNotFound);
    EXPECT_EQ(CopyFileOver("c:\\src\\game.exe", "c:\\missing\\x"), kErrPathNotFound);
    EXPECT_EQ(CopyFileOver("c:\\src", "c:\\dst\\x"), kErrAccessDenied);
    EXPECT_EQ(DeleteOneFile("c:\\dst"), kErrAccessDenied);

    // Long names get an alias that finds the same entry.
    ASSERT_TRUE(memfs::AddFile("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", "z"));
    char shortPath[kPathSize];
    ASSERT_EQ(GetShortForm("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", shortPath, sizeof shortPath), kSysOk);
    EXPECT_STREQ(shortPath, "c:\\PROGRA~1\\Zoppel\\ZOPPEL.EXE");
    EXPECT_EQ(memfs::ReadFile("c:\\progra~1\\zoppel\\zoppel.exe"), "z");
    EXPECT_EQ(GetShortForm("c:\\Program Files\\none", shortPath, sizeof shortPath), kErrFileNotFound);
    EXPECT_EQ(GetShortForm("c:\\Program Files\\Zoppel\\ZOPPEL.EXE", shortPath, 10), kErrInsufficientBuffer);

    memfs::SetVolumeReadOnly('c', true);
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
}

}  // namespace

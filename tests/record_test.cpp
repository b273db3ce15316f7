// The install record in the per-user registry: what the window is offered, and what
// an install leaves there.
#include <string.h>

#include "test_support.h"

namespace {

std::string Location() {
    char location[kPathSize];
    memset(location, 'x', sizeof location);
    ReadInstallLocation(location);
    EXPECT_EQ(memfs::OpenHandles(), 0);
    return location;
}

TEST(InstallRecord, ReadOffersTheRecordedFolderOrTheDefault) {
    FreshMachine("E:\\SETUP");
    EXPECT_EQ(Location(), "c:\\zoppel");

    memfs::AddRegistryKey("Software\\Kestrova\\Zoppel");
    EXPECT_EQ(Location(), "") << "a key without a location value";

    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegSz,
                            std::string("D:\\Games\\Zoppel\0", 17));
    EXPECT_EQ(Location(), "D:\\Games\\Zoppel");

    // Stored without its terminator, or as another type: still a terminated text.
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegSz, "D:\\x");
    EXPECT_EQ(Location(), "D:\\x");
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegDword,
                            std::string("\x01\x02\0\0", 4));
    EXPECT_EQ(Location(), "\x01\x02");

    // Exactly 260 bytes with no terminator fill the buffer; the text keeps 259 of them.
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegSz, std::string(260, 'a'));
    EXPECT_EQ(Location(), std::string(259, 'a'));
    // Longer than the buffer: not read at all.
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegSz, std::string(261, 'a'));
    EXPECT_EQ(Location(), "");

    memfs::FailOn(memfs::Op::OpenKey, "", kErrAccessDenied);
    EXPECT_EQ(Location(), "c:\\zoppel");
}

TEST(InstallRecord, WriteStoresTheFolderAsTypedAndOverwritesTheVersion) {
    FreshMachine("E:\\SETUP");
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "version", memfs::kRegDword, "\x07\0\0\0");
    memfs::SetRegistryValue("Software\\Kestrova\\Zoppel", "location", memfs::kRegSz, std::string("old\0", 4));
    strcpy(gSetup.installDir, "d:/Games\\Zoppel\\");
    WriteInstallRecord();
    auto location = memfs::RegistryValue("SOFTWARE\\kestrova\\zoppel", "location");
    auto version = memfs::RegistryValue("Software\\Kestrova\\Zoppel", "version");
    ASSERT_TRUE(location && version);
    EXPECT_EQ(location->type, memfs::kRegSz);
    EXPECT_EQ(location->data, std::string("d:/Games\\Zoppel\\\0", 17));
    EXPECT_EQ(version->type, memfs::kRegSz);
    EXPECT_EQ(version->data, std::string("1.1\0", 4));
    EXPECT_EQ(memfs::OpenHandles(), 0);
    EXPECT_EQ(Location(), "d:/Games\\Zoppel\\");

    // A key that cannot be created is not an error anyone sees.
    FreshMachine("E:\\SETUP");
    memfs::FailOn(memfs::Op::CreateKey, "", kErrAccessDenied);
    WriteInstallRecord();
    EXPECT_FALSE(memfs::RegistryKeyExists("Software\\Kestrova\\Zoppel"));
}

}  // namespace

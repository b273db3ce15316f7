// SETUP.INI byte for byte, and the group converter started on it.
#include <string.h>

#include "test_support.h"

namespace {

class StartMenu : public ::testing::Test {
protected:
    void Install(const std::string& installDir) {
        FreshMachine("E:\\SETUP");
        snprintf(gSetup.installDir, kPathSize, "%s", installDir.c_str());
        std::string folder = installDir;
        memfs::AddFolder(folder);
        for (const char* name : InstallList) memfs::AddFile(folder + "\\" + name, "x");
    }
    std::optional<std::string> IniFile() { return memfs::ReadFile("C:\\WINDOWS\\SETUP.INI"); }
};

TEST_F(StartMenu, WritesTheGroupFileAndStartsTheConverter) {
    Install("C:\\ZOPPEL");
    memfs::AddFile("C:\\WINDOWS\\SETUP.INI", std::string(5000, '#'));
    CreateStartMenuGroup();
    EXPECT_EQ(IniFile(),
              "[progman.groups]\r\n"
              "groupX=Zoppel\r\n"
              "[groupX]\r\n"
              "\"Zoppel\",\"C:\\ZOPPEL\\ZOPPEL.EXE\",,,,\"C:\\ZOPPEL\"\r\n"
              "\"Order Form\",\"C:\\ZOPPEL\\ORDERFRM.DOC\",,,,\"C:\\ZOPPEL\"\r\n"
              "\"Readme\",\"C:\\ZOPPEL\\README.DOC\",,,,\"C:\\ZOPPEL\"\r\n"
              "\"Uninstall Zoppel\",\"C:\\ZOPPEL\\UNINSTAL.EXE\",,,,\"C:\\ZOPPEL\"\r\n");
    EXPECT_EQ(memfs::Attributes("C:\\WINDOWS\\SETUP.INI"), memfs::kAttrArchive);
    EXPECT_EQ(memfs::StartedCommands(), std::vector<std::string>{"grpconv -o"});
}

TEST_F(StartMenu, OnlyTheGameProgramTakesItsShortForm) {
    Install("C:\\Program Files\\Zoppel\\");
    CreateStartMenuGroup();
    EXPECT_EQ(IniFile(),
              "[progman.groups]\r\n"
              "groupX=Zoppel\r\n"
              "[groupX]\r\n"
              "\"Zoppel\",\"C:\\PROGRA~1\\Zoppel\\ZOPPEL.EXE\",,,,\"C:\\Program Files\\Zoppel\\\"\r\n"
              "\"Order Form\",\"C:\\Program Files\\Zoppel\\ORDERFRM.DOC\",,,,\"C:\\Program Files\\Zoppel\\\"\r\n"
              "\"Readme\",\"C:\\Program Files\\Zoppel\\README.DOC\",,,,\"C:\\Program Files\\Zoppel\\\"\r\n"
              "\"Uninstall Zoppel\",\"C:\\Program Files\\Zoppel\\UNINSTAL.EXE\",,,,\"C:\\Program Files\\Zoppel\\\"\r\n");
}

TEST_F(StartMenu, LongestFolderGivesAWholeFileBeyondTheFormattersLimit) {
    // 242 characters is the longest install folder accepted; with the game missing
    // there is no short form and the long one serves.
    std::string folder = "C:\\" + std::string(239, 'z');
    Install(folder);
    ASSERT_EQ(DeleteOneFile((folder + "\\ZOPPEL.EXE").c_str()), kSysOk);
    CreateStartMenuGroup();
    auto text = IniFile();
    ASSERT_TRUE(text);
    EXPECT_GT(text->size(), 1024u);
    EXPECT_NE(text->find("\"Zoppel\",\"" + folder + "\\ZOPPEL.EXE\",,,,\"" + folder + "\"\r\n"), std::string::npos);
    EXPECT_EQ(text->substr(text->size() - 2), "\r\n");
    EXPECT_EQ(std::count(text->begin(), text->end(), '\n'), 7);

    char big[kGroupTextSize];
    std::string worst(259, 'w');
    snprintf(gSetup.installDir, kPathSize, "%s", worst.c_str());
    EXPECT_GT(FormatGroupFile(big, sizeof big), 2048u);
    EXPECT_EQ(FormatGroupFile(big, 100), 0u);
}

TEST_F(StartMenu, FailuresAreSilentAndStartNothingWithoutAFile) {
    Install("C:\\ZOPPEL");
    memfs::FailOn(memfs::Op::WriteFile, "", kErrAccessDenied);
    CreateStartMenuGroup();
    EXPECT_FALSE(IniFile());
    EXPECT_TRUE(memfs::StartedCommands().empty());

    Install("C:\\ZOPPEL");
    memfs::FailOn(memfs::Op::WindowsFolder, "", kErrInsufficientBuffer);
    CreateStartMenuGroup();
    EXPECT_FALSE(IniFile());
    EXPECT_TRUE(memfs::StartedCommands().empty());

    Install("C:\\ZOPPEL");
    memfs::FailOn(memfs::Op::StartCommand, "", kErrFileNotFound);
    CreateStartMenuGroup();
    EXPECT_TRUE(IniFile());
}

}  // namespace

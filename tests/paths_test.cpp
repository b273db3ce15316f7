// The path and text rules: source folder, component append and strip, comparison,
// bounded copies and formatting, each as a table of cases.
#include <string.h>

#include "test_support.h"

namespace {

struct Case {
    const char* input;
    const char* expected;
};

TEST(Paths, DeriveSourceDirCutsAtTheLastSeparatorOfEitherKind) {
    memfs::Reset();
    const Case cases[] = {
        {"C:\\SETUP\\SETUP.EXE", "C:\\SETUP"},
        {"C:\\SETUP.EXE", "C:"},
        {"SETUP.EXE", ""},
        {"C:/games\\setup/SETUP.EXE", "C:/games\\setup"},
        {"\\\\server\\share\\SETUP.EXE", "\\\\server\\share"},
        {"", ""},
    };
    for (const Case& c : cases) {
        memset(gSetup.sourceDir, 'x', sizeof gSetup.sourceDir);
        EXPECT_TRUE(DeriveSourceDir(c.input));
        EXPECT_STREQ(gSetup.sourceDir, c.expected) << "input: " << c.input;
    }
    std::string tooLong(kPathSize, 'a');
    EXPECT_FALSE(DeriveSourceDir(tooLong.c_str()));
    EXPECT_STREQ(gSetup.sourceDir, "");
}

TEST(Paths, DeriveSourceDirStepsOverDoubleByteCharacters) {
    memfs::Reset();
    // 0x95 0x5C is one character in code page 932: its trail byte is not a separator.
    const char path[] = "C:\\\x95\x5C\\SETUP.EXE";
    memfs::SetDoubleByteCodePage(true);
    DeriveSourceDir(path);
    EXPECT_STREQ(gSetup.sourceDir, "C:\\\x95\x5C");
    // A trail byte with the value of "\\" ends no folder name...
    const char trailByte[] = "C:\\dir\\\x95\x5CSETUP.EXE";
    DeriveSourceDir(trailByte);
    EXPECT_STREQ(gSetup.sourceDir, "C:\\dir");
    // ...and a lead byte at the very end does not swallow the terminator.
    const char danglingLead[] = "C:\\dir\\\x95";
    DeriveSourceDir(danglingLead);
    EXPECT_STREQ(gSetup.sourceDir, "C:\\dir");
    // In a single-byte code page the same byte is a separator.
    memfs::SetDoubleByteCodePage(false);
    DeriveSourceDir(trailByte);
    EXPECT_STREQ(gSetup.sourceDir, "C:\\dir\\\x95");
}

TEST(Paths, AppendPathComponentAddsOneSeparatorAndRefusesOverflow) {
    struct AppendCase {
        const char* path;
        const char* component;
        const char* expected;
        bool doubleByte;  // code page 932, where 0x95 0x5C is one character
    };
    const AppendCase cases[] = {
        {"C:", "README.TXT", "C:\\README.TXT", false},
        {"c:\\games\\", "x", "c:\\games\\x", false},
        {"c:/games/", "x", "c:/games/x", false},
        {"", "x", "x", false},
        {"c:\\a", "data\\big.lev", "c:\\a\\data\\big.lev", false},
        {"e:\\\x95\x5C", "ZOPPEL.EXE", "e:\\\x95\x5C\\ZOPPEL.EXE", true},
        {"e:\\\x95\x5C\\", "x", "e:\\\x95\x5C\\x", true},
        {"e:\\\x95\x5C", "x", "e:\\\x95\x5Cx", false},
    };
    for (const AppendCase& c : cases) {
        memfs::Reset();
        memfs::SetDoubleByteCodePage(c.doubleByte);
        char buffer[kPathSize];
        strcpy(buffer, c.path);
        EXPECT_TRUE(AppendPathComponent(buffer, sizeof buffer, c.component));
        EXPECT_STREQ(buffer, c.expected) << c.path << " + " << c.component;
    }
    // 255 + "\" + 4 = 260 characters: one too many for the buffer, which stays as it was.
    char buffer[kPathSize];
    std::string base(255, 'a');
    strcpy(buffer, base.c_str());
    EXPECT_FALSE(AppendPathComponent(buffer, sizeof buffer, "abcd"));
    EXPECT_EQ(std::string(buffer), base);
    EXPECT_TRUE(AppendPathComponent(buffer, sizeof buffer, "abc"));
    EXPECT_EQ(strlen(buffer), 259u);
}

TEST(Paths, StripLastComponentKnowsOnlyTheBackslash) {
    char path[kPathSize] = "c:\\a\\b";
    ASSERT_TRUE(StripLastComponent(path));
    EXPECT_STREQ(path, "c:\\a");
    ASSERT_TRUE(StripLastComponent(path));
    EXPECT_STREQ(path, "c:");
    EXPECT_FALSE(StripLastComponent(path));
    EXPECT_STREQ(path, "c:");

    const char* unchanged[] = {"\\a", "c:/a/b", "", "x"};
    for (const char* text : unchanged) {
        strcpy(path, text);
        EXPECT_FALSE(StripLastComponent(path)) << text;
        EXPECT_STREQ(path, text);
    }
    strcpy(path, "c:\\zoppel\\");
    ASSERT_TRUE(StripLastComponent(path));
    EXPECT_STREQ(path, "c:\\zoppel");

    // In code page 932 a trail byte 0x5C is no separator: the walk cuts only between
    // whole characters, and never leaves a lone lead byte at the end.
    memfs::Reset();
    memfs::SetDoubleByteCodePage(true);
    const Case doubleByte[] = {
        {"e:\\\x83\x51\x95\x5C\\new", "e:\\\x83\x51\x95\x5C"},
        {"e:\\\x83\x51\x95\x5C", "e:"},
        {"\x95\x5C\\a", "\x95\x5C"},
    };
    for (const Case& c : doubleByte) {
        strcpy(path, c.input);
        EXPECT_TRUE(StripLastComponent(path)) << c.input;
        EXPECT_STREQ(path, c.expected);
    }
    strcpy(path, "\x95\x5C");
    EXPECT_FALSE(StripLastComponent(path));
    memfs::SetDoubleByteCodePage(false);
}

TEST(Paths, PathsEqualFoldsOnlyAsciiCapitals) {
    struct EqualCase {
        const char* a;
        const char* b;
        bool equal;
    };
    const EqualCase cases[] = {
        {"C:\\ZOPPEL\\README.TXT", "c:\\zoppel\\readme.txt", true},
        {"c:\\zoppel", "c:\\zoppel\\", false},
        {"c:\\zoppel\\data", "c:\\zoppel\\\\data", false},
        {"c:/zoppel", "c:\\zoppel", false},
        {"C:\\PROGRA~1", "C:\\Program Files", false},
        {"c:\\\xc4", "c:\\\xe4", false},  // letters outside ASCII are not folded
        {"", "", true},
        {"a", "", false},
        {"[", "{", false},  // '[' is 'Z' + 1, not a capital
    };
    for (const EqualCase& c : cases) {
        EXPECT_EQ(PathsEqual(c.a, c.b), c.equal) << c.a << " vs " << c.b;
        EXPECT_EQ(PathsEqual(c.b, c.a), c.equal) << c.b << " vs " << c.a;
    }
}

TEST(Text, BoundedCopiesLeaveTheBufferAsItWasWhenTheyDoNotFit) {
    char buffer[8] = "abc";
    EXPECT_FALSE(CopyText(buffer, sizeof buffer, "12345678"));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(CopyText(buffer, sizeof buffer, "1234567"));
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_FALSE(AppendText(buffer, sizeof buffer, "8"));
    EXPECT_STREQ(buffer, "1234567");
    CopyText(buffer, sizeof buffer, "abc");
    EXPECT_TRUE(AppendText(buffer, sizeof buffer, "defg"));
    EXPECT_FALSE(AppendText(buffer, sizeof buffer, "h"));
    EXPECT_STREQ(buffer, "abcdefg");
}

TEST(Text, FormatTextReplacesOneArgumentAndCutsAtWholeCharacters) {
    memfs::Reset();
    char buffer[128];
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "Copying %s", "README.TXT"));
    EXPECT_STREQ(buffer, "Copying README.TXT");
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "Creating directory..", nullptr));
    EXPECT_STREQ(buffer, "Creating directory..");
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "100%% of %s", "x"));
    EXPECT_STREQ(buffer, "100% of x");
    // An argument is never read as a format.
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "Copying %s", "%s%n%d"));
    EXPECT_STREQ(buffer, "Copying %s%n%d");

    std::string name(300, 'n');
    EXPECT_FALSE(FormatText(buffer, sizeof buffer, "Copying %s", name.c_str()));
    EXPECT_EQ(strlen(buffer), 127u);
    EXPECT_EQ(std::string(buffer), "Copying " + name.substr(0, 119));

    // Cut before a double-byte character that would not fit whole.
    memfs::SetDoubleByteCodePage(true);
    char small[6];
    EXPECT_FALSE(FormatText(small, sizeof small, "abc%s", "d\x95\x5C"));
    EXPECT_STREQ(small, "abcd");
    EXPECT_TRUE(FormatText(small, sizeof small, "ab%s", "\x95\x5C"));
    EXPECT_STREQ(small, "ab\x95\x5C");
}

TEST(Text, StatusTextTooLongForItsLineKeepsItsStartAndEndsInDots) {
    memfs::Reset();
    char text[128];
    FormatStatusText(text, sizeof text, "Copying %s", "level1.dat");
    EXPECT_STREQ(text, "Copying level1.dat");
    std::string exact(127 - 8, 'e');  // "Copying " and 119 characters: just fits
    FormatStatusText(text, sizeof text, "Copying %s", exact.c_str());
    EXPECT_EQ(std::string(text), "Copying " + exact);
    std::string name(200, 'n');
    FormatStatusText(text, sizeof text, "Copying %s", name.c_str());
    EXPECT_EQ(std::string(text), "Copying " + name.substr(0, 116) + "...");
    // Never half a double-byte character before the dots.
    memfs::SetDoubleByteCodePage(true);
    std::string wide;
    for (int i = 0; i < 100; ++i) wide += "\x95\x5C";
    FormatStatusText(text, sizeof text, "Copying %s", wide.c_str());
    EXPECT_EQ(std::string(text), "Copying " + wide.substr(0, 116) + "...");
    FormatStatusText(text, sizeof text, "Copying x%s", wide.c_str());
    EXPECT_EQ(std::string(text), "Copying x" + wide.substr(0, 114) + "...");
}

}  // namespace

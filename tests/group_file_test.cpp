// The converter's reader of SETUP.INI: the file the setup writes, several groups,
// quoting, and input it must skip without harm.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grpconv/group_file.h"

namespace {

// Every item the reader yields, as "group|name|command|dir".
std::vector<std::string> Items(const std::string& text) {
    GroupReader reader;
    BeginGroupFile(&reader, text.data(), text.size());
    std::vector<std::string> items;
    GroupItem item;
    while (NextGroupItem(&reader, &item)) {
        items.push_back(std::string(item.group) + "|" + item.name + "|" + item.command + "|" + item.workingDir);
    }
    return items;
}

TEST(GroupFile, ReadsTheFileTheSetupWrites) {
    const std::string text =
        "[progman.groups]\r\n"
        "groupX=Zoppel\r\n"
        "[groupX]\r\n"
        "\"Zoppel\",\"C:\\PROGRA~1\\ZOPPEL\\ZOPPEL.EXE\",,,,\"C:\\Program Files\\Zoppel\"\r\n"
        "\"Order Form\",\"C:\\Program Files\\Zoppel\\ORDERFRM.DOC\",,,,\"C:\\Program Files\\Zoppel\"\r\n"
        "\"Readme\",\"C:\\Program Files\\Zoppel\\README.DOC\",,,,\"C:\\Program Files\\Zoppel\"\r\n"
        "\"Uninstall Zoppel\",\"C:\\Program Files\\Zoppel\\UNINSTAL.EXE\",,,,\"C:\\Program Files\\Zoppel\"\r\n";
    EXPECT_EQ(Items(text), (std::vector<std::string>{
        "Zoppel|Zoppel|C:\\PROGRA~1\\ZOPPEL\\ZOPPEL.EXE|C:\\Program Files\\Zoppel",
        "Zoppel|Order Form|C:\\Program Files\\Zoppel\\ORDERFRM.DOC|C:\\Program Files\\Zoppel",
        "Zoppel|Readme|C:\\Program Files\\Zoppel\\README.DOC|C:\\Program Files\\Zoppel",
        "Zoppel|Uninstall Zoppel|C:\\Program Files\\Zoppel\\UNINSTAL.EXE|C:\\Program Files\\Zoppel"}));
    // Without its last line end, and with bare LF line ends, it reads the same.
    std::string lf;
    for (char c : text) {
        if (c != '\r') lf += c;
    }
    lf.pop_back();
    EXPECT_EQ(Items(lf), Items(text));
}

TEST(GroupFile, SeveralGroupsAndSectionsInAnyCase) {
    const std::string text =
        "; written by hand\n"
        "[Progman.Groups]\n"
        "group1=Games\n"
        "GROUP2=Tools\n"
        "[unlisted]\n"
        "\"Ghost\",\"c:\\ghost.exe\",,,,\"c:\\\"\n"
        "[group2]\n"
        "\"Editor\",\"c:\\ed.exe\",c:\\ed.ico,0,,\"c:\\\"\n"
        "\n"
        "[GROUP1]\n"
        "  \"Zoppel\",\"z.exe\",,,,\"\"  \n";
    EXPECT_EQ(Items(text), (std::vector<std::string>{"Tools|Editor|c:\\ed.exe|c:\\", "Games|Zoppel|z.exe|"}));
}

TEST(GroupFile, SkipsWhatDoesNotParse) {
    const std::string good = "\"Good\",\"c:\\g.exe\",,,,\"c:\\\"\n";
    const char* badLines[] = {
        "\"Open,\"c:\\g.exe\",,,,\"c:\\\"",        // a missing quote
        "\"Bad\",\"c:\\g.exe\",,,,\"c:\\",           // the last field not closed
        "\"Bad\",\"c:\\g.exe\",,,\"c:\\\"",          // five fields
        "\"Bad\",\"c:\\g.exe\",,,,\"c:\\\",extra",   // seven
        "Bad,\"c:\\g.exe\",,,,\"c:\\\"",             // name not quoted
        "\"Bad\",\"c:\\g.exe\",,\"x\",,\"c:\\\"",    // a quote in a plain field
        "\"Ba/d\",\"c:\\g.exe\",,,,\"c:\\\"",        // not a file name
        "\"..\",\"c:\\g.exe\",,,,\"c:\\\"",
        "\"\",\"c:\\g.exe\",,,,\"c:\\\"",
        "no quotes at all",
        "\"",
        ",,,,,",
    };
    std::string text = "[progman.groups]\ngroupX=G\n[groupX]\n" + good;
    for (const char* line : badLines) text += std::string(line) + "\n";
    text += good;
    EXPECT_EQ(Items(text), (std::vector<std::string>(2, "G|Good|c:\\g.exe|c:\\")));

    // An overlong field skips its line; 259 characters still fit.
    std::string fits(259, 'f');
    std::string tooLong(260, 'f');
    std::string overlong = "[progman.groups]\ngroupX=G\n[groupX]\n"
                           "\"A\",\"" + tooLong + "\",,,,\"\"\n"
                           "\"B\",\"" + fits + "\",,,,\"\"\n";
    EXPECT_EQ(Items(overlong), std::vector<std::string>{"G|B|" + fits + "|"});

    // Group names that cannot be folder names, and a missing group list.
    EXPECT_TRUE(Items("[progman.groups]\ngroupX=a\\b\n[groupX]\n" + good).empty());
    EXPECT_TRUE(Items("[progman.groups]\n=G\n[]\n" + good).empty());
    EXPECT_TRUE(Items("[groupX]\n" + good).empty());
    EXPECT_TRUE(Items("").empty());
    EXPECT_TRUE(Items(std::string("\0\0[\n\"\0", 6)).empty());
}

TEST(GroupFile, NeverReadsPastTheGivenLength) {
    // The text is not terminated: a line cut at the end of the buffer is not read on.
    const std::string text = "[progman.groups]\ngroupX=G\n[groupX]\n\"Cut\",\"c:\\g.exe\",,,,\"c:\\\"";
    for (size_t cut = 0; cut < text.size(); ++cut) {
        std::vector<char> buffer(text.begin(), text.begin() + (long)cut);
        GroupReader reader;
        BeginGroupFile(&reader, buffer.data(), buffer.size());
        GroupItem item;
        while (NextGroupItem(&reader, &item)) {
        }
    }
    EXPECT_EQ(Items(text).size(), 1u);
}

}  // namespace

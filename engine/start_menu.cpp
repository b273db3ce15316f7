// Describes the Start-menu group in SETUP.INI in the Windows folder and starts the
// group converter on it; reaches the system only through platform/platform.h.
#include <string.h>

#include "../platform/platform.h"
#include "install.h"

static const char kGroupFileName[] = "SETUP.INI";
static const char kConverterCommand[] = "grpconv -o";

// Names and InstallList positions of the group's four items.
static const struct {
    const char* name;
    int installIndex;
} kGroupItems[] = {
    {"Zoppel", 0},
    {"Order Form", 1},
    {"Readme", 2},
    {"Uninstall Zoppel", 4},
};

static bool AppendItemLine(char* text, size_t size, const char* name, const char* command) {
    return AppendText(text, size, "\"") && AppendText(text, size, name) &&
           AppendText(text, size, "\",\"") && AppendText(text, size, command) &&
           AppendText(text, size, "\",,,,\"") && AppendText(text, size, gSetup.installDir) &&
           AppendText(text, size, "\"\r\n");
}

size_t FormatGroupFile(char* text, size_t size) {
    if (size == 0) return 0;
    text[0] = '\0';
    if (!AppendText(text, size, "[progman.groups]\r\ngroupX=Zoppel\r\n[groupX]\r\n")) return 0;
    for (const auto& item : kGroupItems) {
        char path[512];
        if (!CopyText(path, sizeof path, gSetup.installDir) ||
            !AppendPathComponent(path, sizeof path, InstallList[item.installIndex])) {
            return 0;
        }
        // Only the game's own program is given in its short form; when that cannot be
        // had, the long form serves.
        char shortPath[kPathSize];
        const char* command = path;
        if (item.installIndex == 0 && GetShortForm(path, shortPath, sizeof shortPath) == kSysOk) {
            command = shortPath;
        }
        if (!AppendItemLine(text, size, item.name, command)) return 0;
    }
    return strlen(text);
}

void CreateStartMenuGroup() {
    char iniPath[kPathSize];
    if (GetWindowsFolder(iniPath, sizeof iniPath) != kSysOk ||
        !AppendPathComponent(iniPath, sizeof iniPath, kGroupFileName)) {
        return;
    }
    char text[kGroupTextSize];
    size_t length = FormatGroupFile(text, sizeof text);
    if (length == 0) return;
    if (WriteNewFile(iniPath, text, (uint32_t)length) != kSysOk) return;
    StartHiddenCommand(kConverterCommand);
}

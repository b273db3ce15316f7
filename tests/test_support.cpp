// Shared fixtures of the engine tests; see test_support.h.
#include "test_support.h"

#include <string.h>

#include <algorithm>

void ReadDirectoryField(InstallUi* ui, char* text) {
    ui->events.push_back("read field");
    snprintf(text, kPathSize, "%s", ui->directoryField.c_str());
}

bool IsStartMenuChecked(InstallUi* ui) {
    ui->events.push_back("read check box");
    return ui->startMenuChecked;
}

void ShowStatus(InstallUi* ui, const char* format, const char* argument) {
    char text[128];
    FormatText(text, sizeof text, format, argument);
    ui->statuses.push_back(text);
    ui->events.push_back(std::string("status ") + text);
}

void ShowError(InstallUi* ui, const char* text) {
    ui->errors.push_back(text);
    ui->events.push_back(std::string("error ") + text);
}

void EnableButtons(InstallUi* ui, bool enabled) {
    ui->buttonsEnabled = enabled;
    ui->events.push_back(enabled ? "buttons on" : "buttons off");
}

void SetWaitCursor(InstallUi* ui) { ui->events.push_back("wait cursor"); }

void RepaintNow(InstallUi* ui) { ui->events.push_back("repaint"); }

void ShowFinishedPage(InstallUi* ui) {
    ui->finished = true;
    gSetup.stage = StageFinished;
    ui->events.push_back("finished page");
}

void EndSetup(InstallUi* ui) {
    ui->ended = true;
    ui->events.push_back("end");
}

std::string ContentOf(const std::string& name) {
    return "bytes of " + name + std::string(1, '\0') + "\xff\x01 end";
}

void LayOut(const Distribution& d) {
    for (const char* name : InstallList) {
        ASSERT_TRUE(memfs::AddFile(d.sourceDir + "\\" + name, ContentOf(name)));
    }
    ASSERT_TRUE(memfs::AddFile(d.sourceDir + "\\SETUP.EXE", ContentOf("SETUP.EXE")));
    if (!d.dataFolder) return;
    ASSERT_TRUE(memfs::AddFolder(d.sourceDir + "\\data"));
    for (const std::string& name : d.dataFiles) {
        ASSERT_TRUE(memfs::AddFile(d.sourceDir + "\\data\\" + name, ContentOf(name)));
    }
}

void FreshMachine(const std::string& sourceDir) {
    memfs::Reset();
    memfs::AddVolume('E', VolumeSpace{8, 512, 1000, 1000});
    memfs::AddVolume('D', VolumeSpace{8, 512, 1000000, 2000000});
    memset(&gSetup, 0, sizeof gSetup);
    snprintf(gSetup.sourceDir, kPathSize, "%s", sourceDir.c_str());
}

static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)tolower(c); });
    return text;
}

static bool OnRemovalList(const std::string& relative) {
    for (const char* entry : RemovalList) {
        if (Lower(relative) == Lower(entry)) return true;
    }
    return false;
}

std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::string& sourceDir, const std::string& installDir) {
    return LostFilesIn(before, memfs::Files(), sourceDir, installDir);
}

// Looks a path up in a listing the way the stand-in names files: case aside, and with
// doubled separators taken as one.
static std::optional<std::string> Lookup(const std::map<std::string, std::string>& files, std::string path) {
    for (size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
    for (const auto& [name, content] : files) {
        if (Lower(name) == Lower(path)) return content;
    }
    return std::nullopt;
}

std::vector<std::string> LostFilesIn(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after,
                                     const std::string& sourceDir, const std::string& installDir) {
    std::vector<std::string> lost;
    std::string prefix = Lower(sourceDir) + "\\";
    for (const auto& [path, content] : before) {
        if (Lower(path).rfind(prefix, 0) != 0) continue;
        if (Lookup(after, path) == content) continue;
        std::string relative = path.substr(prefix.size());
        std::string destination = installDir;
        if (destination.empty() || destination.back() != '\\') destination += "\\";
        destination += relative;
        if (Lookup(after, destination) == content) continue;
        if (OnRemovalList(relative)) continue;
        lost.push_back(path);
    }
    return lost;
}

// Shared fixtures of the engine tests; see test_support.h.
#include "test_support.h"

#include <string.h>

std::string ContentOf(const std::string& name) {
    return "bytes of " + name + std::string(1, '\0') + "\xff\x01 end";
}

void LayOut(const Distribution& d) {
    for (const char* name : InstallList) {
        if (name == d.without) continue;
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
    NewProcess(sourceDir);
}

void NewProcess(const std::string& sourceDir) {
    memset(&gSetup, 0, sizeof gSetup);
    snprintf(gSetup.sourceDir, kPathSize, "%s", sourceDir.c_str());
}

std::string Proposal(const std::string& sourceDir) {
    NewProcess(sourceDir);
    char text[kPathSize];
    ProposeInstallDir(text);
    return text;
}


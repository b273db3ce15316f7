// Fuzzes the whole install on the stand-in: arbitrary directory text (what the field
// can hold, any bytes, either code page), arbitrary data file names and an arbitrary
// install record. Whatever comes in, nothing crashes, no file of the game is lost,
// the user sees at most one box, and the window is left in a state it knows.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "engine/install.h"
#include "platform/memory/memory_platform.h"
#include "tests/no_loss.h"
#include "tests/recording_ui.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_install: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    memfs::Reset();
    memfs::AddVolume('E', VolumeSpace{8, 512, 1000, 1000});
    memfs::AddVolume('D', VolumeSpace{8, 512, 1000000, 2000000});
    memfs::SetDoubleByteCodePage(in.ConsumeBool());
    memset(&gSetup, 0, sizeof gSetup);
    strcpy(gSetup.sourceDir, "E:\\SETUP");

    InstallUi ui;
    ui.startMenuChecked = in.ConsumeBool();
    int record = in.ConsumeIntegralInRange(0, 3);  // none, key alone, text value, other type
    std::string field = in.ConsumeRandomLengthString(kPathSize);
    std::string location = in.ConsumeRandomLengthString(300);
    if (record >= 1) memfs::AddRegistryKey(kRecordKey);
    if (record >= 2) memfs::SetRegistryValue(kRecordKey, "location", record == 2 ? memfs::kRegSz : memfs::kRegDword, location);
    // A record of a move under way for this download, with whatever text.
    if (record == 3) memfs::SetRegistryValue(std::string(kRecordKey) + "\\Pending", "E:\\SETUP", memfs::kRegSz, location);

    for (const char* name : InstallList) {
        memfs::AddFile(std::string("E:\\SETUP\\") + name, std::string("game file ") + name);
    }
    memfs::AddFolder("E:\\SETUP\\data");
    int dataFiles = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < dataFiles; ++i) {
        std::string name = in.ConsumeRandomLengthString(kPathSize);
        // Names the stand-in refuses (bad characters, too long) are simply not there.
        memfs::AddFile("E:\\SETUP\\data\\" + name, "data file " + std::to_string(i) + " " + name);
    }
    const auto before = memfs::Files();

    char proposed[kPathSize];
    memset(proposed, 'x', sizeof proposed);
    ProposeInstallDir(proposed);
    Check(memchr(proposed, '\0', sizeof proposed) != nullptr, "unterminated location");

    // The field holds what a window text can: up to its NUL, at most 259 characters.
    ui.directoryField = field.substr(0, strnlen(field.c_str(), kPathSize - 1));
    RunInstall(&ui);

    Check(memfs::OpenHandles() == 0, "a key or listing left open");
    Check(ui.errors.size() <= 1, "more than one box");
    Check(ui.finished != ui.ended, "neither or both of the completion page and the end");
    Check(ui.finished == ui.errors.empty(), "a box without the end, or the end without a box");
    Check(gSetup.busyCount == 0 || (gSetup.busyCount == 1 && ui.ended), "busy count");
    Check(memchr(gSetup.installDir, '\0', kPathSize) && memchr(gSetup.dataDir, '\0', kPathSize), "unterminated path");
    // The record is written once the install has run to its end ("status " clears the
    // status line there), also when data stayed behind and the box says so.
    bool reachedEnd = std::find(ui.events.begin(), ui.events.end(), "status ") != ui.events.end();
    Check(reachedEnd == memfs::RegistryValue(kRecordKey, "version").has_value(), "record without the end");

    // A file may end up elsewhere than planned when the install folder is the source's
    // own data folder; it is lost only when its bytes are nowhere at all.
    auto lost = LostFiles(before, gSetup.sourceDir, gSetup.installDir);
    if (!lost.empty()) {
        const auto after = memfs::Files();
        for (const std::string& path : lost) {
            bool somewhere = false;
            for (const auto& entry : after) somewhere = somewhere || entry.second == before.at(path);
            if (!somewhere) {
                fprintf(stderr, "lost %s installing into [%s]\n", path.c_str(), gSetup.installDir);
                abort();
            }
        }
    }
    return 0;
}

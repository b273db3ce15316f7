// Shared fixtures of the engine tests: a recording InstallUi, a source folder built
// from a short description, and the check that no file of the game was lost.
#ifndef ZOPPEL_TEST_SUPPORT_H
#define ZOPPEL_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/install.h"
#include "platform/memory/memory_platform.h"

// Records every call the engine makes on the window, in order, as one line each.
struct InstallUi {
    std::string directoryField = "c:\\zoppel";
    bool startMenuChecked = true;
    bool buttonsEnabled = true;
    bool ended = false;
    bool finished = false;
    std::vector<std::string> events;    // "status Copying files.", "error ...", "buttons off", ...
    std::vector<std::string> statuses;  // the status texts alone
    std::vector<std::string> errors;    // the error box texts alone
};

// A source folder with the six install files, SETUP.EXE and the given data files.
// Every file has content of its own, so moved files can be told apart.
struct Distribution {
    std::string sourceDir = "E:\\SETUP";
    std::vector<std::string> dataFiles = {"big.lev", "level1.dat", "sound.wav"};
    bool dataFolder = true;
};
void LayOut(const Distribution& distribution);
std::string ContentOf(const std::string& name);

// Resets the stand-in with volumes C: and E: and an empty gSetup whose sourceDir is
// `sourceDir`; the field of `ui` is set to `installDir`.
void FreshMachine(const std::string& sourceDir);

// Every file that was under `sourceDir` in `before` is, with its bytes, either still
// there or at its destination under `installDir`; only files the removal list deletes
// may be gone. Returns the lost files, empty when none was.
std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::string& sourceDir, const std::string& installDir);
// The same check against `after`, a listing of every file taken at some point.
std::vector<std::string> LostFilesIn(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after,
                                     const std::string& sourceDir, const std::string& installDir);

#endif

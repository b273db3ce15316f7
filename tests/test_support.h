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
#include "no_loss.h"
#include "recording_ui.h"

// A source folder with the six install files, SETUP.EXE and the given data files.
// Every file has content of its own, so moved files can be told apart.
struct Distribution {
    std::string sourceDir = "E:\\SETUP";
    std::vector<std::string> dataFiles = {"big.lev", "level1.dat", "sound.wav"};
    bool dataFolder = true;
    std::string without;  // an install file the download lacks
};
void LayOut(const Distribution& distribution);
std::string ContentOf(const std::string& name);

// Resets the stand-in with volumes C: and E: and an empty gSetup whose sourceDir is
// `sourceDir`; the field of `ui` is set to `installDir`.
void FreshMachine(const std::string& sourceDir);
// gSetup as a new process of the setup started from `sourceDir` has it.
void NewProcess(const std::string& sourceDir);
// The folder the dialog of such a process proposes.
std::string Proposal(const std::string& sourceDir);

#endif

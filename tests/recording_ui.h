// An InstallUi that records every call the engine makes on the window, for the tests
// and the fuzzers. No test framework here.
#ifndef ZOPPEL_RECORDING_UI_H
#define ZOPPEL_RECORDING_UI_H

#include <string>
#include <vector>

#include "engine/install_ui.h"

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

#endif

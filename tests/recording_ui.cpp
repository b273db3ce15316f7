// The recording InstallUi; see recording_ui.h.
#include "recording_ui.h"

#include <stdio.h>

#include "engine/install.h"

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
    FormatStatusText(text, sizeof text, format, argument);
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

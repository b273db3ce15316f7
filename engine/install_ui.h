// The window operations the install engine calls. The engine only names InstallUi;
// the program that links the engine defines the struct and every function below
// (the setup window in the real program, a recording stand-in in the tests).
#ifndef ZOPPEL_INSTALL_UI_H
#define ZOPPEL_INSTALL_UI_H

#include <stddef.h>

struct InstallUi;

// Fills `text` (kPathSize bytes) with the directory field, at most 259 characters.
void ReadDirectoryField(InstallUi* ui, char* text);
bool IsStartMenuChecked(InstallUi* ui);
// Shows `format` with its "%s" replaced by `argument` (which may be null when the
// format has none) on the status line, shortened to fit.
void ShowStatus(InstallUi* ui, const char* format, const char* argument);
// An error box titled "Zoppel Setup" with one OK button; returns once dismissed.
void ShowError(InstallUi* ui, const char* text);
void EnableButtons(InstallUi* ui, bool enabled);
void SetWaitCursor(InstallUi* ui);
void RepaintNow(InstallUi* ui);
// Switches to the completion page and sets gSetup.stage to StageFinished.
void ShowFinishedPage(InstallUi* ui);
// Ends the setup window; the program then exits.
void EndSetup(InstallUi* ui);

#endif

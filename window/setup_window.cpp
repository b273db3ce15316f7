// The program entry and the setup dialog: proposes an install folder, runs the
// install on Continue and shows the completion page. Implements InstallUi for the
// engine. Win32 only (USER32, SHELL32, KERNEL32).
#include <windows.h>
#include <shlobj.h>

#include "../engine/install.h"
#include "../platform/win32/ansi_paths.h"
#include "../platform/win32/dll_search.h"
#include "resource_ids.h"

// The engine reaches the window through this: the dialog it runs in.
struct InstallUi {
    HWND dialog;
};

static const char kOldWindowsMessage[] = "Zoppel does not work with this version of Windows.";
static const size_t kStatusSize = 128;

void ReadDirectoryField(InstallUi* ui, char* text) {
    text[0] = '\0';
    GetWindowTextA(GetDlgItem(ui->dialog, IDC_INSTALL_DIR), text, (int)kPathSize);
}

bool IsStartMenuChecked(InstallUi* ui) {
    return IsDlgButtonChecked(ui->dialog, IDC_START_MENU) == BST_CHECKED;
}

void ShowStatus(InstallUi* ui, const char* format, const char* argument) {
    char text[kStatusSize];
    FormatStatusText(text, sizeof text, format, argument);
    SetDlgItemTextA(ui->dialog, IDC_STATUS, text);
}

void ShowError(InstallUi* ui, const char* text) {
    MessageBoxA(ui->dialog, text, kMessageTitle, MB_OK);
}

void EnableButtons(InstallUi* ui, bool enabled) {
    EnableWindow(GetDlgItem(ui->dialog, IDOK), enabled);
    EnableWindow(GetDlgItem(ui->dialog, IDCANCEL), enabled);
}

void SetWaitCursor(InstallUi*) {
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void RepaintNow(InstallUi* ui) {
    UpdateWindow(ui->dialog);
}

void ShowFinishedPage(InstallUi* ui) {
    static const int kCollectingControls[] = {
        IDC_INSTALL_DIR, IDC_PROMPT, IDC_STATUS, IDC_BROWSE, IDC_START_MENU, IDC_EXIT,
    };
    for (int id : kCollectingControls) ShowWindow(GetDlgItem(ui->dialog, id), SW_HIDE);
    ShowWindow(GetDlgItem(ui->dialog, IDC_DONE_TEXT), SW_SHOW);
    ShowWindow(GetDlgItem(ui->dialog, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(ui->dialog, IDCANCEL), SW_HIDE);
    gSetup.stage = StageFinished;
    HWND exitButton = GetDlgItem(ui->dialog, IDC_EXIT);
    ShowWindow(exitButton, SW_SHOW);
    SendMessageA(ui->dialog, DM_SETDEFID, IDC_EXIT, 0);
    SetFocus(exitButton);
}

void EndSetup(InstallUi* ui) {
    EndDialog(ui->dialog, 0);
}

static void CentreOnScreen(HWND dialog) {
    RECT frame;
    GetWindowRect(dialog, &frame);
    int x = (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2;
    SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

static bool WindowsTooOld() {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwMajorVersion < 4;
}

static INT_PTR InitSetupDialog(HWND dialog) {
    if (WindowsTooOld()) {
        MessageBoxA(dialog, kOldWindowsMessage, kMessageTitle, MB_OK);
        EndDialog(dialog, 0);
        return FALSE;
    }
    gSetup.busyCount = 0;
    gSetup.stage = StageCollecting;
    CentreOnScreen(dialog);
    SetWindowTextA(dialog, kMessageTitle);
    SendDlgItemMessageA(dialog, IDC_INSTALL_DIR, EM_LIMITTEXT, kPathSize, 0);
    char location[kPathSize];
    ProposeInstallDir(location);
    SetDlgItemTextA(dialog, IDC_INSTALL_DIR, location);
    SendDlgItemMessageA(dialog, IDC_INSTALL_DIR, EM_SETSEL, 0, -1);
    SetFocus(GetDlgItem(dialog, IDC_INSTALL_DIR));
    CheckDlgButton(dialog, IDC_START_MENU, BST_CHECKED);
    // The template marks both Continue and Exit as default buttons, and the dialog
    // manager takes the last one: Enter in the field would then press the hidden Exit.
    SendMessageA(dialog, DM_SETDEFID, IDOK, 0);
    return FALSE;  // the focus is set
}

static void BrowseForInstallDir(HWND dialog) {
    char path[kPathSize];
    path[0] = '\0';
    BROWSEINFOA browse;
    ZeroMemory(&browse, sizeof browse);
    browse.hwndOwner = dialog;
    browse.pszDisplayName = path;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST item = SHBrowseForFolderA(&browse);
    if (item == NULL) return;
    // When the conversion fails, the picker's display name is still in `path`. A
    // folder whose name the code page cannot hold goes in by its short form.
    SHGetPathFromIDListA(item, path);
    typedef BOOL(WINAPI * PathFromIDListWFn)(LPCITEMIDLIST, LPWSTR);
    HMODULE shell = GetModuleHandleA("shell32.dll");
    FARPROC pathFromIDListW = shell != NULL ? GetProcAddress(shell, "SHGetPathFromIDListW") : NULL;
    WCHAR wide[MAX_PATH];
    char lossless[kPathSize];
    if (pathFromIDListW != NULL && ((PathFromIDListWFn)(void*)pathFromIDListW)(item, wide) &&
        AnsiFormOfPath(wide, lossless, sizeof lossless)) {
        CopyText(path, sizeof path, lossless);
    }
    SetDlgItemTextA(dialog, IDC_INSTALL_DIR, path);
    IMalloc* shellMalloc;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
        shellMalloc->Free(item);
        shellMalloc->Release();
    }
}

static INT_PTR OnCommand(HWND dialog, WPARAM command) {
    bool busy = gSetup.busyCount > 0;
    switch (command) {
    case IDOK:
        if (busy) return FALSE;
        if (gSetup.stage == StageCollecting) {
            InstallUi ui = {dialog};
            RunInstall(&ui);
        } else {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case IDCANCEL:
        if (busy) return FALSE;
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_BROWSE:
        if (gSetup.stage != StageCollecting) return FALSE;
        BrowseForInstallDir(dialog);
        return TRUE;
    case IDC_EXIT:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return InitSetupDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_CLOSE:
        if (gSetup.busyCount <= 0) EndDialog(dialog, 0);
        return TRUE;
    case WM_SETCURSOR:
        if (gSetup.busyCount <= 0) return FALSE;
        SetCursor(LoadCursorA(NULL, IDC_WAIT));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    return FALSE;
}

static void RunSetup() {
    LoadLibrariesFromSystemOnly();
    // Without a usable source folder the install stops at its first file.
    LocateSourceDir();
    DialogBoxParamA(GetModuleHandleA(NULL), SETUP_DIALOG_NAME, NULL, SetupDialogProc, 0);
}

// The process entry. The program needs none of the C runtime's start-up (no command
// line, no static constructors), so the linker starts it here; the command line and
// show state are ignored, and the exit code is always 0.
extern "C" void SetupEntry() {
    RunSetup();
    ExitProcess(0);
}

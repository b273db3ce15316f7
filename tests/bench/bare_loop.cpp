// The floor under the benchmark's install: the same files moved with nothing but the
// calls a move needs (CopyFileA, SetFileAttributesA, FlushFileBuffers, DeleteFileA), in the setup's
// order, each file named on a status line as the setup names it, then the removal
// list's deletes, in a dialog of the same kind. Continue starts the moves and the
// Exit button shows when they are done, as in the setup, so that the benchmark's
// driver times both alike. Exits with 1 when a file was not moved.
// Usage: BARELOOP.EXE SOURCE-FOLDER INSTALL-FOLDER
#include <windows.h>

#include <stdio.h>

static const char* const kInstallList[] = {
    "ZOPPEL.EXE", "ORDERFRM.DOC", "README.DOC", "README.TXT", "UNINSTAL.EXE", "UNINSTAL.BAT",
};
// The removal list's length, and its first entry; the other names are no more costly.
static const int kRemovalCount = 38;
static const char kRemoved[] = "data\\big.lev";
static const int kStatusId = 1006;
static const int kExitId = 1009;
static const char* gSource;
static const char* gTarget;
static bool gAllMoved = true;

static void MoveOne(HWND dialog, const char* from, const char* to, const char* name) {
    char status[128];
    snprintf(status, sizeof status, "Copying %s", name);
    SetDlgItemTextA(dialog, kStatusId, status);
    if (!CopyFileA(from, to, FALSE)) {
        gAllMoved = false;
        return;
    }
    SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
    HANDLE copy = CreateFileA(to, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (copy == INVALID_HANDLE_VALUE || !FlushFileBuffers(copy)) gAllMoved = false;
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
    if (!DeleteFileA(from)) gAllMoved = false;
}

static void MoveAll(HWND dialog) {
    char from[MAX_PATH];
    char to[MAX_PATH];
    CreateDirectoryA(gTarget, NULL);
    snprintf(to, sizeof to, "%s\\data", gTarget);
    CreateDirectoryA(to, NULL);
    for (const char* name : kInstallList) {
        snprintf(from, sizeof from, "%s\\%s", gSource, name);
        snprintf(to, sizeof to, "%s\\%s", gTarget, name);
        MoveOne(dialog, from, to, name);
    }
    WIN32_FIND_DATAA found;
    snprintf(from, sizeof from, "%s\\data\\*.*", gSource);
    HANDLE listing = FindFirstFileA(from, &found);
    if (listing == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        snprintf(from, sizeof from, "%s\\data\\%s", gSource, found.cFileName);
        snprintf(to, sizeof to, "%s\\data\\%s", gTarget, found.cFileName);
        MoveOne(dialog, from, to, found.cFileName);
    } while (FindNextFileA(listing, &found));
    FindClose(listing);
    snprintf(from, sizeof from, "%s\\data", gSource);
    RemoveDirectoryA(from);
    SetDlgItemTextA(dialog, kStatusId, "");
    for (int i = 0; i < kRemovalCount; ++i) {
        snprintf(to, sizeof to, "%s\\%s", gTarget, kRemoved);
        DeleteFileA(to);
    }
}

static INT_PTR CALLBACK LoopDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    if (wParam == IDOK) {
        MoveAll(dialog);
        ShowWindow(GetDlgItem(dialog, kExitId), SW_SHOW);
    } else if (wParam == kExitId || wParam == IDCANCEL) {
        EndDialog(dialog, 0);
    }
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    gSource = argv[1];
    gTarget = argv[2];
    if (DialogBoxParamA(GetModuleHandleA(NULL), "LOOP", NULL, LoopDialogProc, 0) == -1) return 2;
    return gAllMoved ? 0 : 1;
}

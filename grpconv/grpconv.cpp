// GRPCONV.EXE, the program group converter that ships beside SETUP.EXE for systems
// that have none. "grpconv -o" reads SETUP.INI from the Windows folder and makes, in
// the current user's Start-menu Programs folder, one folder per group with one
// shortcut per item. It shows no window; bad input is skipped. Win32 only (KERNEL32,
// SHELL32, OLE32).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "../platform/win32/dll_search.h"
#include "group_file.h"

static const char kGroupFileName[] = "\\SETUP.INI";
static const char kLinkSuffix[] = ".lnk";
// SETUP.INI is small; a larger file is not one the setup wrote.
static const DWORD kMaxFileSize = 32768;
static char gFileText[kMaxFileSize];
static GroupReader gReader;  // its tables are too large for a comfortable stack frame

// Appends `text` to `buffer` of `size` bytes; false, with the buffer unchanged, when
// it would not fit.
static bool Append(char* buffer, size_t size, const char* text) {
    size_t used = (size_t)lstrlenA(buffer);
    size_t length = (size_t)lstrlenA(text);
    if (used + length >= size) return false;
    CopyMemory(buffer + used, text, length + 1);
    return true;
}

static bool WantsConversion(const char* commandLine) {
    // The command line is "grpconv -o" (the program's own name first, maybe quoted).
    for (const char* p = commandLine; *p; ++p) {
        if ((p[0] == '-' || p[0] == '/') && (p[1] == 'o' || p[1] == 'O') &&
            (p[2] == '\0' || p[2] == ' ') && p > commandLine && p[-1] == ' ') {
            return true;
        }
    }
    return false;
}

static DWORD ReadGroupFile() {
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    path[length] = '\0';
    if (length > 0 && path[length - 1] == '\\') path[length - 1] = '\0';
    if (!Append(path, sizeof path, kGroupFileName)) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(file, NULL);
    DWORD read = 0;
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxFileSize &&
              ReadFile(file, gFileText, size, &read, NULL) && read == size;
    CloseHandle(file);
    return ok ? read : 0;
}

static bool ProgramsFolder(char* path) {
    LPITEMIDLIST item = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &item)) || item == NULL) return false;
    bool ok = SHGetPathFromIDListA(item, path) != FALSE;
    IMalloc* shellMalloc;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
        shellMalloc->Free(item);
        shellMalloc->Release();
    }
    return ok;
}

// Writes (or rewrites) one shortcut; a failure skips the item.
static void SaveShortcut(const char* linkPath, const GroupItem& item) {
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))) {
        return;
    }
    IPersistFile* file = NULL;
    WCHAR widePath[MAX_PATH];
    if (SUCCEEDED(link->SetPath(item.command)) && SUCCEEDED(link->SetWorkingDirectory(item.workingDir)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) &&
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) > 0) {
        file->Save(widePath, TRUE);
    }
    if (file) file->Release();
    link->Release();
}

static void ConvertGroups() {
    DWORD length = ReadGroupFile();
    if (length == 0) return;
    char programs[MAX_PATH];
    if (!ProgramsFolder(programs)) return;
    BeginGroupFile(&gReader, gFileText, length);
    GroupItem item;
    while (NextGroupItem(&gReader, &item)) {
        char folder[MAX_PATH];
        folder[0] = '\0';
        if (!Append(folder, sizeof folder, programs) || !Append(folder, sizeof folder, "\\") ||
            !Append(folder, sizeof folder, item.group)) {
            continue;
        }
        // An existing group is updated: its folder is reused, its shortcuts replaced.
        if (!CreateDirectoryA(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) continue;
        char linkPath[MAX_PATH];
        linkPath[0] = '\0';
        if (Append(linkPath, sizeof linkPath, folder) && Append(linkPath, sizeof linkPath, "\\") &&
            Append(linkPath, sizeof linkPath, item.name) && Append(linkPath, sizeof linkPath, kLinkSuffix)) {
            SaveShortcut(linkPath, item);
        }
    }
}

// The process entry; the program needs none of the C runtime's start-up.
extern "C" void ConverterEntry() {
    // It starts from the same download folder as the setup, and the shell's link
    // object loads DLLs of its own.
    LoadLibrariesFromSystemOnly();
    if (WantsConversion(GetCommandLineA()) && SUCCEEDED(CoInitialize(NULL))) {
        ConvertGroups();
        CoUninitialize();
    }
    ExitProcess(0);
}

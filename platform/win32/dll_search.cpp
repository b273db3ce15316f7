// Limits the DLL search of a shipped program as far as each Windows version allows
// without breaking the shell's objects; the calls are looked up at run time, since
// the first systems lack them.
#include <windows.h>

#include "dll_search.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFn)(LPCSTR);

static bool IsVista() {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
}

void LoadLibrariesFromSystemOnly() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    // Windows 7 and later (Windows 7 with its 2011 loader update): the system folder
    // only. On Vista with that update, CoCreateInstance(CLSID_ShellLink) has been seen
    // to fail after this call, so Vista takes the older way below.
    FARPROC setDefault = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault != NULL && !IsVista() &&
        ((SetDefaultDllDirectoriesFn)(void*)setDefault)(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // Windows XP SP1 to Vista: at least the current folder leaves the search. Earlier
    // systems have no search order to change.
    FARPROC setDirectory = GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDirectory != NULL) ((SetDllDirectoryFn)(void*)setDirectory)("");
}

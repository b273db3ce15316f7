// Turns wide paths into ANSI ones that name the same thing, or says that none does.
// The wide calls are looked up at run time: Windows 95, 98 and ME have only stubs.
#include "ansi_paths.h"

typedef DWORD(WINAPI* GetShortPathNameWFn)(LPCWSTR, LPWSTR, DWORD);

static bool SameWide(const WCHAR* a, const WCHAR* b) {
    for (; *a == *b; ++a, ++b) {
        if (*a == 0) return true;
    }
    return false;
}

// Converts `wide` into the active code page; true only when nothing was lost (no
// default character, no best-fit look-alike).
static bool ConvertsWithoutLoss(const WCHAR* wide, char* buffer, int size) {
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, size, NULL, &usedDefault) > 0) {
        return !usedDefault;
    }
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) return false;
    // NT 4 knows no WC_NO_BEST_FIT_CHARS, and a UTF-8 code page takes no used-default
    // report: there a round trip tells whether the text came through whole.
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, size, NULL, NULL) == 0) return false;
    WCHAR back[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, buffer, -1, back, MAX_PATH) > 0 && SameWide(back, wide);
}

bool AnsiFormOfPath(const WCHAR* wide, char* buffer, int size) {
    if (ConvertsWithoutLoss(wide, buffer, size)) return true;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC shortPathName = kernel != NULL ? GetProcAddress(kernel, "GetShortPathNameW") : NULL;
    if (shortPathName == NULL) return false;
    WCHAR shortPath[MAX_PATH];
    DWORD length = ((GetShortPathNameWFn)(void*)shortPathName)(wide, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && ConvertsWithoutLoss(shortPath, buffer, size);
}

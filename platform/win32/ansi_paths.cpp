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

// Converts `wide` into the active code page; true only when nothing was lost: the
// text converts back to the very same wide text. The used-default report turns a
// "?" away at once; a best-fit look-alike shows only in the round trip, on a system
// that ignores WC_NO_BEST_FIT_CHARS as on one that refuses it (NT 4) or gives no
// report (a UTF-8 code page).
static bool ConvertsWithoutLoss(const WCHAR* wide, char* buffer, int size) {
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, size, NULL, &usedDefault) == 0) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) return false;
        if (WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, size, NULL, NULL) == 0) return false;
    } else if (usedDefault) {
        return false;
    }
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

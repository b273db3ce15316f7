// Drives the running setup dialog from a second Win32 program under Wine, as a user
// would, and reads back what it shows and what it left. Each argument is one step;
// steps run in order and the first that fails ends the program with exit code 1.
// Every wait polls its condition with a deadline.
//
//   dialog                 wait for the setup dialog
//   text ID                print "ID=<text>" of a control
//   wait-text ID TEXT      wait until a control shows TEXT, read as the system keeps it:
//                          a setup busy copying need not answer
//   set ID TEXT            replace a control's text
//   type ID TEXT           type TEXT into a control, one key press a character
//   click ID               press a button (BM_CLICK)
//   command ID             post WM_COMMAND ID to the dialog, as a click would
//   close                  the close box (SC_CLOSE)
//   key ID return|escape   a key press on a control (ID 0: the focused one)
//   state ID               print "ID visible=V enabled=E checked=C"
//   wait-visible ID 0|1    wait until a control is hidden or shown
//   focus                  print "focus=ID" of the focused control
//   barrier                wait until the dialog has handled everything posted so far
//   box                    wait for a "Zoppel Setup" message box; print "box=<text>"
//   no-box                 fail if a message box is up
//   ok-box                 press OK on the message box
//   picker                 wait for the folder picker the dialog opened
//   cancel-picker          cancel the folder picker
//   picker-count           print "pickers=N", the folder pickers open now
//   pick-top               choose the picker's top folder and press OK
//   gone                   wait until the dialog has closed
//   alive                  fail unless the dialog is still open
//   end-process            end the setup's process at once, as a kill or a power cut does
//   shot FILE              save a picture of the dialog as a BMP file
//   reg NAME               print the install record's value NAME: "NAME=<text>" with
//                          "type=T size=S", or "NAME missing"
//   attrs PATH             print "attrs=<hex>" or "attrs missing"
//   short PATH             print "short=<the short (8.3) form of PATH>"
//   look-up PATH           print what the setup's look-up of PATH gives, and what its
//                          listing of the name (the first Windows 95's) gives:
//                          "file SIZE TIME", "folder" or "error=N", joined by "|"
//   group NAME COUNT       wait until the Start-menu group NAME holds COUNT shortcuts
//                          that load; print "link NAME|TARGET|START-IN" for each
//   group-count PREFIX     print "groups=G links=L": the Start-menu folders whose name
//                          starts with PREFIX, and the shortcuts in them
//   timed-continue SECONDS press Continue and wait up to SECONDS for the completion
//                          page; print "install_ms=<milliseconds between the two>"
//   window TITLE           wait for any visible top-level window titled TITLE
//   version PATH           print a program's version information, read through
//                          GetFileVersionInfoA and VerQueryValueA: "fixed=A.B.C.D
//                          product=A.B.C.D", "translation=LANG-CODEPAGE", then one
//                          "NAME=<text>" line per string of that translation
//   manifest PATH          print the manifest resource linked into a program
//   code-page              print "acp=N", the ANSI code page this process runs in
//   idle                   stay alive (keeps Wine's desktop up between programs)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/win32/look_up.h"

static const char kTitle[] = "Zoppel Setup";
static const DWORD kWaitMs = 30000;
static const int kFieldId = 1000;

static HWND gDialog;

static void Fail(const char* what, const char* detail) {
    fprintf(stderr, "driver: %s %s\n", what, detail ? detail : "");
    fflush(stdout);
    ExitProcess(1);
}

// Calls `test` every 20 ms until it is true or the deadline passes.
template <typename Test>
static bool WaitFor(Test test, DWORD limitMs = kWaitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (test()) return true;
        if (GetTickCount() - start > limitMs) return false;
        Sleep(20);
    }
}

struct Search {
    bool wantBox;
    HWND found;
};

static BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
    Search* search = (Search*)param;
    char title[64];
    char cls[64];
    if (!GetWindowTextA(window, title, sizeof title) || strcmp(title, kTitle) != 0) return TRUE;
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    bool isDialog = GetDlgItem(window, kFieldId) != NULL;
    bool isBox = GetDlgItem(window, 0xFFFF) != NULL && !isDialog;
    if ((search->wantBox && isBox) || (!search->wantBox && isDialog)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

static HWND FindTop(bool box) {
    Search search = {box, NULL};
    EnumWindows(MatchTopWindow, (LPARAM)&search);
    return search.found;
}

struct Pickers {
    HWND owner;
    HWND found;
    int count;
};

// The folder picker: a dialog window owned by the setup dialog that is not our box.
static BOOL CALLBACK MatchPicker(HWND window, LPARAM param) {
    Pickers* pickers = (Pickers*)param;
    char title[64];
    char cls[64];
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (GetWindow(window, GW_OWNER) == pickers->owner && strcmp(cls, "#32770") == 0 &&
        strcmp(title, kTitle) != 0 && IsWindowVisible(window)) {
        pickers->found = window;
        ++pickers->count;
    }
    return TRUE;
}

static Pickers FindPickers() {
    Pickers pickers = {gDialog, NULL, 0};
    EnumWindows(MatchPicker, (LPARAM)&pickers);
    return pickers;
}

static HWND Control(int id) {
    if (!gDialog) Fail("no dialog:", "run 'dialog' first");
    HWND control = GetDlgItem(gDialog, id);
    if (!control) Fail("no control", nullptr);
    return control;
}

static void ReadText(HWND window, char* text, int size) {
    DWORD_PTR length = 0;
    text[0] = '\0';
    if (!SendMessageTimeoutA(window, WM_GETTEXT, size, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length)) {
        Fail("window does not answer", nullptr);
    }
}

static HWND FocusedControl() {
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(gDialog, NULL);
    if (!GetGUIThreadInfo(thread, &info)) return NULL;
    return info.hwndFocus;
}

static void PressKey(HWND target, UINT key) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_CHAR, key == VK_RETURN ? '\r' : 0x1B, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

static LRESULT FieldLimit() {
    DWORD_PTR limit = 0;
    SendMessageTimeoutA(Control(kFieldId), EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 5000, &limit);
    return (LRESULT)limit;
}

// Posted messages are handled in order: once the field shows a text limit posted
// after them, everything posted before has been handled too. The limit is put back.
static void Barrier() {
    LRESULT was = FieldLimit();
    LRESULT marker = was == 12345 ? 54321 : 12345;
    PostMessageA(Control(kFieldId), EM_LIMITTEXT, (WPARAM)marker, 0);
    if (!WaitFor([&] { return FieldLimit() == marker; })) Fail("barrier not reached", nullptr);
    PostMessageA(Control(kFieldId), EM_LIMITTEXT, (WPARAM)was, 0);
    if (!WaitFor([&] { return FieldLimit() == was; })) Fail("barrier not reached", nullptr);
}

static void SaveShot(const char* file) {
    // Paint everything first: a window just shown may not have painted yet.
    RedrawWindow(gDialog, NULL, NULL, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Barrier();
    RECT frame;
    GetWindowRect(gDialog, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // Copied from the screen: PrintWindow across processes gives a blank picture.
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    GdiFlush();
    DWORD rowSize = ((DWORD)width * 3 + 3) & ~3u;
    DWORD imageSize = rowSize * (DWORD)height;
    BITMAPFILEHEADER header;
    ZeroMemory(&header, sizeof header);
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    FILE* out = fopen(file, "wb");
    if (!out) Fail("cannot write", file);
    fwrite(&header, sizeof header, 1, out);
    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    fwrite(bits, imageSize, 1, out);
    fclose(out);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

static void PrintRecordValue(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kestrova\\Zoppel", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        printf("%s missing\n", name);
        return;
    }
    char data[1024];
    DWORD type = 0;
    DWORD size = sizeof data - 1;
    LONG result = RegQueryValueExA(key, name, NULL, &type, (BYTE*)data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        printf("%s missing\n", name);
        return;
    }
    data[size] = '\0';
    printf("%s=%s type=%lu size=%lu\n", name, data, type, size);
}

static void ProgramsFolder(char* path) {
    if (!SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, FALSE)) Fail("no Programs folder", nullptr);
}

// Reads one shortcut's target and start-in folder; false when it does not load.
static bool ReadShortcut(const char* path, char* target, char* startIn) {
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))) {
        return false;
    }
    IPersistFile* file = NULL;
    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) &&
              SUCCEEDED(file->Load(widePath, STGM_READ)) &&
              SUCCEEDED(link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH)) &&
              SUCCEEDED(link->GetWorkingDirectory(startIn, MAX_PATH));
    if (file) file->Release();
    link->Release();
    return ok;
}

// The shortcuts of one group, as "link NAME|TARGET|START-IN" lines; the count of
// those that load goes to `loaded`.
static int ListGroup(const char* group, char* out, size_t size, int* loaded) {
    char folder[MAX_PATH];
    ProgramsFolder(folder);
    char pattern[MAX_PATH * 2];
    snprintf(pattern, sizeof pattern, "%s\\%s\\*.lnk", folder, group);
    int count = 0;
    *loaded = 0;
    out[0] = '\0';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        ++count;
        char path[MAX_PATH * 2];
        char target[MAX_PATH] = "";
        char startIn[MAX_PATH] = "";
        snprintf(path, sizeof path, "%s\\%s\\%s", folder, group, data.cFileName);
        if (ReadShortcut(path, target, startIn)) {
            ++*loaded;
            size_t used = strlen(out);
            snprintf(out + used, size - used, "link %s|%s|%s\n", data.cFileName, target, startIn);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
}

static void PrintVersionInfo(const char* path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    static char block[65536];
    if (size == 0 || size > sizeof block || !GetFileVersionInfoA(path, 0, size, block)) {
        Fail("no version information in", path);
    }
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block, "\\", (void**)&fixed, &length) || length < sizeof *fixed) Fail("no fixed version in", path);
    printf("fixed=%d.%d.%d.%d product=%d.%d.%d.%d\n", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
           HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
           HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    WORD* translation = NULL;
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", (void**)&translation, &length) || length < 4) {
        Fail("no translation in", path);
    }
    printf("translation=%04x-%04x\n", translation[0], translation[1]);
    static const char* const names[] = {
        "CompanyName", "FileDescription", "FileVersion", "InternalName",
        "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion",
    };
    for (const char* name : names) {
        char query[128];
        snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
        char* text = NULL;
        if (VerQueryValueA(block, query, (void**)&text, &length) && text) {
            printf("%s=%s\n", name, text);
        } else {
            printf("%s missing\n", name);
        }
    }
}

static void PrintManifest(const char* path) {
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) Fail("cannot open", path);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    if (!loaded) Fail("no manifest in", path);
    fwrite(LockResource(loaded), 1, SizeofResource(module, found), stdout);
    printf("\n");
    FreeLibrary(module);
}

int main(int argc, char** argv) {
    CoInitialize(NULL);
    for (int i = 1; i < argc; ++i) {
        const char* step = argv[i];
        auto arg = [&](int n) -> const char* {
            if (i + n >= argc) Fail("missing argument for", step);
            return argv[i + n];
        };
        if (!strcmp(step, "dialog")) {
            if (!WaitFor([] { return (gDialog = FindTop(false)) != NULL; })) Fail("no setup dialog", nullptr);
        } else if (!strcmp(step, "text")) {
            char text[1024];
            ReadText(Control(atoi(arg(1))), text, sizeof text);
            printf("%s=%s\n", arg(1), text);
            i += 1;
        } else if (!strcmp(step, "wait-text")) {
            HWND control = Control(atoi(arg(1)));
            const char* want = arg(2);
            char text[1024];
            if (!WaitFor([&] { return GetWindowTextA(control, text, sizeof text) >= 0 && strcmp(text, want) == 0; })) {
                Fail("text never became", want);
            }
            i += 2;
        } else if (!strcmp(step, "set")) {
            DWORD_PTR result;
            SendMessageTimeoutA(Control(atoi(arg(1))), WM_SETTEXT, 0, (LPARAM)arg(2), SMTO_ABORTIFHUNG, 5000, &result);
            i += 2;
        } else if (!strcmp(step, "type")) {
            HWND control = Control(atoi(arg(1)));
            for (const char* c = arg(2); *c; ++c) PostMessageA(control, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
            i += 2;
        } else if (!strcmp(step, "click")) {
            PostMessageA(Control(atoi(arg(1))), BM_CLICK, 0, 0);
            i += 1;
        } else if (!strcmp(step, "command")) {
            int id = atoi(arg(1));
            PostMessageA(gDialog, WM_COMMAND, (WPARAM)id, (LPARAM)Control(id));
            i += 1;
        } else if (!strcmp(step, "close")) {
            PostMessageA(gDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (!strcmp(step, "key")) {
            int id = atoi(arg(1));
            HWND target = id ? Control(id) : FocusedControl();
            if (!target) Fail("nothing has the focus", nullptr);
            PressKey(target, !strcmp(arg(2), "return") ? VK_RETURN : VK_ESCAPE);
            i += 2;
        } else if (!strcmp(step, "state")) {
            HWND control = Control(atoi(arg(1)));
            printf("%s visible=%d enabled=%d checked=%d\n", arg(1), IsWindowVisible(control) ? 1 : 0,
                   IsWindowEnabled(control) ? 1 : 0,
                   SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
            i += 1;
        } else if (!strcmp(step, "wait-visible")) {
            HWND control = Control(atoi(arg(1)));
            bool want = atoi(arg(2)) != 0;
            if (!WaitFor([&] { return (IsWindowVisible(control) != FALSE) == want; })) Fail("visibility never became", arg(2));
            i += 2;
        } else if (!strcmp(step, "focus")) {
            HWND focus = FocusedControl();
            printf("focus=%d\n", focus ? GetDlgCtrlID(focus) : 0);
        } else if (!strcmp(step, "barrier")) {
            Barrier();
        } else if (!strcmp(step, "box")) {
            HWND box = NULL;
            if (!WaitFor([&] { return (box = FindTop(true)) != NULL; })) Fail("no message box", nullptr);
            char text[1024];
            ReadText(GetDlgItem(box, 0xFFFF), text, sizeof text);
            printf("box=%s\n", text);
        } else if (!strcmp(step, "no-box")) {
            if (FindTop(true)) Fail("a message box is up", nullptr);
        } else if (!strcmp(step, "ok-box")) {
            HWND box = FindTop(true);
            if (!box) Fail("no message box to answer", nullptr);
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            if (!WaitFor([&] { return !IsWindow(box); })) Fail("message box stays", nullptr);
        } else if (!strcmp(step, "picker")) {
            if (!WaitFor([] { return FindPickers().found != NULL; })) Fail("no folder picker", nullptr);
        } else if (!strcmp(step, "cancel-picker")) {
            HWND picker = FindPickers().found;
            if (!picker) Fail("no folder picker to cancel", nullptr);
            PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
            if (!WaitFor([&] { return !IsWindow(picker); })) Fail("folder picker stays", nullptr);
        } else if (!strcmp(step, "pick-top")) {
            HWND picker = FindPickers().found;
            HWND tree = picker ? FindWindowExA(picker, NULL, "SysTreeView32", NULL) : NULL;
            if (!tree) Fail("no folder tree", nullptr);
            DWORD_PTR top = 0, done = 0;
            SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, SMTO_ABORTIFHUNG, 5000, &top);
            SendMessageTimeoutA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)top, SMTO_ABORTIFHUNG, 5000, &done);
            PostMessageA(GetDlgItem(picker, IDOK), BM_CLICK, 0, 0);
            if (!WaitFor([&] { return !IsWindow(picker); })) Fail("folder picker stays", nullptr);
        } else if (!strcmp(step, "picker-count")) {
            printf("pickers=%d\n", FindPickers().count);
        } else if (!strcmp(step, "gone")) {
            HWND dialog = gDialog ? gDialog : FindTop(false);
            if (dialog && !WaitFor([&] { return !IsWindow(dialog); })) Fail("dialog stays open", nullptr);
        } else if (!strcmp(step, "alive")) {
            if (!gDialog || !IsWindow(gDialog)) Fail("dialog has closed", nullptr);
        } else if (!strcmp(step, "end-process")) {
            DWORD id = 0;
            GetWindowThreadProcessId(gDialog, &id);
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
            if (!process || !TerminateProcess(process, 1)) Fail("cannot end the setup's process", nullptr);
            CloseHandle(process);
        } else if (!strcmp(step, "shot")) {
            SaveShot(arg(1));
            i += 1;
        } else if (!strcmp(step, "reg")) {
            PrintRecordValue(arg(1));
            i += 1;
        } else if (!strcmp(step, "attrs")) {
            DWORD attributes = GetFileAttributesA(arg(1));
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                printf("attrs missing\n");
            } else {
                printf("attrs=%lx\n", attributes);
            }
            i += 1;
        } else if (!strcmp(step, "short")) {
            char shortPath[MAX_PATH];
            if (!GetShortPathNameA(arg(1), shortPath, MAX_PATH)) Fail("no short form of", arg(1));
            printf("short=%s\n", shortPath);
            i += 1;
        } else if (!strcmp(step, "look-up")) {
            PathFacts facts[2] = {};
            SysError results[2] = {LookUpPath(arg(1), &facts[0]), LookUpByListing(arg(1), &facts[1])};
            for (int k = 0; k < 2; ++k) {
                if (results[k] != kSysOk) printf("error=%lu", (unsigned long)results[k]);
                else if (facts[k].isFolder) printf("folder");
                else printf("file %llu %llu", (unsigned long long)facts[k].size, (unsigned long long)facts[k].lastWrite);
                printf(k == 0 ? "|" : "\n");
            }
            i += 1;
        } else if (!strcmp(step, "group")) {
            int want = atoi(arg(2));
            static char listing[16384];
            int loaded = 0;
            if (!WaitFor([&] { return ListGroup(arg(1), listing, sizeof listing, &loaded) == want && loaded == want; })) {
                Fail("group never held its shortcuts:", arg(1));
            }
            fputs(listing, stdout);
            i += 2;
        } else if (!strcmp(step, "group-count")) {
            char folder[MAX_PATH];
            ProgramsFolder(folder);
            char pattern[MAX_PATH * 2];
            snprintf(pattern, sizeof pattern, "%s\\%s*", folder, arg(1));
            int groups = 0, links = 0;
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA(pattern, &data);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
                    ++groups;
                    static char listing[16384];
                    int loaded = 0;
                    links += ListGroup(data.cFileName, listing, sizeof listing, &loaded);
                } while (FindNextFileA(find, &data));
                FindClose(find);
            }
            printf("groups=%d links=%d\n", groups, links);
            i += 1;
        } else if (!strcmp(step, "timed-continue")) {
            DWORD limit = (DWORD)atoi(arg(1)) * 1000;
            HWND exitButton = Control(1009);
            LARGE_INTEGER frequency, start, end;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            PostMessageA(Control(IDOK), BM_CLICK, 0, 0);
            DWORD began = GetTickCount();
            while (!IsWindowVisible(exitButton)) {
                if (GetTickCount() - began > limit) Fail("no completion page in time", nullptr);
                Sleep(1);
            }
            QueryPerformanceCounter(&end);
            printf("install_ms=%.0f\n", (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart);
            i += 1;
        } else if (!strcmp(step, "window")) {
            const char* title = arg(1);
            if (!WaitFor([&] { HWND w = FindWindowA(NULL, title); return w && IsWindowVisible(w); })) {
                Fail("no window titled", title);
            }
            i += 1;
        } else if (!strcmp(step, "version")) {
            PrintVersionInfo(arg(1));
            i += 1;
        } else if (!strcmp(step, "manifest")) {
            PrintManifest(arg(1));
            i += 1;
        } else if (!strcmp(step, "code-page")) {
            printf("acp=%u\n", GetACP());
        } else if (!strcmp(step, "idle")) {
            for (;;) Sleep(60000);
        } else {
            Fail("unknown step", step);
        }
        fflush(stdout);
    }
    return 0;
}

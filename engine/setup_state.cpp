// The shared setup record and the bounded text and path helpers. Reaches the system
// only through platform/platform.h, for stepping through double-byte characters.
#include "setup_state.h"

#include <string.h>

#include "../platform/platform.h"

SetupState gSetup;

bool CopyText(char* buffer, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length >= size) return false;
    memcpy(buffer, text, length + 1);
    return true;
}

bool AppendText(char* buffer, size_t size, const char* text) {
    size_t used = strlen(buffer);
    size_t length = strlen(text);
    if (used >= size || length >= size - used) return false;
    memcpy(buffer + used, text, length + 1);
    return true;
}

// Appends the `width` bytes at `text` (one character) at buffer[*used]; false when
// they do not fit with the terminator.
static bool AppendSpan(char* buffer, size_t size, size_t* used, const char* text, size_t width) {
    if (*used + width >= size) return false;
    memcpy(buffer + *used, text, width);
    *used += width;
    buffer[*used] = '\0';
    return true;
}

// Appends whole characters of `text`; false at the first one that does not fit,
// which is left out with everything after it.
static bool AppendCharacters(char* buffer, size_t size, size_t* used, const char* text) {
    while (*text) {
        const char* next = NextCharacter(text);
        if (!AppendSpan(buffer, size, used, text, (size_t)(next - text))) return false;
        text = next;
    }
    return true;
}

bool FormatText(char* buffer, size_t size, const char* format, const char* argument) {
    if (size == 0) return false;
    size_t used = 0;
    buffer[0] = '\0';
    for (const char* p = format; *p; ) {
        if (p[0] == '%' && p[1] == 's') {
            if (!AppendCharacters(buffer, size, &used, argument ? argument : "")) return false;
            p += 2;
            continue;
        }
        if (p[0] == '%' && p[1] == '%') ++p;
        const char* next = NextCharacter(p);
        if (!AppendSpan(buffer, size, &used, p, (size_t)(next - p))) return false;
        p = next;
    }
    return true;
}

void FormatStatusText(char* buffer, size_t size, const char* format, const char* argument) {
    static const char kCutMark[] = "...";
    if (FormatText(buffer, size, format, argument)) return;
    FormatText(buffer, size - (sizeof kCutMark - 1), format, argument);
    AppendText(buffer, size, kCutMark);
}

bool DeriveSourceDir(const char* modulePath) {
    char* dir = gSetup.sourceDir;
    if (!CopyText(dir, kPathSize, modulePath)) {
        dir[0] = '\0';
        return false;
    }
    char* last = dir;
    for (char* p = dir; *p; p = (char*)NextCharacter(p)) {
        if (*p == '\\' || *p == '/') last = p;
    }
    *last = '\0';
    return true;
}

bool LocateSourceDir() {
    char modulePath[kPathSize];
    if (GetProgramPath(modulePath, sizeof modulePath) != kSysOk || !DeriveSourceDir(modulePath)) {
        gSetup.sourceDir[0] = '\0';
        return false;
    }
    return gSetup.sourceDir[0] != '\0';
}

// The start of the last whole character of `text`, or null when it is empty. A trail
// byte of a double-byte character is never taken for a character of its own.
static const char* LastCharacter(const char* text) {
    const char* last = nullptr;
    for (const char* p = text; *p; p = NextCharacter(p)) last = p;
    return last;
}

bool AppendPathComponent(char* path, size_t size, const char* component) {
    size_t used = strlen(path);
    const char* last = LastCharacter(path);
    bool separator = last != nullptr && *last != '\\' && *last != '/';
    size_t length = strlen(component);
    if (used + (separator ? 1 : 0) + length >= size) return false;
    if (separator) path[used++] = '\\';
    memcpy(path + used, component, length + 1);
    return true;
}

bool StripLastComponent(char* path) {
    if (*path == '\0') return false;
    // The first character is never examined.
    char* cut = nullptr;
    for (char* p = (char*)NextCharacter(path); *p; p = (char*)NextCharacter(p)) {
        if (*p == '\\') cut = p;
    }
    if (cut == nullptr) return false;
    *cut = '\0';
    return true;
}

static char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool PathsEqual(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

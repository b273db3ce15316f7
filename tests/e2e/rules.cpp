// Checks the table of Windows' file rules (tests/file_rules.h) through platform/win32,
// each row in a folder of its own under a new folder FOLDER, laid out with the Win32
// calls themselves; the rows Wine is known to answer otherwise are listed, not run.
// Prints "ROW: ok" or what differed, a row a line, then the counts; exits 1 when a row
// fails.   rules.exe FOLDER
#include <windows.h>

#include <stdio.h>

#include "tests/file_rules.h"

bool RuleLayFile(const std::string& path, const std::string& content, uint32_t attributes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    // 2000-01-01 00:00 UTC: a copy given the time of its making would show it.
    const uint64_t kPast = 125911584000000000ull;
    FILETIME past = {(DWORD)kPast, (DWORD)(kPast >> 32)};
    DWORD written = 0;
    bool laid = WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL) && written == content.size() &&
                SetFileTime(file, NULL, NULL, &past);
    CloseHandle(file);
    return laid && (attributes == 0 || SetFileAttributesA(path.c_str(), attributes));
}

bool RuleLayFolder(const std::string& path, uint32_t attributes) {
    return CreateDirectoryA(path.c_str(), NULL) && (attributes == 0 || SetFileAttributesA(path.c_str(), attributes));
}

uintptr_t RuleHoldOpen(const std::string& path, bool shareDelete) {
    DWORD sharing = shareDelete ? FILE_SHARE_DELETE : 0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, sharing, NULL, OPEN_EXISTING, 0, NULL);
    return file == INVALID_HANDLE_VALUE ? 0 : (uintptr_t)file;
}

void RuleCloseHeld(uintptr_t hold) { CloseHandle((HANDLE)hold); }

std::optional<std::string> RuleContent(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    char bytes[4096];
    DWORD length = 0;
    bool read = file != INVALID_HANDLE_VALUE && ReadFile(file, bytes, sizeof bytes, &length, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return read ? std::optional<std::string>(std::string(bytes, length)) : std::nullopt;
}

std::optional<uint32_t> RuleAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? std::nullopt : std::optional<uint32_t>(attributes);
}

int main(int argc, char** argv) {
    if (argc != 2 || !CreateDirectoryA(argv[1], NULL)) return 2;
    int checked = 0, failed = 0;
    for (int i = 0; i < kFileRuleCount; ++i) {
        const FileRule& rule = kFileRules[i];
        std::string fault = "stand-in only";
        if (!rule.wineDiffers) {
            ++checked;
            fault = CheckFileRule(rule, std::string(argv[1]) + "\\" + std::to_string(i), false);
            failed += !fault.empty();
        }
        printf("%s: %s\n", rule.what, fault.empty() ? "ok" : fault.c_str());
    }
    printf("rows=%d checked=%d failed=%d\n", kFileRuleCount, checked, failed);
    return failed ? 1 : 0;
}

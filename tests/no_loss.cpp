// The no-loss check shared by the tests and the fuzzers; see no_loss.h.
#include "no_loss.h"

#include <ctype.h>

#include <algorithm>

#include "engine/install.h"
#include "platform/memory/memory_platform.h"

static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)tolower(c); });
    return text;
}

static bool OnRemovalList(const std::string& relative) {
    for (const char* entry : RemovalList) {
        if (Lower(relative) == Lower(entry)) return true;
    }
    return false;
}

std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::string& sourceDir, const std::string& installDir) {
    return LostFilesIn(before, memfs::Files(), sourceDir, installDir);
}

std::string PathKey(std::string path) {
    for (size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return Lower(path);
}

// Looks a path up in a listing the way the stand-in names files.
static std::optional<std::string> Lookup(const std::map<std::string, std::string>& files, const std::string& path) {
    for (const auto& [name, content] : files) {
        if (PathKey(name) == PathKey(path)) return content;
    }
    return std::nullopt;
}

std::vector<std::string> LostFilesIn(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after,
                                     const std::string& sourceDir, const std::string& installDir) {
    std::vector<std::string> lost;
    std::string prefix = Lower(sourceDir) + "\\";
    for (const auto& [path, content] : before) {
        if (Lower(path).rfind(prefix, 0) != 0) continue;
        if (Lookup(after, path) == content) continue;
        std::string relative = path.substr(prefix.size());
        std::string destination = installDir;
        if (destination.empty() || destination.back() != '\\') destination += "\\";
        destination += relative;
        if (Lookup(after, destination) == content) continue;
        if (OnRemovalList(relative)) continue;
        lost.push_back(path);
    }
    return lost;
}

std::vector<std::string> CutFiles(const std::map<std::string, std::string>& before,
                                  const std::string& sourceDir, const std::string& installDir) {
    std::vector<std::string> cut;
    std::string prefix = Lower(installDir);
    if (prefix.empty() || prefix.back() != '\\') prefix += "\\";
    for (const auto& [path, content] : memfs::Files()) {
        if (Lower(path).rfind(prefix, 0) != 0) continue;
        if (Lookup(before, path) == content) continue;
        if (Lookup(before, sourceDir + "\\" + path.substr(prefix.size())) == content) continue;
        cut.push_back(path);
    }
    return cut;
}

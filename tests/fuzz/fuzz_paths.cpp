// Fuzzes the path and text rules with arbitrary bytes, in both code pages: every
// result stays a terminated text inside its buffer and keeps the rules' promises.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "engine/setup_state.h"
#include "platform/memory/memory_platform.h"

static void Check(bool condition) {
    if (!condition) abort();
}

static bool Terminated(const char* buffer, size_t size) {
    return memchr(buffer, '\0', size) != nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    memfs::SetDoubleByteCodePage(in.ConsumeBool());
    std::string a = in.ConsumeRandomLengthString(300);
    std::string b = in.ConsumeRandomLengthString(300);
    size_t room = in.ConsumeIntegralInRange<size_t>(1, kPathSize);

    // DeriveSourceDir: a prefix of the module path, or empty when that did not fit.
    bool derived = DeriveSourceDir(a.c_str());
    Check(Terminated(gSetup.sourceDir, kPathSize));
    Check(derived == (strlen(a.c_str()) < kPathSize));
    Check(strncmp(gSetup.sourceDir, a.c_str(), strlen(gSetup.sourceDir)) == 0);

    // AppendPathComponent: either the whole result or the buffer untouched.
    char path[kPathSize];
    if (CopyText(path, room, a.c_str())) {
        std::string was = path;
        bool appended = AppendPathComponent(path, room, b.c_str());
        Check(Terminated(path, room));
        if (!appended) Check(was == path);
        if (appended) Check(strlen(path) >= was.size() + strlen(b.c_str()));
        // StripLastComponent only ever shortens, and ends.
        for (int guard = 0; guard <= (int)kPathSize; ++guard) {
            size_t before = strlen(path);
            if (!StripLastComponent(path)) break;
            Check(strlen(path) < before);
        }
    }

    // PathsEqual is an equivalence.
    Check(PathsEqual(a.c_str(), a.c_str()));
    Check(PathsEqual(a.c_str(), b.c_str()) == PathsEqual(b.c_str(), a.c_str()));

    // FormatText never writes past its buffer, whatever the format holds.
    char text[128];
    size_t textRoom = room < sizeof text ? room : sizeof text;
    FormatText(text, textRoom, a.c_str(), b.c_str());
    Check(Terminated(text, textRoom));
    return 0;
}

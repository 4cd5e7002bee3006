// The debugger sink: OutputDebugStringA text is kept for tests that capture it, and shown on
// stderr (as UTF-8) only when ORBEK_DEBUG_OUTPUT=1, since nothing listens here by default.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "../base/code_pages.h"
#include "platform/testing.h"
#include "platform/win32_kernel.h"

struct DebugOutputState {
    std::mutex mutex;
    bool capturing = false;
    std::string captured;
};

// Never destroyed: detached threads may still write while the process exits.
static DebugOutputState& gDebugOutput = *new DebugOutputState;

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    std::string_view bytes(text);
    {
        std::lock_guard lock(gDebugOutput.mutex);
        if (gDebugOutput.capturing) gDebugOutput.captured.append(bytes);
    }
    const char* wanted = std::getenv("ORBEK_DEBUG_OUTPUT");
    if (wanted == nullptr || std::strcmp(wanted, "1") != 0) return;
    std::string shown;
    if (!Cp932ToUtf8(bytes, &shown)) shown.assign(bytes);
    std::fwrite(shown.data(), 1, shown.size(), stderr);
}

void TestCaptureDebugOutput(bool on) {
    std::lock_guard lock(gDebugOutput.mutex);
    gDebugOutput.capturing = on;
}

std::string TestTakeDebugOutput() {
    std::lock_guard lock(gDebugOutput.mutex);
    std::string taken;
    taken.swap(gDebugOutput.captured);
    return taken;
}

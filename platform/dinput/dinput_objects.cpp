// What the DirectInput module's files share: the live objects, the call record with its test
// hooks, and the pads' identifiers.
#include "dinput_objects.h"

#include <platform/testing_dinput.h>

#include <cstring>

DirectInputState gDirectInput;
ComObjectCount gDirectInputObjects;

namespace {

constexpr DWORD kPadGuidTag = 0x0BEC0000;
constexpr WORD kInstanceWord = 0x4944;  // "ID"
constexpr WORD kProductWord = 0x5044;   // "PD"
constexpr BYTE kPadGuidTail[8] = {'O', 'R', 'B', 'E', 'K', 'P', 'A', 'D'};

GUID PadGuid(int index, WORD kind) {
    GUID guid{kPadGuidTag | static_cast<DWORD>(index), kind, 0, {}};
    std::memcpy(guid.Data4, kPadGuidTail, sizeof guid.Data4);
    return guid;
}

}  // namespace

GUID PadInstanceGuid(int index) {
    return PadGuid(index, kInstanceWord);
}

GUID PadProductGuid(int index) {
    return PadGuid(index, kProductWord);
}

int PadIndexOfGuid(REFGUID guid) {
    int index = static_cast<int>(guid.Data1 & 0xFFFF);
    return guid == PadInstanceGuid(index) ? index : -1;
}

void RecordDirectInputCall(const std::string& who, const std::string& what) {
    std::lock_guard<std::mutex> guard(gDirectInput.mutex);
    gDirectInput.calls.push_back(who + " " + what);
}

int TestCountDirectInputObjects() {
    return gDirectInputObjects.live;
}

void TestRecordDirectInputCalls(bool on) {
    std::lock_guard<std::mutex> guard(gDirectInput.mutex);
    gDirectInput.recordCalls = on;
    gDirectInput.calls.clear();
}

std::vector<std::string> TestTakeDirectInputCalls() {
    std::lock_guard<std::mutex> guard(gDirectInput.mutex);
    std::vector<std::string> calls;
    calls.swap(gDirectInput.calls);
    return calls;
}

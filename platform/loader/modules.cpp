// The layer's run-time modules: LoadLibraryA, GetProcAddress, FreeLibrary and
// GetModuleHandleA over a fixed table of modules and their exports, reference counted.
// Every module's exports are listed here, so the loader stands above every module; a module
// whose interface is not built exports nothing yet.
#include <cctype>
#include <cstring>
#include <mutex>
#include <span>

#include "../base/module_names.h"
#include "../base/test_overrides.h"
#include "platform/com.h"
#include "platform/d3d9.h"
#include "platform/dsound.h"
#include "platform/dwmapi.h"
#include "platform/imm.h"
#include "platform/mmsystem.h"
#include "platform/msacm.h"
#include "platform/win32_user.h"
#include "platform/winsock.h"

struct ModuleExport {
    const char* name;
    FARPROC address;
};

struct ModuleEntry {
    const char* key;  // as NormalizeModuleName gives it
    std::span<const ModuleExport> exports;
};

template <class Function>
static FARPROC Export(Function* function) {
    return reinterpret_cast<FARPROC>(function);
}

static const ModuleExport kKernel32Exports[] = {
    {"GlobalMemoryStatusEx", Export(GlobalMemoryStatusEx)},
};

static const ModuleExport kWinmmExports[] = {
    {"timeSetEvent", Export(timeSetEvent)},       {"timeKillEvent", Export(timeKillEvent)},
    {"timeBeginPeriod", Export(timeBeginPeriod)}, {"timeEndPeriod", Export(timeEndPeriod)},
    {"timeGetTime", Export(timeGetTime)},         {"timeGetDevCaps", Export(timeGetDevCaps)},
    {"mciSendCommandA", Export(mciSendCommandA)}, {"joyGetPosEx", Export(joyGetPosEx)},
    {"joyGetDevCapsA", Export(joyGetDevCapsA)},
};

static const ModuleExport kOle32Exports[] = {
    {"CoCreateInstance", Export(CoCreateInstance)},
    {"CoTaskMemAlloc", Export(CoTaskMemAlloc)},
    {"CoTaskMemFree", Export(CoTaskMemFree)},
    {"CoInitializeEx", Export(CoInitializeEx)},
    {"CoFreeUnusedLibraries", Export(CoFreeUnusedLibraries)},
    {"CoUninitialize", Export(CoUninitialize)},
};

static const ModuleExport kUser32Exports[] = {
    {"WINNLSEnableIME", Export(WINNLSEnableIME)},
};

static const ModuleExport kImm32Exports[] = {
    {"ImmGetContext", Export(ImmGetContext)},
    {"ImmReleaseContext", Export(ImmReleaseContext)},
    {"ImmGetOpenStatus", Export(ImmGetOpenStatus)},
    {"ImmNotifyIME", Export(ImmNotifyIME)},
    {"ImmSetOpenStatus", Export(ImmSetOpenStatus)},
    {"ImmGetCandidateListA", Export(ImmGetCandidateListA)},
    {"ImmGetCompositionStringA", Export(ImmGetCompositionStringA)},
    {"ImmSetCompositionStringA", Export(ImmSetCompositionStringA)},
};

static const ModuleExport kWs2_32Exports[] = {
    {"WSAGetLastError", Export(WSAGetLastError)},
    {"WSAStartup", Export(WSAStartup)},
    {"WSACleanup", Export(WSACleanup)},
    {"WSAAsyncSelect", Export(WSAAsyncSelect)},
    {"ntohs", Export(ntohs)},
    {"htons", Export(htons)},
    {"connect", Export(connect)},
    {"socket", Export(socket)},
    {"send", Export(send)},
    {"accept", Export(accept)},
    {"closesocket", Export(closesocket)},
    {"shutdown", Export(shutdown)},
    {"listen", Export(listen)},
    {"bind", Export(bind)},
    {"inet_addr", Export(inet_addr)},
    {"recv", Export(recv)},
};

static const ModuleExport kDwmapiExports[] = {
    {"DwmEnableComposition", Export(DwmEnableComposition)},
};

static const ModuleExport kD3d9Exports[] = {
    {"Direct3DCreate9", Export(Direct3DCreate9)},
    {"Direct3DCreate9Ex", Export(Direct3DCreate9Ex)},
};

static const ModuleExport kDsoundExports[] = {
    {"DirectSoundEnumerateA", Export(DirectSoundEnumerateA)},
};

static const ModuleExport kMsacm32Exports[] = {
    {"acmFormatSuggest", Export(acmFormatSuggest)},
    {"acmStreamOpen", Export(acmStreamOpen)},
    {"acmStreamClose", Export(acmStreamClose)},
    {"acmMetrics", Export(acmMetrics)},
    {"acmStreamPrepareHeader", Export(acmStreamPrepareHeader)},
    {"acmStreamConvert", Export(acmStreamConvert)},
    {"acmStreamUnprepareHeader", Export(acmStreamUnprepareHeader)},
    {"acmStreamSize", Export(acmStreamSize)},
};

static const ModuleEntry kModules[] = {
    {"kernel32", kKernel32Exports}, {"winmm", kWinmmExports},
    {"ole32", kOle32Exports},       {"user32", kUser32Exports},
    {"imm32", kImm32Exports},       {"ws2_32", kWs2_32Exports},
    {"dwmapi", kDwmapiExports},     {"comctl32", {}},
    {"d3d9", kD3d9Exports},         {"dsound", kDsoundExports},
    {"msacm32", kMsacm32Exports},
};

constexpr size_t kModuleCount = std::size(kModules);
// Module handles look like load addresses: one 1 MB region per module from here.
constexpr ULONG_PTR kFirstModuleBase = 0x10000000;
constexpr ULONG_PTR kModuleSpacing = 0x100000;
constexpr ULONG_PTR kExecutableBase = 0x400000;

struct ModulesState {
    std::mutex mutex;
    int loadCounts[kModuleCount] = {};
};

static ModulesState gModules;

static HMODULE HandleOfModule(size_t index) {
    return reinterpret_cast<HMODULE>(kFirstModuleBase + index * kModuleSpacing);
}

// The table index of a registry name, or -1; names with a directory part never match.
static int ModuleIndexOfName(const char* name) {
    if (std::strpbrk(name, "\\/:") != nullptr) return -1;
    std::string key = NormalizeModuleName(name);
    for (size_t i = 0; i < kModuleCount; ++i) {
        if (key == kModules[i].key) return IsModuleMadeMissing(key) ? -1 : static_cast<int>(i);
    }
    return -1;
}

// The table index of a handle of a loaded module, or -1. Call with the lock held.
static int LoadedModuleIndexOfHandle(HMODULE module) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(module);
    if (value < kFirstModuleBase || (value - kFirstModuleBase) % kModuleSpacing != 0) return -1;
    size_t index = (value - kFirstModuleBase) / kModuleSpacing;
    if (index >= kModuleCount || gModules.loadCounts[index] == 0) return -1;
    return static_cast<int>(index);
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (InjectedFailure("LoadLibraryA", ERROR_MOD_NOT_FOUND)) return nullptr;
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int index = ModuleIndexOfName(name);
    if (index < 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(gModules.mutex);
    ++gModules.loadCounts[index];
    return HandleOfModule(static_cast<size_t>(index));
}

BOOL FreeLibrary(HMODULE module) {
    if (reinterpret_cast<ULONG_PTR>(module) == kExecutableBase) return TRUE;
    std::lock_guard lock(gModules.mutex);
    int index = LoadedModuleIndexOfHandle(module);
    if (index < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --gModules.loadCounts[index];
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (name == nullptr) return reinterpret_cast<HMODULE>(kExecutableBase);
    int index = ModuleIndexOfName(name);
    std::lock_guard lock(gModules.mutex);
    if (index < 0 || gModules.loadCounts[index] == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return HandleOfModule(static_cast<size_t>(index));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (InjectedFailure("GetProcAddress", ERROR_PROC_NOT_FOUND)) return nullptr;
    int index;
    {
        std::lock_guard lock(gModules.mutex);
        index = LoadedModuleIndexOfHandle(module);
    }
    if (index < 0) {
        SetLastError(reinterpret_cast<ULONG_PTR>(module) == kExecutableBase ? ERROR_PROC_NOT_FOUND
                                                                            : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Lookups by ordinal pass a small number in place of a name; no export has an ordinal.
    if (reinterpret_cast<ULONG_PTR>(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const ModuleEntry& entry = kModules[index];
    for (const ModuleExport& e : entry.exports) {
        if (std::strcmp(e.name, name) == 0 && !IsExportMadeMissing(entry.key, name)) {
            return e.address;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

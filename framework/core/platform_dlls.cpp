// Loading and freeing the run-time DLL table. Every DLL is loaded only while its module slot
// is empty, so loading twice loads nothing the second time.
#include "core/platform_dlls.h"

#include <span>
#include <type_traits>

PlatformDllTable gPlatformDlls;

namespace {

// Stores an export (or null) into the typed slot named by the member pointer.
template <auto Slot>
void StoreSlot(FARPROC address) {
    using SlotType = std::remove_reference_t<decltype(gPlatformDlls.*Slot)>;
    // Through void (*)(), the one function type that converts to any other without a warning.
    gPlatformDlls.*Slot = reinterpret_cast<SlotType>(reinterpret_cast<void (*)()>(address));
}

struct ExportSlot {
    const char* name;
    void (*store)(FARPROC address);
};

struct PlatformDll {
    const char* name;
    HMODULE PlatformDllTable::*module;
    std::span<const ExportSlot> exports;
};

using T = PlatformDllTable;

const ExportSlot kWs2_32Exports[] = {
    {"WSAGetLastError", StoreSlot<&T::WSAGetLastError>},
    {"WSAStartup", StoreSlot<&T::WSAStartup>},
    {"WSACleanup", StoreSlot<&T::WSACleanup>},
    {"WSAAsyncSelect", StoreSlot<&T::WSAAsyncSelect>},
    {"getaddrinfo", StoreSlot<&T::getaddrinfo>},
    {"gethostbyaddr", StoreSlot<&T::gethostbyaddr>},
    {"gethostbyname", StoreSlot<&T::gethostbyname>},
    {"gethostname", StoreSlot<&T::gethostname>},
    {"ntohs", StoreSlot<&T::ntohs>},
    {"htons", StoreSlot<&T::htons>},
    {"connect", StoreSlot<&T::connect>},
    {"socket", StoreSlot<&T::socket>},
    {"send", StoreSlot<&T::send>},
    {"sendto", StoreSlot<&T::sendto>},
    {"recvfrom", StoreSlot<&T::recvfrom>},
    {"accept", StoreSlot<&T::accept>},
    {"closesocket", StoreSlot<&T::closesocket>},
    {"shutdown", StoreSlot<&T::shutdown>},
    {"listen", StoreSlot<&T::listen>},
    {"bind", StoreSlot<&T::bind>},
    {"inet_addr", StoreSlot<&T::inet_addr>},
    {"recv", StoreSlot<&T::recv>},
};
const ExportSlot kImm32Exports[] = {
    {"ImmGetContext", StoreSlot<&T::ImmGetContext>},
    {"ImmReleaseContext", StoreSlot<&T::ImmReleaseContext>},
    {"ImmGetOpenStatus", StoreSlot<&T::ImmGetOpenStatus>},
    {"ImmGetConversionStatus", StoreSlot<&T::ImmGetConversionStatus>},
    {"ImmNotifyIME", StoreSlot<&T::ImmNotifyIME>},
    {"ImmSetOpenStatus", StoreSlot<&T::ImmSetOpenStatus>},
    {"ImmGetCandidateListA", StoreSlot<&T::ImmGetCandidateListA>},
    {"ImmGetCompositionStringA", StoreSlot<&T::ImmGetCompositionStringA>},
    {"ImmSetCompositionStringA", StoreSlot<&T::ImmSetCompositionStringA>},
};
const ExportSlot kWinmmExports[] = {
    {"timeSetEvent", StoreSlot<&T::timeSetEvent>},
    {"timeKillEvent", StoreSlot<&T::timeKillEvent>},
    {"timeBeginPeriod", StoreSlot<&T::timeBeginPeriod>},
    {"timeEndPeriod", StoreSlot<&T::timeEndPeriod>},
    {"timeGetTime", StoreSlot<&T::timeGetTime>},
    {"timeGetDevCaps", StoreSlot<&T::timeGetDevCaps>},
    {"joyGetPosEx", StoreSlot<&T::joyGetPosEx>},
    {"joyGetDevCapsA", StoreSlot<&T::joyGetDevCapsA>},
    {"mciSendCommandA", StoreSlot<&T::mciSendCommandA>},
};
const ExportSlot kOle32Exports[] = {
    {"CoCreateInstance", StoreSlot<&T::CoCreateInstance>},
    {"CoTaskMemAlloc", StoreSlot<&T::CoTaskMemAlloc>},
    {"CoTaskMemFree", StoreSlot<&T::CoTaskMemFree>},
    {"CoInitializeEx", StoreSlot<&T::CoInitializeEx>},
    {"CoFreeUnusedLibraries", StoreSlot<&T::CoFreeUnusedLibraries>},
    {"CoUninitialize", StoreSlot<&T::CoUninitialize>},
};
const ExportSlot kComctl32Exports[] = {
    {"InitCommonControls", StoreSlot<&T::InitCommonControls>},
};
const ExportSlot kDwmapiExports[] = {
    {"DwmEnableComposition", StoreSlot<&T::DwmEnableComposition>},
};
const ExportSlot kUser32Exports[] = {
    {"WINNLSEnableIME", StoreSlot<&T::WINNLSEnableIME>},
};

// Table order, which is also the load order.
const PlatformDll kDlls[] = {
    {"ws2_32.dll", &T::ws2_32Module, kWs2_32Exports},
    {"Imm32.dll", &T::imm32Module, kImm32Exports},
    {"winmm.dll", &T::winmmModule, kWinmmExports},
    {"ole32.dll", &T::ole32Module, kOle32Exports},
    {"comctl32.dll", &T::comctl32Module, kComctl32Exports},
    {"dwmapi.dll", &T::dwmapiModule, kDwmapiExports},
    {"User32.dll", &T::user32Module, kUser32Exports},
};

// The order in which the DLLs are freed: dwmapi, User32, ws2_32, Imm32, winmm, ole32, comctl32.
const int kFreeOrder[] = {5, 6, 0, 1, 2, 3, 4};

}  // namespace

int LoadPlatformDlls() {
    for (const PlatformDll& dll : kDlls) {
        if (gPlatformDlls.*dll.module != nullptr) continue;
        HMODULE module = LoadLibraryA(dll.name);
        gPlatformDlls.*dll.module = module;
        if (module == nullptr) continue;
        for (const ExportSlot& slot : dll.exports) slot.store(GetProcAddress(module, slot.name));
    }
    return 0;
}

int FreePlatformDlls() {
    for (int index : kFreeOrder) {
        const PlatformDll& dll = kDlls[index];
        if (gPlatformDlls.*dll.module == nullptr) continue;
        FreeLibrary(gPlatformDlls.*dll.module);
        gPlatformDlls.*dll.module = nullptr;
        for (const ExportSlot& slot : dll.exports) slot.store(nullptr);
    }
    return 0;
}

// ole32's basics: per-thread COM initialisation, task memory, and CoCreateInstance over the
// table of the classes the layer's servers implement (com_classes.h).
#include "platform/com.h"

#include <cstdlib>

#include "../base/test_overrides.h"
#include "com_classes.h"

// COM initialisation is counted per thread, with the concurrency model of the first call.
static thread_local int tComInitCount = 0;
static thread_local DWORD tComModel = 0;

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (InjectedFailure("CoInitializeEx")) return E_FAIL;
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (tComInitCount > 0 && model != tComModel) return RPC_E_CHANGED_MODE;
    tComModel = model;
    return tComInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (tComInitCount > 0) --tComInitCount;
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD classContext, REFIID iid,
                         LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (InjectedFailure("CoCreateInstance")) return E_FAIL;
    if (tComInitCount == 0) return CO_E_NOTINITIALIZED;
    for (const ComClass& entry : RegisteredComClasses()) {
        if (entry.classId == classId) return entry.create(outer, iid, object);
    }
    return REGDB_E_CLASSNOTREG;
}

LPVOID CoTaskMemAlloc(SIZE_T bytes) {
    if (InjectedFailure("CoTaskMemAlloc")) return nullptr;
    return std::malloc(bytes != 0 ? bytes : 1);
}

void CoTaskMemFree(LPVOID memory) {
    std::free(memory);
}

void CoFreeUnusedLibraries() {}

// Overrides of what the system reports and injected call failures, set by tests and read by
// the layer's modules.
#include "test_overrides.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "module_names.h"

// The exports missing before any test says otherwise: the Ex entry of "d3d9.dll" while the
// environment asks for a system without the Ex interfaces.
static std::set<std::pair<std::string, std::string>> DefaultMissingExports() {
    const char* noEx = std::getenv("ORBEK_D3D9_NO_EX");
    if (noEx == nullptr || std::strcmp(noEx, "1") != 0) return {};
    return {{NormalizeModuleName("d3d9.dll"), "Direct3DCreate9Ex"}};
}

struct TestOverridesState {
    std::mutex mutex;
    // Lets the hot paths (HeapAlloc) skip the lock when nothing is injected.
    std::atomic<bool> anyFailure{false};
    std::map<std::string, int> failCountdown;
    int processorCount = 0;
    bool osVersionSet = false;
    OSVERSIONINFOA osVersion{};
    UINT oemCodePage = 0;
    bool memorySet = false;
    unsigned long long totalPhys = 0;
    unsigned long long availPhys = 0;
    bool cpuSet = false;
    TestCpu cpu{};
    std::set<std::string> missingModules;
    std::set<std::pair<std::string, std::string>> missingExports = DefaultMissingExports();
};

// Never destroyed: detached threads may still ask while the process exits.
static TestOverridesState& gTestOverrides = *new TestOverridesState;

void ResetTestOverrides() {
    std::lock_guard lock(gTestOverrides.mutex);
    gTestOverrides.anyFailure = false;
    gTestOverrides.failCountdown.clear();
    gTestOverrides.processorCount = 0;
    gTestOverrides.osVersionSet = false;
    gTestOverrides.oemCodePage = 0;
    gTestOverrides.memorySet = false;
    gTestOverrides.cpuSet = false;
    gTestOverrides.missingModules.clear();
    gTestOverrides.missingExports = DefaultMissingExports();
}

void TestSetProcessorCount(int count) {
    std::lock_guard lock(gTestOverrides.mutex);
    gTestOverrides.processorCount = count;
}

void TestSetOsVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build,
                      const char* servicePack) {
    std::lock_guard lock(gTestOverrides.mutex);
    OSVERSIONINFOA& v = gTestOverrides.osVersion;
    v = {};
    v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    v.dwPlatformId = platformId;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    if (servicePack != nullptr) {
        std::strncpy(v.szCSDVersion, servicePack, sizeof(v.szCSDVersion) - 1);
    }
    gTestOverrides.osVersionSet = true;
}

void TestSetOemCodePage(UINT codePage) {
    std::lock_guard lock(gTestOverrides.mutex);
    gTestOverrides.oemCodePage = codePage;
}

void TestSetMemoryStatus(unsigned long long totalPhys, unsigned long long availPhys) {
    std::lock_guard lock(gTestOverrides.mutex);
    gTestOverrides.memorySet = true;
    gTestOverrides.totalPhys = totalPhys;
    gTestOverrides.availPhys = availPhys;
}

void TestSetCpu(const TestCpu* cpu) {
    std::lock_guard lock(gTestOverrides.mutex);
    gTestOverrides.cpuSet = cpu != nullptr;
    if (cpu != nullptr) {
        gTestOverrides.cpu = *cpu;
        gTestOverrides.cpu.vendor[sizeof(cpu->vendor) - 1] = '\0';
        gTestOverrides.cpu.brand[sizeof(cpu->brand) - 1] = '\0';
    }
}

void TestSetModuleMissing(const char* module, bool missing) {
    std::string key = NormalizeModuleName(module);
    std::lock_guard lock(gTestOverrides.mutex);
    if (missing) {
        gTestOverrides.missingModules.insert(key);
    } else {
        gTestOverrides.missingModules.erase(key);
    }
}

void TestSetExportMissing(const char* module, const char* name, bool missing) {
    std::pair<std::string, std::string> key(NormalizeModuleName(module), name);
    std::lock_guard lock(gTestOverrides.mutex);
    if (missing) {
        gTestOverrides.missingExports.insert(key);
    } else {
        gTestOverrides.missingExports.erase(key);
    }
}

void TestFailNthCall(const char* function, int n) {
    std::lock_guard lock(gTestOverrides.mutex);
    if (n > 0) {
        gTestOverrides.failCountdown[function] = n;
    } else {
        gTestOverrides.failCountdown.erase(function);
    }
    gTestOverrides.anyFailure = !gTestOverrides.failCountdown.empty();
}

bool InjectedFailure(const char* function) {
    if (!gTestOverrides.anyFailure.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(gTestOverrides.mutex);
    auto it = gTestOverrides.failCountdown.find(function);
    if (it == gTestOverrides.failCountdown.end() || --it->second > 0) return false;
    gTestOverrides.failCountdown.erase(it);
    gTestOverrides.anyFailure = !gTestOverrides.failCountdown.empty();
    return true;
}

bool InjectedFailure(const char* function, DWORD lastError) {
    if (!InjectedFailure(function)) return false;
    SetLastError(lastError);
    return true;
}

int OverriddenProcessorCount() {
    std::lock_guard lock(gTestOverrides.mutex);
    return gTestOverrides.processorCount;
}

bool OverriddenOsVersion(OSVERSIONINFOA* version) {
    std::lock_guard lock(gTestOverrides.mutex);
    if (gTestOverrides.osVersionSet) *version = gTestOverrides.osVersion;
    return gTestOverrides.osVersionSet;
}

UINT OverriddenOemCodePage() {
    std::lock_guard lock(gTestOverrides.mutex);
    return gTestOverrides.oemCodePage;
}

bool OverriddenMemoryStatus(unsigned long long* totalPhys, unsigned long long* availPhys) {
    std::lock_guard lock(gTestOverrides.mutex);
    if (gTestOverrides.memorySet) {
        *totalPhys = gTestOverrides.totalPhys;
        *availPhys = gTestOverrides.availPhys;
    }
    return gTestOverrides.memorySet;
}

bool OverriddenCpu(TestCpu* cpu) {
    std::lock_guard lock(gTestOverrides.mutex);
    if (gTestOverrides.cpuSet) *cpu = gTestOverrides.cpu;
    return gTestOverrides.cpuSet;
}

bool IsModuleMadeMissing(const std::string& module) {
    std::lock_guard lock(gTestOverrides.mutex);
    return gTestOverrides.missingModules.count(module) != 0;
}

bool IsExportMadeMissing(const std::string& module, const std::string& name) {
    std::lock_guard lock(gTestOverrides.mutex);
    return gTestOverrides.missingExports.count({module, name}) != 0;
}

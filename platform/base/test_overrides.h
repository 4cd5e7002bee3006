// What tests have overridden in what the system reports, and the failures they injected.
// The layer's modules read these; with nothing set every query answers "not overridden".
#pragma once

#include <string>

#include "platform/testing.h"
#include "platform/win32_kernel.h"

// Every override and injected failure back to its default.
void ResetTestOverrides();

// True when the named function's call is the one a test asked to fail; counts the call.
bool InjectedFailure(const char* function);
// The same, setting the last error the failing function reports when it fails.
bool InjectedFailure(const char* function, DWORD lastError);

int OverriddenProcessorCount();  // 0 = not overridden
bool OverriddenOsVersion(OSVERSIONINFOA* version);
UINT OverriddenOemCodePage();  // 0 = not overridden
bool OverriddenMemoryStatus(unsigned long long* totalPhys, unsigned long long* availPhys);
bool OverriddenCpu(TestCpu* cpu);
// Names as NormalizeModuleName gives them.
bool IsModuleMadeMissing(const std::string& module);
bool IsExportMadeMissing(const std::string& module, const std::string& name);

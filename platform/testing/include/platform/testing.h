// Hooks for tests only: the virtual clock, overrides of what the system reports, failure
// injection and capture of debugger output.
#pragma once

#include <string>

#include "platform/win32_types.h"

// Every override and failure injection back to its default, the virtual clock off, captured
// debug output dropped.
void TestResetPlatform();

// While on, timeGetTime, the performance counter, Sleep, timed waits and the time-stamp
// counter follow a clock that only moves when told to (or by the step on each read).
void TestUseVirtualClock(bool on);
void TestSetClockMicroseconds(unsigned long long us);
void TestAdvanceClockMicroseconds(unsigned long long us);
void TestSetClockStepPerRead(unsigned long long us);
// Counter frequency under the virtual clock; 0 = no performance counter.
void TestSetPerformanceFrequency(long long frequency);

void TestSetProcessorCount(int count);
void TestSetOsVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build,
                      const char* servicePack);
void TestSetOemCodePage(UINT codePage);
void TestSetMemoryStatus(unsigned long long totalPhys, unsigned long long availPhys);

struct TestCpu {
    bool hasCpuid;
    char vendor[13];
    unsigned leaf1Edx;
    unsigned maxExtendedLeaf;
    char brand[49];
};
// null = the real processor.
void TestSetCpu(const TestCpu* cpu);

void TestSetModuleMissing(const char* module, bool missing);
void TestSetExportMissing(const char* module, const char* name, bool missing);
// The n-th call from now (1 = the next) of the named platform function fails as that
// function reports failure.
void TestFailNthCall(const char* function, int n);

void TestCaptureDebugOutput(bool on);
// Everything OutputDebugStringA received since the last take, as bytes.
std::string TestTakeDebugOutput();

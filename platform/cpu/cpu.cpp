// The processor queries: the flags-register CPUID test, CPUID and the time-stamp counter on
// x86-64, none of them elsewhere; a test may put a processor of its own in their place.
#include "platform/cpu.h"

#include <cstring>

#include "../base/clock.h"
#include "../base/test_overrides.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

// Processor clock the virtual clock pretends to, in ticks per microsecond (3 GHz).
constexpr unsigned long long kVirtualTicksPerMicrosecond = 3000;

bool CpuHasCpuidInstruction() {
    TestCpu cpu;
    if (OverriddenCpu(&cpu)) return cpu.hasCpuid;
#if defined(__x86_64__)
    unsigned long long before, toggled;
    // Flip bit 21 (ID), read it back, then put the original flags back. The stack pointer
    // steps over the red zone first, where the compiler may keep locals.
    asm volatile(
        "sub $128, %%rsp\n\t"
        "pushfq\n\t"
        "pushfq\n\t"
        "pop %0\n\t"
        "mov %0, %1\n\t"
        "xor $0x200000, %1\n\t"
        "push %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "pop %1\n\t"
        "popfq\n\t"
        "add $128, %%rsp\n\t"
        : "=&r"(before), "=&r"(toggled)
        :
        : "cc");
    return ((before ^ toggled) & 0x200000) != 0;
#else
    return false;
#endif
}

// The test processor's answer: the vendor in EBX, EDX, ECX; leaf 1's EDX; the extended
// leaves up to the maximum it reports, with the brand text 16 bytes per leaf.
static void TestCpuId(const TestCpu& cpu, unsigned leaf, unsigned regs[4]) {
    if (leaf == 0) {
        regs[0] = 1;
        std::memcpy(&regs[1], cpu.vendor, 4);
        std::memcpy(&regs[3], cpu.vendor + 4, 4);
        std::memcpy(&regs[2], cpu.vendor + 8, 4);
    } else if (leaf == 1) {
        regs[3] = cpu.leaf1Edx;
    } else if (leaf == 0x80000000) {
        regs[0] = cpu.maxExtendedLeaf;
    } else if (leaf >= 0x80000002 && leaf <= 0x80000004 && leaf <= cpu.maxExtendedLeaf) {
        std::memcpy(regs, cpu.brand + (leaf - 0x80000002) * 16, 16);
    }
}

void CpuId(unsigned leaf, unsigned regs[4]) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    TestCpu cpu;
    if (OverriddenCpu(&cpu)) {
        if (cpu.hasCpuid) TestCpuId(cpu, leaf, regs);
        return;
    }
#if defined(__x86_64__)
    __cpuid_count(leaf, 0, regs[0], regs[1], regs[2], regs[3]);
#endif
}

unsigned long long ReadTimeStampCounter() {
    if (ClockIsVirtual()) return ClockPeekMicroseconds() * kVirtualTicksPerMicrosecond;
#if defined(__x86_64__)
    return __rdtsc();
#else
    return 0;
#endif
}

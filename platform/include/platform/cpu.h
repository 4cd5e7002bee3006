// The processor queries the framework makes with compiler intrinsics on Windows: whether
// CPUID exists, CPUID itself and the time-stamp counter. Tests can replace the processor.
#pragma once

// The flags-register bit-21 toggle test; the register is restored afterwards.
bool CpuHasCpuidInstruction();
// regs receives eax, ebx, ecx, edx of the given leaf (sub-leaf 0).
void CpuId(unsigned leaf, unsigned regs[4]);
unsigned long long ReadTimeStampCounter();

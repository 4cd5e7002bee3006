// The registry of pixel-shader kernels and stage programs, and the reading of the bytecode records
// that name them.
#pragma once

#include <string>

#include "platform/d3d9_kernels.h"

struct ShaderKernelRecord {
    bool vertex;
    std::string name;
};

// Reads a record made by MakeShaderKernelRecord (comment blocks such as a constant table may
// precede the name); false for any other bytecode.
bool ParseShaderKernelRecord(const DWORD* code, ShaderKernelRecord* record);
// What a pixel-shader name stands for: a kernel, a span kernel or a stage program (the others
// null); all null when nothing is registered under it.
struct PixelShaderBody {
    PixelShaderKernel kernel;
    PixelShaderSpanKernel spanKernel;
    ShaderStageBuilder stages;
};
PixelShaderBody FindPixelShader(const std::string& name);

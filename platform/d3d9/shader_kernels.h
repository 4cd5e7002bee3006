// The registry of pixel-shader kernels and the reading of the bytecode records that name them.
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
// Null when no kernel has that name.
PixelShaderKernel FindPixelShaderKernel(const std::string& name);

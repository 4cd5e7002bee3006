// The filter and blend shaders' kernels for the software device, registered under the pack's
// file names. They compute on exact 8-bit texels what the processor path computes, from the
// constants and textures the filters pass.
#pragma once

// Registers every filter and blend kernel with the device; later calls do nothing.
void RegisterFilterShaderKernels();

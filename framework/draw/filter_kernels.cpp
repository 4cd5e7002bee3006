#include "draw/filter_kernels.h"

void RegisterFilterShaderKernels() {}

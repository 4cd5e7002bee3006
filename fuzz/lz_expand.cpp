// Fuzz target: LZ expansion of an arbitrary buffer into an output of exactly the size its head
// claims, so that any write past the output or read past the input is caught.
#include "core/lz_expand.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const uint32_t bytes = static_cast<uint32_t>(size);
    int32_t decoded = ExpandArchiveData(data, bytes, nullptr, 0);
    // The decoder refuses only claims its data cannot give; outputs of a few megabytes are
    // enough to find its faults.
    if (decoded <= 0 || decoded > (1 << 22)) return 0;
    std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(decoded)]);
    int32_t result = ExpandArchiveData(data, bytes, out.get(), static_cast<uint32_t>(decoded));
    if (result != -1 && result != decoded) __builtin_trap();
    return 0;
}

// Expansion of the framework's LZ format. Every read is bounded by the encoded size and every
// write by the decoded size, so damaged data fails instead of overrunning either buffer.
#include "core/lz_expand.h"

#include <cstring>

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Copies a match whose source may overlap its destination. The source region grows by what
// was just written, so each chunk doubles until the rest fits: the same bytes as a byte loop.
void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
    const uint8_t* src = dst - distance;
    uint32_t available = distance;
    while (length > 0) {
        uint32_t chunk = length < available ? length : available;
        std::memcpy(dst, src, chunk);
        dst += chunk;
        length -= chunk;
        available += chunk;
    }
}

}  // namespace

int32_t ExpandArchiveData(const void* packed, uint32_t packedBytes, void* out, uint32_t outBytes) {
    const uint8_t* head = static_cast<const uint8_t*>(packed);
    if (packed == nullptr || packedBytes < kLzHeadBytes) return -1;
    uint32_t decodedSize = ReadU32(head);
    uint32_t encodedSize = ReadU32(head + 4);
    if (encodedSize < kLzHeadBytes || encodedSize > packedBytes) return -1;
    if (decodedSize > static_cast<uint32_t>(INT32_MAX) ||
        decodedSize > (encodedSize - kLzHeadBytes) * kLzLargestExpansion) {
        return -1;
    }
    if (out == nullptr) return static_cast<int32_t>(decodedSize);
    if (decodedSize > outBytes) return -1;

    const uint8_t escape = head[8];
    const uint8_t* in = head + kLzHeadBytes;
    const uint8_t* inEnd = head + encodedSize;
    uint8_t* const outStart = static_cast<uint8_t*>(out);
    uint8_t* o = outStart;
    uint8_t* const outEnd = outStart + decodedSize;

    while (in < inEnd) {
        uint8_t b = *in++;
        if (b != escape) {
            if (o == outEnd) return -1;
            *o++ = b;
            continue;
        }
        if (in == inEnd) return -1;
        uint32_t code = *in++;
        if (code == escape) {
            if (o == outEnd) return -1;
            *o++ = escape;
            continue;
        }
        // Codes above the escape byte are stored one higher, so the escape value itself
        // stays free for the doubled literal.
        if (code > escape) code--;
        if ((code & 3) == 3) return -1;
        uint32_t length = code >> 3;
        if (code & 4) {
            if (in == inEnd) return -1;
            length += static_cast<uint32_t>(*in++) * 32;
        }
        length += 4;
        uint32_t offsetBytes = (code & 3) + 1;
        if (static_cast<uint32_t>(inEnd - in) < offsetBytes) return -1;
        uint32_t offset = in[0];
        if (offsetBytes > 1) offset |= static_cast<uint32_t>(in[1]) << 8;
        if (offsetBytes > 2) offset |= static_cast<uint32_t>(in[2]) << 16;
        in += offsetBytes;
        uint32_t distance = offset + 1;
        if (distance > static_cast<size_t>(o - outStart)) return -1;
        if (length > static_cast<size_t>(outEnd - o)) return -1;
        CopyMatch(o, distance, length);
        o += length;
    }
    if (o != outEnd) return -1;
    return static_cast<int32_t>(decodedSize);
}

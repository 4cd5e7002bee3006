// The shader-constant cache.
#include "graphics/shader_constants.h"

#include <algorithm>
#include <cstring>

#include "graphics/d3d_device.h"
#include "graphics/shaders.h"

ShaderConstCache gShaderConstCache;

namespace {

constexpr int kRegisterCounts[kShaderConstKinds] = {256, 16, 16, 224, 16, 16};

bool IsBoolKind(int kind) {
    return kind == kShaderConstVertexBool || kind == kShaderConstPixelBool;
}

bool IsRegisterRange(const ShaderConstCache* cache, int kind, int first, int count) {
    // The end in 64 bits: a first or count near INT_MAX must not wrap round into the range.
    return kind >= 0 && kind < kShaderConstKinds && first >= 0 && count >= 0 &&
           int64_t{first} + count <= cache->kinds[kind].registerCount;
}

// The device call of the kind; only while the built-in shaders draw.
void SendToDevice(int kind, int first, const void* values, int count) {
    IDirect3DDevice9* device = gDirect3D.device;
    if (!AreBuiltinShadersOn() || device == nullptr || count == 0) return;
    auto f = static_cast<const float*>(values);
    auto i = static_cast<const int*>(values);
    auto b = static_cast<const BOOL*>(values);
    switch (kind) {
        case kShaderConstVertexFloat: device->SetVertexShaderConstantF(first, f, count); break;
        case kShaderConstVertexInt: device->SetVertexShaderConstantI(first, i, count); break;
        case kShaderConstVertexBool: device->SetVertexShaderConstantB(first, b, count); break;
        case kShaderConstPixelFloat: device->SetPixelShaderConstantF(first, f, count); break;
        case kShaderConstPixelInt: device->SetPixelShaderConstantI(first, i, count); break;
        default: device->SetPixelShaderConstantB(first, b, count); break;
    }
}

// Sends each run of registers from first whose flag is set, from their owners.
void UploadFlaggedRuns(ShaderConstCache* cache, int kind, const bool* flagged) {
    int n = cache->kinds[kind].registerCount;
    for (int r = 0; r < n;) {
        if (!flagged[r]) {
            ++r;
            continue;
        }
        int end = r;
        while (end < n && flagged[end]) ++end;
        UploadShaderConstRange(nullptr, r, cache, kind, end - r);
        r = end;
    }
}

}  // namespace

int InitShaderConstCache(ShaderConstCache* cache) {
    std::memset(cache, 0, sizeof(*cache));
    for (int kind = 0; kind < kShaderConstKinds; ++kind) {
        ShaderConstKind& k = cache->kinds[kind];
        k.registerCount = kRegisterCounts[kind];
        k.registerSize = IsBoolKind(kind) ? 4 : 16;
        std::memset(k.owner, kNoConstOwner, sizeof(k.owner));
    }
    return 0;
}

int UpdateConstRangeList(ConstRangeList* list, int add, int first, int count) {
    if (count <= 0) return 0;
    int start = first, end = first + count;
    ConstRangeList out;
    out.count = 0;
    auto push = [&](int s, int e) {
        if (out.count == kMaxConstRanges) return false;
        out.ranges[out.count].start = static_cast<uint16_t>(s);
        out.ranges[out.count].end = static_cast<uint16_t>(e);
        ++out.count;
        return true;
    };
    bool placed = !add;
    for (int i = 0; i < list->count; ++i) {
        int s = list->ranges[i].start, e = list->ranges[i].end;
        if (add) {
            if (e < start) {
                if (!push(s, e)) return -1;
            } else if (s > end) {
                if (!placed && !push(start, end)) return -1;
                placed = true;
                if (!push(s, e)) return -1;
            } else {
                // Touching or overlapping: the new range swallows it.
                start = std::min(start, s);
                end = std::max(end, e);
            }
        } else {
            if (s < start && !push(s, std::min(e, start))) return -1;
            if (e > end && !push(std::max(s, end), e)) return -1;
        }
    }
    if (!placed && !push(start, end)) return -1;
    *list = out;
    return 0;
}

int MarkConstRangeOwner(const ConstRangeList* list, uint8_t* table, int set) {
    for (int i = 0; i < list->count; ++i) {
        for (int r = list->ranges[i].start; r < list->ranges[i].end; ++r) {
            table[r] = static_cast<uint8_t>(set);
        }
    }
    return 0;
}

int UploadShaderConstRange(const void* values, int first, ShaderConstCache* cache, int kind,
                           int count) {
    ShaderConstKind& k = cache->kinds[kind];
    uint8_t gathered[kMaxConstRegisters][16];
    if (values == nullptr) {
        for (int r = first; r < first + count; ++r) {
            uint8_t owner = k.owner[r];
            const uint8_t* from = owner == kNoConstOwner ? k.device[r] : k.sets[owner].values[r];
            std::memcpy(gathered[r - first], from, 16);
        }
        for (int i = 0; i < count; ++i) std::memcpy(k.device[first + i], gathered[i], 16);
    } else {
        auto bytes = static_cast<const uint8_t*>(values);
        for (int i = 0; i < count; ++i) {
            std::memcpy(k.device[first + i], bytes + i * k.registerSize, k.registerSize);
        }
    }
    // The device takes the registers packed at the kind's size.
    uint8_t packed[kMaxConstRegisters * 16];
    for (int i = 0; i < count; ++i) {
        std::memcpy(packed + i * k.registerSize, k.device[first + i], k.registerSize);
    }
    SendToDevice(kind, first, packed, count);
    return 0;
}

int StoreShaderConstants(ShaderConstCache* cache, int kind, int set, int first, const void* values,
                         int count, int markRange) {
    if (set < 0 || set >= kShaderConstSets || !IsRegisterRange(cache, kind, first, count)) {
        return -1;
    }
    ShaderConstKind& k = cache->kinds[kind];
    ShaderConstSet& s = k.sets[set];
    if (markRange) UpdateConstRangeList(&s.ranges, 1, first, count);
    auto bytes = static_cast<const uint8_t*>(values);
    bool shadowed = false;
    for (int i = 0; i < count; ++i) {
        int r = first + i;
        std::memcpy(s.values[r], bytes + i * k.registerSize, k.registerSize);
        s.claimed[r] = 1;
        if (!cache->live[set]) continue;
        if (k.owner[r] != kNoConstOwner && k.owner[r] > set) {
            shadowed = true;
        } else {
            k.owner[r] = static_cast<uint8_t>(set);
        }
    }
    if (cache->live[set]) UploadShaderConstRange(shadowed ? nullptr : values, first, cache, kind, count);
    return 0;
}

int ClearShaderConstRange(ShaderConstCache* cache, int kind, int set, int first, int count) {
    if (set < 0 || set >= kShaderConstSets || !IsRegisterRange(cache, kind, first, count)) {
        return -1;
    }
    ShaderConstKind& k = cache->kinds[kind];
    UpdateConstRangeList(&k.sets[set].ranges, 0, first, count);
    bool changed[kMaxConstRegisters] = {};
    for (int r = first; r < first + count; ++r) {
        k.sets[set].claimed[r] = 0;
        if (k.owner[r] != set) continue;
        uint8_t next = kNoConstOwner;
        for (int lower = set - 1; lower >= 0 && next == kNoConstOwner; --lower) {
            if (cache->live[lower] && k.sets[lower].claimed[r]) next = static_cast<uint8_t>(lower);
        }
        k.owner[r] = next;
        changed[r] = next != kNoConstOwner;
    }
    UploadFlaggedRuns(cache, kind, changed);
    return 0;
}

int SelectShaderConstSets(ShaderConstCache* cache, int mask) {
    bool same = true;
    for (int set = 0; set < kShaderConstSets; ++set) same &= cache->live[set] == ((mask >> set) & 1);
    if (same) return 0;
    for (int set = 0; set < kShaderConstSets; ++set) {
        cache->live[set] = static_cast<uint8_t>((mask >> set) & 1);
    }
    for (int kind = 0; kind < kShaderConstKinds; ++kind) {
        ShaderConstKind& k = cache->kinds[kind];
        uint8_t owners[kMaxConstRegisters];
        std::memset(owners, kNoConstOwner, sizeof(owners));
        for (int set = 0; set < kShaderConstSets; ++set) {
            if (cache->live[set]) MarkConstRangeOwner(&k.sets[set].ranges, owners, set);
        }
        bool changed[kMaxConstRegisters] = {};
        for (int r = 0; r < k.registerCount; ++r) {
            changed[r] = owners[r] != k.owner[r] && owners[r] != kNoConstOwner;
            k.owner[r] = owners[r];
        }
        UploadFlaggedRuns(cache, kind, changed);
    }
    return 0;
}

int LiveConstSetMask(const ShaderConstCache* cache) {
    int mask = 0;
    for (int set = 0; set < kShaderConstSets; ++set) {
        if (cache->live[set]) mask |= 1 << set;
    }
    return mask;
}

int StoreShaderConstants(int32_t kind, int32_t first, const void* values, int32_t count) {
    ShaderConstCache* cache = &gShaderConstCache;
    if (values == nullptr || !IsRegisterRange(cache, kind, first, count)) return -1;
    SelectShaderConstSets(cache, LiveConstSetMask(cache) | 1 << kProgramConstSet);
    return StoreShaderConstants(cache, kind, kProgramConstSet, first, values, count, 1);
}

int ClearShaderConstRange(int32_t kind, int32_t first, int32_t count) {
    return ClearShaderConstRange(&gShaderConstCache, kind, kProgramConstSet, first, count);
}

int UploadAllShaderConstants(const ShaderConstCache* cache) {
    for (int kind = 0; kind < kShaderConstKinds; ++kind) {
        const ShaderConstKind& k = cache->kinds[kind];
        uint8_t packed[kMaxConstRegisters * 16];
        for (int r = 0; r < k.registerCount; ++r) {
            std::memcpy(packed + r * k.registerSize, k.device[r], k.registerSize);
        }
        SendToDevice(kind, 0, packed, k.registerCount);
    }
    return 0;
}

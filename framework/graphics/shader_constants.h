// The shader-constant cache: per register kind, four prioritised usage sets whose values
// coexist; each register's value on the device is that of the highest live set that holds it,
// and the device's image of every register is kept to send again after a device reset.
// The register kinds (kShaderConstVertexFloat ...) and the program's setters are public
// (orbek/orbek.h); the program's values live in usage set 1.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

constexpr int kShaderConstKinds = 6;
constexpr int kShaderConstSets = 4;
constexpr int kProgramConstSet = 1;
constexpr int kMaxConstRegisters = 256;
constexpr int kMaxConstRanges = 256;
constexpr uint8_t kNoConstOwner = 255;

// Sorted, merged ranges [start, end) of register numbers.
struct ConstRangeList {
    int32_t count;
    struct {
        uint16_t start, end;
    } ranges[kMaxConstRanges];
};

struct ShaderConstSet {
    ConstRangeList ranges;
    uint8_t values[kMaxConstRegisters][16];
    uint8_t claimed[kMaxConstRegisters];
};

struct ShaderConstKind {
    int32_t registerCount;  // 256, 16, 16, 224, 16, 16 by kind
    int32_t registerSize;   // 16 bytes; 4 for the bool kinds
    ShaderConstSet sets[kShaderConstSets];
    uint8_t owner[kMaxConstRegisters];  // the set whose value is on the device
    uint8_t device[kMaxConstRegisters][16];
};

struct ShaderConstCache {
    ShaderConstKind kinds[kShaderConstKinds];
    uint8_t live[kShaderConstSets];
};

extern ShaderConstCache gShaderConstCache;

int InitShaderConstCache(ShaderConstCache* cache);
// Stores count registers of the kind from first in the usage set (four values a register; one
// for the bool kinds); with markRange the set's range list takes them too. -1 for a kind, set
// or register range that does not exist.
int StoreShaderConstants(ShaderConstCache* cache, int kind, int set, int first, const void* values,
                         int count, int markRange);
// The set lets the registers go; each passes to the highest lower live set that holds it.
int ClearShaderConstRange(ShaderConstCache* cache, int kind, int set, int first, int count);
// Makes the usage sets of the 4-bit mask live and sends every register whose owner changed.
int SelectShaderConstSets(ShaderConstCache* cache, int mask);
// The mask of the live usage sets.
int LiveConstSetMask(const ShaderConstCache* cache);
// Sends count registers from first (from their owners when values is null) and keeps them as the
// device's image.
int UploadShaderConstRange(const void* values, int first, ShaderConstCache* cache, int kind,
                           int count);
// Adds or removes [first, first + count); -1 when an addition would need more than 256 ranges.
int UpdateConstRangeList(ConstRangeList* list, int add, int first, int count);
// Writes set into table[r] for every register r of every range.
int MarkConstRangeOwner(const ConstRangeList* list, uint8_t* table, int set);
// Sends every kind's device image again (after a device re-creation); 0.
int UploadAllShaderConstants(const ShaderConstCache* cache);

// Tracked allocation over the process heap: every block carries a header guarded by two
// copies, all live blocks form one list that can be dumped to the log and verified.
#pragma once

#include <cstdint>

struct MemBlockHeader;

// The guarded first half of a block header.
struct MemBlockInfo {
    char fileTail[16];  // 0xA5 fill, then the last 15 characters of the source file and a NUL
    uint16_t serial;    // allocation counter when the block was made or last resized
    int16_t line;
    uint32_t size;          // the caller's byte count
    MemBlockHeader* older;  // towards the oldest; the list ends in the sentinel block
    MemBlockHeader* newer;  // towards the newest; null for the newest
};

// What precedes the caller's bytes; a second copy of `info` follows them.
struct MemBlockHeader {
    MemBlockInfo info;
    MemBlockInfo copy;
};

void* AllocMemory(uint32_t size, const char* sourceFile, int16_t line);
void* AllocClearedMemory(uint32_t size, const char* sourceFile, int16_t line);
// A null ptr allocates; on failure the old block stays valid and null is returned.
void* ReallocMemory(void* ptr, uint32_t size, const char* sourceFile, int16_t line);
void FreeMemory(void* ptr);

void DumpMemoryBlocks();
int CheckAllMemoryBlocks();
// 0 when both copies match the header; a damaged block is reported and the process ends.
int CheckMemoryBlock(const MemBlockHeader* block);
void LogMemoryBlock(const MemBlockHeader* block, int32_t withData);
void LogMemoryTotals();

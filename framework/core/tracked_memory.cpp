// Tracked allocation over the process heap. Each block is [header | header copy | user bytes |
// trailing copy]; the copies are compared with the header when the block is freed, and a
// damaged block is reported to the log and ends the process at once.
#include "core/tracked_memory.h"

#include <platform/win32.h>

#include <climits>
#include <cstddef>
#include <mutex>

#include "core/log.h"
#include "core/string_functions.h"

// The guarded part is compared byte for byte, so it must have no padding.
static_assert(sizeof(MemBlockInfo) == sizeof(MemBlockInfo::fileTail) + sizeof(uint16_t) +
                                          sizeof(int16_t) + sizeof(uint32_t) +
                                          2 * sizeof(MemBlockHeader*));

namespace {
constexpr uint32_t kOverhead = sizeof(MemBlockHeader) + sizeof(MemBlockInfo);
constexpr int kShownDataBytes = 16;
}  // namespace

// The list's oldest element, with room for the trailing copy of its empty user area.
struct SentinelBlock {
    MemBlockHeader header;
    MemBlockInfo trailing;
};

struct MemoryState {
    MemBlockHeader* head;  // the newest block; null until the first operation
    SentinelBlock sentinel;
    uint64_t totalSize;
    int32_t blockCount;
    uint16_t counter;  // wraps at 65536
    std::once_flag lockOnce;
    CRITICAL_SECTION lock;  // recursive: the log may allocate while the lock is held
    // Trace settings, at their defaults: zero-byte blocks are traced.
    bool traceAll = false;
    bool totalsAfterEach = false;
    bool checkAllOnEach = false;
    int64_t traceSizeFilter = 0;
};

// Constant-initialised, so that allocations from other modules' static set-up find it ready.
static constinit MemoryState gMemory{};

namespace {
class MemoryLock {
public:
    MemoryLock() {
        std::call_once(gMemory.lockOnce, [] { InitializeCriticalSection(&gMemory.lock); });
        EnterCriticalSection(&gMemory.lock);
    }
    ~MemoryLock() { LeaveCriticalSection(&gMemory.lock); }
    MemoryLock(const MemoryLock&) = delete;
    MemoryLock& operator=(const MemoryLock&) = delete;
};
}  // namespace

static MemBlockHeader* Head() {
    if (gMemory.head == nullptr) gMemory.head = &gMemory.sentinel.header;
    return gMemory.head;
}

static uint8_t* UserBytes(const MemBlockHeader* block) {
    return reinterpret_cast<uint8_t*>(const_cast<MemBlockHeader*>(block) + 1);
}

static MemBlockHeader* HeaderOf(void* ptr) {
    return static_cast<MemBlockHeader*>(ptr) - 1;
}

static void RefreshCopies(MemBlockHeader* block) {
    block->copy = block->info;
    // The trailing copy follows the user bytes and need not be aligned.
    CopyBytes(UserBytes(block) + block->info.size, &block->info, sizeof(MemBlockInfo));
}

static void StoreFileTail(MemBlockInfo* info, const char* sourceFile) {
    FillBytes(info->fileTail, 0xA5, sizeof(info->fileTail));
    if (sourceFile == nullptr) {
        info->fileTail[0] = '\0';
        return;
    }
    const uint32_t kept = sizeof(info->fileTail) - 1;
    const uint32_t length = GetStringLength(sourceFile);
    CopyString(info->fileTail, sourceFile + (length > kept ? length - kept : 0));
}

// Appends formatted text at *length, bounded by the buffer.
__attribute__((format(printf, 4, 5))) static void AppendFormat(char* buffer, int bytes, int* length,
                                                               const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = FormatStringArgsN(buffer + *length, bytes - *length, format, args);
    va_end(args);
    if (written > 0) *length += written;
}

// One block line; `userAddress` is what the caller of AllocMemory was given.
static void LogBlockLine(const MemBlockInfo& info, const uint8_t* userAddress, bool withData) {
    char line[320];
    int length = 0;
    AppendFormat(line, sizeof(line), &length,
                 "\tsize:%10u(%10.3fkb)  file:%-26.16s  line:%-5d  ID:%-5d  addr:%016llx",
                 info.size, info.size / 1024.0, info.fileTail, info.line, info.serial,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(userAddress)));
    if (!withData) {
        AppendFormat(line, sizeof(line), &length, "\n");
        AppendLogText(line);
        return;
    }
    const int shown = info.size < kShownDataBytes ? static_cast<int>(info.size) : kShownDataBytes;
    AppendFormat(line, sizeof(line), &length, "  data:<");
    for (int i = 0; i < shown; ++i) {
        const uint8_t b = userAddress[i];
        AppendFormat(line, sizeof(line), &length, "%c", b < 32 ? '.' : static_cast<char>(b));
    }
    AppendFormat(line, sizeof(line), &length, "> [");
    for (int i = 0; i < shown; ++i) {
        AppendFormat(line, sizeof(line), &length, "%02x ", userAddress[i]);
    }
    if (shown > 0) --length;  // the last blank becomes the closing bracket
    AppendFormat(line, sizeof(line), &length, "]\n");
    AppendLogText(line);
}

// "HEAD  BASE:..." style line: the guarded bytes in groups of four, the file tail set apart.
static void LogHeadBytes(const char* label, const void* bytes) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    char line[256];
    int length = 0;
    AppendFormat(line, sizeof(line), &length, "%s", label);
    for (size_t i = 0; i < sizeof(MemBlockInfo); ++i) {
        const char* separator = "";
        if (i == offsetof(MemBlockInfo, serial)) {
            separator = "    ";
        } else if (i > 0) {
            separator = i % 4 == 0 ? "  " : " ";
        }
        AppendFormat(line, sizeof(line), &length, "%s%02x", separator, p[i]);
    }
    EmitLogFormat("%s", line);
}

static void ReportDamagedBlock(const MemBlockHeader* block, const uint8_t* trailing) {
    AppendLogText("以下のメモリ確保情報が破損しました、強制終了します\n");
    LogHeadBytes("HEAD  BASE:", &block->info);
    LogHeadBytes("HEAD TEMP1:", &block->copy);
    LogHeadBytes("HEAD TEMP2:", trailing);
    LogMemoryBlock(block, 1);
    // The copies read as headers of their own, so their lines show where they lie.
    MemBlockInfo trailingInfo;
    CopyBytes(&trailingInfo, trailing, sizeof(trailingInfo));
    LogBlockLine(block->copy,
                 reinterpret_cast<const uint8_t*>(&block->copy) + sizeof(MemBlockHeader), false);
    LogBlockLine(trailingInfo, trailing + sizeof(MemBlockHeader), false);
}

static bool TraceWanted(uint32_t size) {
    return gMemory.traceAll || gMemory.traceSizeFilter < 0 || size == gMemory.traceSizeFilter;
}

static void Trace(const char* what, const MemBlockHeader* block) {
    if (TraceWanted(block->info.size)) {
        AppendLogText(what);
        LogMemoryBlock(block, 1);
    }
    if (gMemory.totalsAfterEach) LogMemoryTotals();
}

// Sizes whose overhead would not fit the heap's 32-bit request fail as an exhausted heap.
static bool SizeFits(uint32_t size) {
    return size <= UINT32_MAX - kOverhead;
}

void* AllocMemory(uint32_t size, const char* sourceFile, int16_t line) {
    MemoryLock lock;
    MemBlockHeader* block = nullptr;
    if (SizeFits(size)) {
        block = static_cast<MemBlockHeader*>(HeapAlloc(GetProcessHeap(), 0, size + kOverhead));
    }
    if (block == nullptr) {
        DumpMemoryBlocks();
        CheckAllMemoryBlocks();
        return nullptr;
    }
    StoreFileTail(&block->info, sourceFile);
    block->info.size = size;
    block->info.line = line;
    block->info.serial = gMemory.counter++;

    MemBlockHeader* oldHead = Head();
    oldHead->info.newer = block;
    block->info.older = oldHead;
    block->info.newer = nullptr;
    gMemory.head = block;
    RefreshCopies(block);
    RefreshCopies(oldHead);

    gMemory.totalSize += size;
    ++gMemory.blockCount;
    Trace("mem alloc  ", block);
    if (gMemory.checkAllOnEach) CheckAllMemoryBlocks();
    return block + 1;
}

void* AllocClearedMemory(uint32_t size, const char* sourceFile, int16_t line) {
    void* ptr = AllocMemory(size, sourceFile, line);
    if (ptr != nullptr) FillBytes(ptr, 0, size);
    return ptr;
}

void* ReallocMemory(void* ptr, uint32_t size, const char* sourceFile, int16_t line) {
    if (ptr == nullptr) return AllocMemory(size, sourceFile, line);
    MemoryLock lock;
    MemBlockHeader* block = HeaderOf(ptr);
    const uint32_t oldSize = block->info.size;
    const bool wasHead = gMemory.head == block;
    if (size != oldSize) {
        void* moved = nullptr;
        if (SizeFits(size)) {
            moved = HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size + kOverhead);
        }
        if (moved == nullptr) {
            DumpMemoryBlocks();
            return nullptr;
        }
        block = static_cast<MemBlockHeader*>(moved);
    }
    StoreFileTail(&block->info, sourceFile);
    block->info.line = line;
    block->info.serial = gMemory.counter++;

    MemBlockHeader* older = block->info.older;
    MemBlockHeader* newer = block->info.newer;
    older->info.newer = block;
    if (newer != nullptr) newer->info.older = block;
    if (wasHead) gMemory.head = block;

    gMemory.totalSize = gMemory.totalSize - oldSize + size;
    block->info.size = size;
    RefreshCopies(block);
    RefreshCopies(older);
    if (newer != nullptr) RefreshCopies(newer);

    Trace("mem realloc  ", block);
    if (gMemory.checkAllOnEach) CheckAllMemoryBlocks();
    return block + 1;
}

void FreeMemory(void* ptr) {
    if (ptr == nullptr) return;
    MemoryLock lock;
    MemBlockHeader* block = HeaderOf(ptr);
    gMemory.totalSize -= block->info.size;
    --gMemory.blockCount;
    if (gMemory.checkAllOnEach) {
        CheckAllMemoryBlocks();
    } else {
        CheckMemoryBlock(block);
    }

    MemBlockHeader* older = block->info.older;
    MemBlockHeader* newer = block->info.newer;
    older->info.newer = newer;
    if (newer != nullptr) newer->info.older = older;
    if (gMemory.head == block) gMemory.head = older;
    RefreshCopies(older);
    if (newer != nullptr) RefreshCopies(newer);

    Trace("mem free  ", block);
    HeapFree(GetProcessHeap(), 0, block);
}

void DumpMemoryBlocks() {
    MemoryLock lock;
    AppendLogText("\n");
    AppendLogText("Alloc memory dump\n");
    for (MemBlockHeader* block = Head(); block != &gMemory.sentinel.header;
         block = block->info.older) {
        LogMemoryBlock(block, 1);
    }
    LogMemoryTotals();
    AppendLogText("\n");
}

int CheckAllMemoryBlocks() {
    MemoryLock lock;
    // A damaged block ends the process inside CheckMemoryBlock, so the walk either passes or
    // never returns.
    for (MemBlockHeader* block = Head(); block != nullptr; block = block->info.older) {
        CheckMemoryBlock(block);
    }
    return 0;
}

int CheckMemoryBlock(const MemBlockHeader* block) {
    MemoryLock lock;
    const uint8_t* trailing = UserBytes(block) + block->info.size;
    if (CompareBytes(&block->info, &block->copy, sizeof(MemBlockInfo)) == 0 &&
        CompareBytes(&block->info, trailing, sizeof(MemBlockInfo)) == 0) {
        return 0;
    }
    ReportDamagedBlock(block, trailing);
    // Stop at once: the shutdown sequence would walk the damaged list.
    ExitProcess(static_cast<UINT>(-1));
}

void LogMemoryBlock(const MemBlockHeader* block, int32_t withData) {
    LogBlockLine(block->info, UserBytes(block), withData != 0);
}

void LogMemoryTotals() {
    MemoryLock lock;
    EmitLogFormat("\tTotal size:%llu(%.3fkb)  Alloc num:%d",
                  static_cast<unsigned long long>(gMemory.totalSize), gMemory.totalSize / 1024.0,
                  gMemory.blockCount);
}

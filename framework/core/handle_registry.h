// Integer handles for the framework's resources: one registry per kind, with a slot table of
// records, a check number that changes whenever a slot is reused, a chain of live records and
// a lock of its own.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32.h>

#include <cstdint>

constexpr int32_t kHandleKindGraph = 1;
constexpr int32_t kHandleKindSoftImage = 2;
constexpr int32_t kHandleKindSound = 3;
constexpr int32_t kHandleKindSoftSound = 4;
constexpr int32_t kHandleKindMusic = 5;
constexpr int32_t kHandleKindMovie = 6;
constexpr int32_t kHandleKindMask = 7;
constexpr int32_t kHandleKindFont = 8;
constexpr int32_t kHandleKindKeyInput = 9;
constexpr int32_t kHandleKindLight = 11;
constexpr int32_t kHandleKindShader = 12;
constexpr int32_t kHandleKindModelBase = 13;
constexpr int32_t kHandleKindModel = 14;
constexpr int32_t kHandleKindVertexBuffer = 15;
constexpr int32_t kHandleKindIndexBuffer = 16;
constexpr int32_t kHandleKindFile = 17;

constexpr int32_t kHandleKindShift = 26;
constexpr int32_t kHandleKindBitsMask = 0x7C000000;
constexpr int32_t kHandleCheckShift = 16;
constexpr int32_t kHandleCheckBitsMask = 0x03FF0000;
constexpr int32_t kHandleSlotBitsMask = 0x0000FFFF;

constexpr int32_t HandleKindBits(int32_t kind) {
    return kind << kHandleKindShift;
}

// An element of a chain of records; a chain runs between two sentinels (handle -1, no data).
struct HandleNode {
    Handle handle;
    void* data;
    HandleNode* prev;
    HandleNode* next;
};

// The fields with which every registry-managed record begins; the kind's own fields follow.
struct HandleHeader {
    int32_t checkNumber;
    Handle handle;
    uint32_t recordSize;
    int32_t asyncPendingCount;  // loads queued or running on the record: not to be freed
    int32_t spare;
    int32_t asyncRequestSlot;
    HandleNode node;
};

using HandleInitCallback = int (*)(HandleHeader* record);
// Returns 1 to keep the record registered.
using HandleTerminateCallback = int (*)(HandleHeader* record);
// Returns non-zero for the records that a bulk retire keeps.
using HandleKeepFilter = int (*)(HandleHeader* record);

struct HandleRegistry {
    int32_t setUp;
    HandleHeader** slots;  // maxCount entries; null is a free slot
    // Per slot, read without the lock: the live record's handle, with bit 31 set while a load
    // into it is pending (0 for a free slot). Lookups from any thread test it before they touch
    // the record, which a loading worker may move or free meanwhile.
    int32_t* slotStates;
    HandleNode head;
    HandleNode tail;
    int32_t kindBits;
    uint32_t recordSize;
    int32_t maxCount;
    int32_t liveCount;
    int32_t lowestUsed;
    int32_t highestUsed;
    int32_t checkCounter;  // survives a shutdown, so old handles are not repeated at once
    CRITICAL_SECTION lock;
    HandleInitCallback init;
    HandleTerminateCallback terminate;
    const char* kindName;
};

// Calls visit(record) for every live record, lowest slot first. The bounds are read again at
// each step, so visit may retire the record it is given or issue a handle.
template <class Visit>
void ForEachHandleRecord(const HandleRegistry* registry, Visit visit) {
    if (!registry->setUp || registry->liveCount == 0) return;
    for (int32_t slot = registry->lowestUsed; slot <= registry->highestUsed; ++slot) {
        if (registry->slots[slot] != nullptr) visit(registry->slots[slot]);
    }
}

int SetupHandleRegistry(HandleRegistry* registry, int32_t kindBits, uint32_t recordSize,
                        int32_t maxCount, HandleInitCallback init,
                        HandleTerminateCallback terminate, const char* kindName);
int ShutdownHandleRegistry(HandleRegistry* registry);
// Issues a new handle with a zeroed record; a wanted handle's slot (and check number) is
// reused when that slot is free. Returns the handle or -1.
Handle IssueHandle(HandleRegistry* registry, Handle wanted);
int RetireHandle(HandleRegistry* registry, Handle handle);
int RetireAllHandles(HandleRegistry* registry, HandleKeepFilter keep);
int ResizeHandleData(HandleRegistry* registry, Handle handle, uint32_t newSize);
int RaiseHandleAsyncCount(HandleRegistry* registry, Handle handle, int32_t requestSlot);
int LowerHandleAsyncCount(HandleRegistry* registry, Handle handle);
// The end of a load into the handle, on the thread that ran it: the pending count goes down and,
// with retire, the handle is retired once no load is left, while it still reads as pending to
// every other thread. 0, or -1 for an invalid handle.
int EndHandleAsyncLoad(HandleRegistry* registry, Handle handle, int retire);
// The record of a valid handle, else null. Takes no lock: a pending record is only for the
// thread that loads into it, or under the registry lock.
HandleHeader* FindHandleRecord(const HandleRegistry* registry, Handle handle);
// The record of a valid handle with no load pending, else null. Takes no lock.
HandleHeader* FindUsableHandleRecord(const HandleRegistry* registry, Handle handle);
// 1 while a load into the handle is pending, 0 when none is, -1 for an invalid handle. Takes no
// lock.
int IsHandleLoadPending(const HandleRegistry* registry, Handle handle);

int InitHandleNodeChain(HandleNode* head, HandleNode* tail);
int InsertHandleNode(HandleNode* head, HandleNode* node, Handle handle, void* data);
int RemoveHandleNode(HandleNode* node);

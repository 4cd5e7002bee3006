// The handle registries: issue, check, retire and resize the records behind handles. Every
// registry serialises its operations with its own lock; the kinds' callbacks run under it.
#include "core/handle_registry.h"

#include <atomic>

#include "core/async_load.h"
#include "core/log.h"
#include "core/string_functions.h"
#include "core/threads.h"
#include "core/tracked_memory.h"

namespace {

// Check numbers run 0..1022.
constexpr int32_t kCheckNumberLimit = 1023;
// The slot index has 16 bits.
constexpr int32_t kMaxSlotCount = 0x10000;
// What DeleteAsyncLoadRequest answers for a request that is running.
constexpr int kAsyncRequestRunning = -2;
// In a slot's state word: a load into the record is pending. No handle has bit 31 set.
constexpr int32_t kSlotPendingBit = INT32_MIN;

int32_t SlotOf(Handle handle) {
    return handle & kHandleSlotBitsMask;
}

int32_t CheckNumberOf(Handle handle) {
    return (handle & kHandleCheckBitsMask) >> kHandleCheckShift;
}

bool IsSlotFree(const HandleRegistry* registry, int32_t slot) {
    return slot >= 0 && slot < registry->maxCount && registry->slots[slot] == nullptr;
}

int32_t LoadSlotState(const HandleRegistry* registry, int32_t slot) {
    return std::atomic_ref<int32_t>(registry->slotStates[slot]).load(std::memory_order_acquire);
}

HandleHeader* LoadSlotRecord(const HandleRegistry* registry, int32_t slot) {
    return std::atomic_ref<HandleHeader*>(registry->slots[slot]).load(std::memory_order_acquire);
}

// The state word of the slot: the handle, marked while its pending count is not 0. Under the
// lock; a record is published before its state, and its state withdrawn before the record.
void PublishSlotState(HandleRegistry* registry, int32_t slot, const HandleHeader* record) {
    int32_t state = 0;
    if (record != nullptr) {
        state = record->handle | (record->asyncPendingCount != 0 ? kSlotPendingBit : 0);
    }
    std::atomic_ref<int32_t>(registry->slotStates[slot]).store(state, std::memory_order_release);
}

void StoreSlotRecord(HandleRegistry* registry, int32_t slot, HandleHeader* record) {
    std::atomic_ref<HandleHeader*>(registry->slots[slot]).store(record, std::memory_order_release);
}

// The slot's state word when the handle is the one the slot holds, else 0.
int32_t StateOfHandle(const HandleRegistry* registry, Handle handle) {
    if (registry->setUp == 0 || handle < 0) return 0;
    if ((handle & kHandleKindBitsMask) != registry->kindBits) return 0;
    int32_t slot = SlotOf(handle);
    if (slot >= registry->maxCount) return 0;
    int32_t state = LoadSlotState(registry, slot);
    return (state & ~kSlotPendingBit) == handle ? state : 0;
}

// With no wanted slot: 0 for the first handle, else after the highest used slot, else before
// the lowest, else the first free one.
int32_t ChooseSlot(const HandleRegistry* registry) {
    if (registry->liveCount == 0) return 0;
    int32_t slot = registry->highestUsed + 1;
    if (slot < registry->maxCount) return slot;
    slot = registry->lowestUsed - 1;
    if (slot >= 1) return slot;
    for (slot = 0; !IsSlotFree(registry, slot); slot++) {
    }
    return slot;
}

int32_t NextCheckNumber(HandleRegistry* registry) {
    int32_t check = registry->checkCounter + 1;
    if (check >= kCheckNumberLimit) check = 0;
    registry->checkCounter = check;
    return check;
}

// Keeps the lowest and highest used slots right after the record of `slot` has gone.
void ShrinkUsedRange(HandleRegistry* registry, int32_t slot) {
    if (registry->liveCount == 0) {
        registry->lowestUsed = 0;
        registry->highestUsed = 0;
        return;
    }
    if (slot == registry->highestUsed) {
        int32_t s = slot - 1;
        while (registry->slots[s] == nullptr) s--;
        registry->highestUsed = s;
    } else if (slot == registry->lowestUsed) {
        int32_t s = slot + 1;
        while (registry->slots[s] == nullptr) s++;
        registry->lowestUsed = s;
    }
}

// Clears everything but the check counter.
void ClearRegistry(HandleRegistry* registry) {
    int32_t checkCounter = registry->checkCounter;
    FillBytes(registry, 0, sizeof *registry);
    registry->checkCounter = checkCounter;
}

bool IsKept(HandleKeepFilter keep, HandleHeader* record) {
    return keep != nullptr && keep(record) != 0;
}

// Under the lock: the terminate callback, then (unless it keeps the record) the record goes.
void RemoveRecord(HandleRegistry* registry, HandleHeader* record) {
    int32_t slot = SlotOf(record->handle);
    if (registry->terminate != nullptr && registry->terminate(record) == 1) {
        PublishSlotState(registry, slot, record);
        return;
    }
    PublishSlotState(registry, slot, nullptr);
    StoreSlotRecord(registry, slot, nullptr);
    RemoveHandleNode(&record->node);
    FreeMemory(record);
    registry->liveCount--;
    ShrinkUsedRange(registry, slot);
}

}  // namespace

int SetupHandleRegistry(HandleRegistry* registry, int32_t kindBits, uint32_t recordSize,
                        int32_t maxCount, HandleInitCallback init,
                        HandleTerminateCallback terminate, const char* kindName) {
    if (registry->setUp != 0) return -1;
    if (maxCount < 1 || maxCount > kMaxSlotCount || recordSize < sizeof(HandleHeader)) return -1;
    ClearRegistry(registry);
    registry->kindBits = kindBits;
    registry->recordSize = recordSize;
    registry->maxCount = maxCount;
    registry->init = init;
    registry->terminate = terminate;
    registry->kindName = kindName;
    registry->slots = static_cast<HandleHeader**>(AllocClearedMemory(
        static_cast<uint32_t>(sizeof(HandleHeader*)) * static_cast<uint32_t>(maxCount), __FILE__,
        __LINE__));
    registry->slotStates = static_cast<int32_t*>(
        AllocClearedMemory(static_cast<uint32_t>(sizeof(int32_t)) * static_cast<uint32_t>(maxCount),
                           __FILE__, __LINE__));
    if (registry->slots == nullptr || registry->slotStates == nullptr) {
        if (registry->slots != nullptr) FreeMemory(registry->slots);
        if (registry->slotStates != nullptr) FreeMemory(registry->slotStates);
        ClearRegistry(registry);
        return -1;
    }
    InitHandleNodeChain(&registry->head, &registry->tail);
    InitLock(&registry->lock);
    registry->setUp = 1;
    return 0;
}

int ShutdownHandleRegistry(HandleRegistry* registry) {
    if (registry->setUp == 0) return -1;
    RetireAllHandles(registry, nullptr);
    FreeMemory(registry->slots);
    FreeMemory(registry->slotStates);
    DeleteLock(&registry->lock);
    ClearRegistry(registry);
    return 0;
}

HandleHeader* FindHandleRecord(const HandleRegistry* registry, Handle handle) {
    return StateOfHandle(registry, handle) != 0 ? LoadSlotRecord(registry, SlotOf(handle))
                                                : nullptr;
}

HandleHeader* FindUsableHandleRecord(const HandleRegistry* registry, Handle handle) {
    int32_t state = StateOfHandle(registry, handle);
    return state != 0 && (state & kSlotPendingBit) == 0 ? LoadSlotRecord(registry, SlotOf(handle))
                                                        : nullptr;
}

int IsHandleLoadPending(const HandleRegistry* registry, Handle handle) {
    int32_t state = StateOfHandle(registry, handle);
    if (state == 0) return -1;
    return (state & kSlotPendingBit) != 0 ? 1 : 0;
}

Handle IssueHandle(HandleRegistry* registry, Handle wanted) {
    if (registry->setUp == 0) return -1;
    EnterLock(&registry->lock);
    if (registry->liveCount == registry->maxCount) {
        LeaveLock(&registry->lock);
        return EmitLogFormat(
            "%sハンドルの数が限界数( %d )に達していて新たなハンドルを作成できません",
            registry->kindName, registry->maxCount);
    }

    // A wanted handle of another kind, or whose slot is taken, is treated as no wish: its
    // check number would otherwise revive a stale handle's identity in another slot.
    bool useWanted = wanted >= 0 && (wanted & kHandleKindBitsMask) == registry->kindBits &&
                     IsSlotFree(registry, SlotOf(wanted));
    int32_t slot = useWanted ? SlotOf(wanted) : ChooseSlot(registry);

    HandleHeader* record =
        static_cast<HandleHeader*>(AllocClearedMemory(registry->recordSize, __FILE__, __LINE__));
    if (record == nullptr) {
        LeaveLock(&registry->lock);
        return EmitLogFormat("%sハンドルのデータを格納するメモリ領域の確保に失敗しました",
                             registry->kindName);
    }

    int32_t check = useWanted ? CheckNumberOf(wanted) : NextCheckNumber(registry);
    Handle handle = (check << kHandleCheckShift) | registry->kindBits | slot;
    record->checkNumber = check;
    record->recordSize = registry->recordSize;
    record->handle = handle;

    if (registry->liveCount == 0) {
        registry->lowestUsed = slot;
        registry->highestUsed = slot;
    } else {
        if (slot < registry->lowestUsed) registry->lowestUsed = slot;
        if (slot > registry->highestUsed) registry->highestUsed = slot;
    }
    registry->liveCount++;
    StoreSlotRecord(registry, slot, record);
    PublishSlotState(registry, slot, record);
    InsertHandleNode(&registry->head, &record->node, handle, record);
    if (registry->init != nullptr) registry->init(record);

    LeaveLock(&registry->lock);
    return handle;
}

int RetireHandle(HandleRegistry* registry, Handle handle) {
    if (registry->setUp == 0) return -1;
    EnterLock(&registry->lock);
    HandleHeader* record = FindHandleRecord(registry, handle);
    if (record == nullptr) {
        LeaveLock(&registry->lock);
        return -1;
    }

    if (record->asyncPendingCount != 0 &&
        DeleteAsyncLoadRequest(record->asyncRequestSlot, 1) == kAsyncRequestRunning) {
        // The load runs: keep the main-thread requests going so that it can finish, and look
        // the handle up afresh each time, since another thread may retire it meanwhile.
        while (record != nullptr && record->asyncPendingCount != 0) {
            LeaveLock(&registry->lock);
            RunMainThreadRequests();
            SleepMilliseconds(0);
            EnterLock(&registry->lock);
            record = FindHandleRecord(registry, handle);
        }
        if (record == nullptr) {
            LeaveLock(&registry->lock);
            return -1;
        }
    }

    RemoveRecord(registry, record);
    LeaveLock(&registry->lock);
    return 0;
}

int RetireAllHandles(HandleRegistry* registry, HandleKeepFilter keep) {
    if (registry->setUp == 0) return -1;

    EnterLock(&registry->lock);
    int32_t lowest = registry->lowestUsed;
    int32_t highest = registry->liveCount == 0 ? -1 : registry->highestUsed;
    for (int32_t slot = lowest; slot <= highest; slot++) {
        HandleHeader* record = registry->slots[slot];
        if (record == nullptr || record->asyncPendingCount == 0 || IsKept(keep, record)) continue;
        if (DeleteAsyncLoadRequest(record->asyncRequestSlot, 1) != kAsyncRequestRunning) {
            record->asyncPendingCount = 0;
            PublishSlotState(registry, slot, record);
        }
    }
    LeaveLock(&registry->lock);

    // Retiring runs without the lock held across records, so that a running load's wait does
    // not block the registry; each slot is read under it.
    for (int32_t slot = lowest; slot <= highest; slot++) {
        EnterLock(&registry->lock);
        HandleHeader* record = registry->slots[slot];
        Handle handle = record != nullptr && !IsKept(keep, record) ? record->handle : -1;
        LeaveLock(&registry->lock);
        if (handle >= 0) RetireHandle(registry, handle);
    }
    return 0;
}

int ResizeHandleData(HandleRegistry* registry, Handle handle, uint32_t newSize) {
    if (registry->setUp == 0 || newSize < sizeof(HandleHeader)) return -1;
    EnterLock(&registry->lock);
    HandleHeader* record = FindHandleRecord(registry, handle);
    if (record == nullptr) {
        LeaveLock(&registry->lock);
        return -1;
    }
    if (newSize == record->recordSize) {
        LeaveLock(&registry->lock);
        return 0;
    }
    HandleHeader* moved =
        static_cast<HandleHeader*>(ReallocMemory(record, newSize, __FILE__, __LINE__));
    if (moved == nullptr) {
        LeaveLock(&registry->lock);
        return -1;
    }
    if (moved != record) {
        StoreSlotRecord(registry, SlotOf(handle), moved);
        moved->node.data = moved;
        moved->node.prev->next = &moved->node;
        moved->node.next->prev = &moved->node;
    }
    moved->recordSize = newSize;
    LeaveLock(&registry->lock);
    return 0;
}

int RaiseHandleAsyncCount(HandleRegistry* registry, Handle handle, int32_t requestSlot) {
    if (registry->setUp == 0) return -1;
    EnterLock(&registry->lock);
    HandleHeader* record = FindHandleRecord(registry, handle);
    if (record != nullptr) {
        record->asyncPendingCount++;
        record->asyncRequestSlot = requestSlot;
        PublishSlotState(registry, SlotOf(handle), record);
    }
    LeaveLock(&registry->lock);
    return record != nullptr ? 0 : -1;
}

int LowerHandleAsyncCount(HandleRegistry* registry, Handle handle) {
    if (registry->setUp == 0) return -1;
    EnterLock(&registry->lock);
    HandleHeader* record = FindHandleRecord(registry, handle);
    if (record != nullptr) {
        record->asyncPendingCount--;
        PublishSlotState(registry, SlotOf(handle), record);
    }
    LeaveLock(&registry->lock);
    return record != nullptr ? 0 : -1;
}

int EndHandleAsyncLoad(HandleRegistry* registry, Handle handle, int retire) {
    if (registry->setUp == 0) return -1;
    EnterLock(&registry->lock);
    HandleHeader* record = FindHandleRecord(registry, handle);
    if (record != nullptr) {
        record->asyncPendingCount--;
        // The submitter may raise the count only after the load has run; a count below 0 is
        // the load that ran first.
        if (retire && record->asyncPendingCount <= 0) {
            // The slot reads as pending until the record is gone, so no other thread takes it
            // up in between.
            record->asyncPendingCount = 0;
            RemoveRecord(registry, record);
        } else {
            PublishSlotState(registry, SlotOf(handle), record);
        }
    }
    LeaveLock(&registry->lock);
    return record != nullptr ? 0 : -1;
}

int InitHandleNodeChain(HandleNode* head, HandleNode* tail) {
    *head = HandleNode{-1, nullptr, nullptr, tail};
    *tail = HandleNode{-1, nullptr, head, nullptr};
    return 0;
}

int InsertHandleNode(HandleNode* head, HandleNode* node, Handle handle, void* data) {
    node->handle = handle;
    node->data = data;
    node->prev = head;
    node->next = head->next;
    head->next->prev = node;
    head->next = node;
    return 0;
}

int RemoveHandleNode(HandleNode* node) {
    node->prev->next = node->next;
    node->next->prev = node->prev;
    return 0;
}

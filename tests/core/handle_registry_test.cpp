// The handle registry: handle values, slot choice, check numbers, callbacks, bulk retire,
// record resizing and the refusal of every invalid handle.
#include "core/handle_registry.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/platform_dlls.h"

namespace {

struct TestRecord {
    HandleHeader header;
    int payload;
    int initCalls;
};

int gTerminateCalls = 0;
int gKeepOnTerminate = 0;

int InitRecord(HandleHeader* record) {
    reinterpret_cast<TestRecord*>(record)->initCalls++;
    reinterpret_cast<TestRecord*>(record)->payload = 77;
    return 0;
}

int TerminateRecord(HandleHeader* record) {
    gTerminateCalls++;
    return gKeepOnTerminate;
}

int KeepOddPayload(HandleHeader* record) {
    return reinterpret_cast<TestRecord*>(record)->payload % 2;
}

class HandleRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        LoadPlatformDlls();
        TestCaptureDebugOutput(true);
        gTerminateCalls = 0;
        gKeepOnTerminate = 0;
        registry_ = HandleRegistry{};
    }

    void TearDown() override {
        gKeepOnTerminate = 0;
        ShutdownHandleRegistry(&registry_);
        FreePlatformDlls();
        TestResetPlatform();
    }

    void Setup(int32_t kind, int32_t maxCount) {
        ASSERT_EQ(SetupHandleRegistry(&registry_, HandleKindBits(kind), sizeof(TestRecord),
                                      maxCount, InitRecord, TerminateRecord, "フォント"),
                  0);
    }

    TestRecord* Record(Handle handle) {
        return reinterpret_cast<TestRecord*>(FindHandleRecord(&registry_, handle));
    }

    static int32_t Slot(Handle handle) { return handle & 0xFFFF; }
    static int32_t Check(Handle handle) { return (handle >> 16) & 0x3FF; }

    // The handles of the chain from the head (newest) to the tail, checking every link.
    std::vector<Handle> Chain() const {
        std::vector<Handle> handles;
        const HandleNode* node = registry_.head.next;
        EXPECT_EQ(node->prev, &registry_.head);
        while (node != &registry_.tail) {
            EXPECT_EQ(node->next->prev, node);
            EXPECT_EQ(static_cast<HandleHeader*>(node->data)->handle, node->handle);
            EXPECT_EQ(&static_cast<HandleHeader*>(node->data)->node, node);
            handles.push_back(node->handle);
            node = node->next;
        }
        return handles;
    }

    HandleRegistry registry_{};
};

TEST_F(HandleRegistryTest, FirstHandleOfAGraphRegistryIsCheckOneSlotZero) {
    Setup(kHandleKindGraph, 16);
    Handle handle = IssueHandle(&registry_, -1);
    EXPECT_EQ(handle, 0x4010000);
    TestRecord* record = Record(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->header.handle, handle);
    EXPECT_EQ(record->header.checkNumber, 1);
    EXPECT_EQ(record->header.recordSize, sizeof(TestRecord));
    EXPECT_EQ(record->initCalls, 1);
    EXPECT_EQ(record->payload, 77);
    EXPECT_EQ(registry_.liveCount, 1);
}

TEST_F(HandleRegistryTest, ReissuedSlotGetsANewCheckNumberAndTheOldHandleIsRefused) {
    Setup(kHandleKindSound, 8);
    Handle first = IssueHandle(&registry_, -1);
    ASSERT_EQ(RetireHandle(&registry_, first), 0);
    Handle second = IssueHandle(&registry_, -1);
    EXPECT_EQ(Slot(second), Slot(first));
    EXPECT_NE(Check(second), Check(first));

    EXPECT_EQ(FindHandleRecord(&registry_, first), nullptr);
    EXPECT_EQ(RetireHandle(&registry_, first), -1);
    EXPECT_EQ(ResizeHandleData(&registry_, first, 256), -1);
    EXPECT_EQ(RaiseHandleAsyncCount(&registry_, first, 3), -1);
    EXPECT_EQ(LowerHandleAsyncCount(&registry_, first), -1);
    EXPECT_EQ(Record(second)->header.asyncPendingCount, 0);
    EXPECT_EQ(registry_.liveCount, 1);
}

TEST_F(HandleRegistryTest, CheckNumbersRunFromOneTo1022ThenZero) {
    Setup(kHandleKindGraph, 4);
    std::vector<int32_t> checks;
    for (int i = 0; i < 1024; ++i) {
        Handle handle = IssueHandle(&registry_, -1);
        ASSERT_GE(handle, 0);
        checks.push_back(Check(handle));
        ASSERT_EQ(RetireHandle(&registry_, handle), 0);
    }
    EXPECT_EQ(checks[0], 1);
    EXPECT_EQ(checks[1021], 1022);
    EXPECT_EQ(checks[1022], 0);
    EXPECT_EQ(checks[1023], 1);
}

TEST_F(HandleRegistryTest, CheckCounterSurvivesShutdownAndNewSetup) {
    Setup(kHandleKindMovie, 4);
    IssueHandle(&registry_, -1);
    IssueHandle(&registry_, -1);
    ASSERT_EQ(ShutdownHandleRegistry(&registry_), 0);
    EXPECT_EQ(gTerminateCalls, 2);
    Setup(kHandleKindMovie, 4);
    EXPECT_EQ(Check(IssueHandle(&registry_, -1)), 3);
}

TEST_F(HandleRegistryTest, SlotsFollowTheHighestThenPrecedeTheLowestThenFillGaps) {
    Setup(kHandleKindGraph, 5);
    Handle h[5];
    for (int i = 0; i < 5; ++i) {
        h[i] = IssueHandle(&registry_, -1);
        EXPECT_EQ(Slot(h[i]), i);
    }
    // Slots 2..4 used: after the highest is the end, so the slot before the lowest.
    RetireHandle(&registry_, h[0]);
    RetireHandle(&registry_, h[1]);
    EXPECT_EQ(registry_.lowestUsed, 2);
    EXPECT_EQ(Slot(IssueHandle(&registry_, -1)), 1);
    // Slots 1, 2, 4 used: before the lowest would be 0, below 1, so the first free slot.
    RetireHandle(&registry_, h[3]);
    EXPECT_EQ(Slot(IssueHandle(&registry_, -1)), 0);
    EXPECT_EQ(Slot(IssueHandle(&registry_, -1)), 3);
    EXPECT_EQ(registry_.liveCount, 5);
}

TEST_F(HandleRegistryTest, RetiringTheHighestOrLowestMovesTheUsedRange) {
    Setup(kHandleKindGraph, 10);
    Handle h[5];
    for (int i = 0; i < 5; ++i) h[i] = IssueHandle(&registry_, -1);
    RetireHandle(&registry_, h[3]);
    RetireHandle(&registry_, h[4]);
    EXPECT_EQ(registry_.highestUsed, 2);
    RetireHandle(&registry_, h[0]);
    RetireHandle(&registry_, h[1]);
    EXPECT_EQ(registry_.lowestUsed, 2);
    EXPECT_EQ(Slot(IssueHandle(&registry_, -1)), 3);
    RetireHandle(&registry_, h[2]);
    EXPECT_EQ(registry_.lowestUsed, 3);
    EXPECT_EQ(registry_.highestUsed, 3);
    RetireAllHandles(&registry_, nullptr);
    EXPECT_EQ(registry_.highestUsed, 0);
    EXPECT_EQ(Slot(IssueHandle(&registry_, -1)), 0);
}

TEST_F(HandleRegistryTest, FullRegistryLogsTheLimitAndRefuses) {
    Setup(kHandleKindFont, 2);
    ASSERT_GE(IssueHandle(&registry_, -1), 0);
    ASSERT_GE(IssueHandle(&registry_, -1), 0);
    TestTakeDebugOutput();
    EXPECT_EQ(IssueHandle(&registry_, -1), -1);
    EXPECT_NE(
        TestTakeDebugOutput().find(
            "フォントハンドルの数が限界数( 2 )に達していて新たなハンドルを作成できません\r\n"),
        std::string::npos);
    EXPECT_EQ(registry_.liveCount, 2);
}

TEST_F(HandleRegistryTest, RecordThatCannotBeAllocatedIsLoggedAndChangesNothing) {
    Setup(kHandleKindFont, 4);
    TestTakeDebugOutput();
    TestFailNthCall("HeapAlloc", 1);
    EXPECT_EQ(IssueHandle(&registry_, -1), -1);
    EXPECT_NE(TestTakeDebugOutput().find(
                  "フォントハンドルのデータを格納するメモリ領域の確保に失敗しました\r\n"),
              std::string::npos);
    EXPECT_EQ(registry_.liveCount, 0);
    EXPECT_EQ(registry_.checkCounter, 0);
    EXPECT_EQ(IssueHandle(&registry_, -1), 0x20010000);
}

TEST_F(HandleRegistryTest, TerminateCallbackReturningOneKeepsTheHandle) {
    Setup(kHandleKindGraph, 4);
    Handle handle = IssueHandle(&registry_, -1);
    gKeepOnTerminate = 1;
    EXPECT_EQ(RetireHandle(&registry_, handle), 0);
    EXPECT_NE(Record(handle), nullptr);
    EXPECT_EQ(registry_.liveCount, 1);
    gKeepOnTerminate = 0;
    EXPECT_EQ(RetireHandle(&registry_, handle), 0);
    EXPECT_EQ(Record(handle), nullptr);
    EXPECT_EQ(gTerminateCalls, 2);
}

TEST_F(HandleRegistryTest, WantedHandleWithAFreeSlotComesBackUnchanged) {
    Setup(kHandleKindGraph, 16);
    IssueHandle(&registry_, -1);
    Handle wanted = IssueHandle(&registry_, -1);
    IssueHandle(&registry_, -1);
    RetireHandle(&registry_, wanted);
    int32_t counter = registry_.checkCounter;
    EXPECT_EQ(IssueHandle(&registry_, wanted), wanted);
    EXPECT_EQ(registry_.checkCounter, counter);
    // A handle never issued, in a free slot, is taken as it is.
    Handle made = HandleKindBits(kHandleKindGraph) | (500 << 16) | 9;
    EXPECT_EQ(IssueHandle(&registry_, made), made);
    EXPECT_EQ(registry_.highestUsed, 9);
}

TEST_F(HandleRegistryTest, WantedHandleWhoseSlotIsTakenGetsAFreshIdentity) {
    Setup(kHandleKindGraph, 16);
    Handle taken = IssueHandle(&registry_, -1);
    Handle stale = (500 << 16) | HandleKindBits(kHandleKindGraph) | Slot(taken);
    Handle issued = IssueHandle(&registry_, stale);
    EXPECT_NE(Slot(issued), Slot(taken));
    EXPECT_EQ(Check(issued), 2);
    EXPECT_EQ(FindHandleRecord(&registry_, stale), nullptr);
}

TEST_F(HandleRegistryTest, WantedHandleOfAnotherKindIsIgnored) {
    Setup(kHandleKindGraph, 16);
    IssueHandle(&registry_, -1);
    Handle foreign = HandleKindBits(kHandleKindSound) | (600 << 16) | 7;
    Handle issued = IssueHandle(&registry_, foreign);
    EXPECT_EQ(issued, HandleKindBits(kHandleKindGraph) | (2 << 16) | 1);
}

TEST_F(HandleRegistryTest, ChainRunsFromTheNewestToTheOldest) {
    Setup(kHandleKindGraph, 8);
    Handle a = IssueHandle(&registry_, -1);
    Handle b = IssueHandle(&registry_, -1);
    Handle c = IssueHandle(&registry_, -1);
    EXPECT_EQ(Chain(), (std::vector<Handle>{c, b, a}));
    RetireHandle(&registry_, b);
    EXPECT_EQ(Chain(), (std::vector<Handle>{c, a}));
}

TEST_F(HandleRegistryTest, RetireAllKeepsWhatTheFilterKeepsAndWithdrawsPendingLoads) {
    Setup(kHandleKindGraph, 8);
    std::vector<Handle> handles;
    for (int i = 0; i < 6; ++i) {
        Handle handle = IssueHandle(&registry_, -1);
        Record(handle)->payload = i;
        handles.push_back(handle);
    }
    // Slot 4 has a load queued: nothing runs it, so the withdrawal lets it go.
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, handles[4], 12), 0);
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, handles[5], 13), 0);
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, handles[5], 14), 0);
    ASSERT_EQ(LowerHandleAsyncCount(&registry_, handles[5]), 0);
    EXPECT_EQ(Record(handles[5])->header.asyncRequestSlot, 14);
    EXPECT_EQ(RetireAllHandles(&registry_, KeepOddPayload), 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Record(handles[i]) != nullptr, i % 2 == 1) << i;
    }
    EXPECT_EQ(Record(handles[5])->header.asyncPendingCount, 1);
    EXPECT_EQ(gTerminateCalls, 3);
    EXPECT_EQ(registry_.lowestUsed, 1);
    EXPECT_EQ(registry_.highestUsed, 5);
    EXPECT_EQ(RetireAllHandles(&registry_, nullptr), 0);
    EXPECT_EQ(registry_.liveCount, 0);
}

TEST_F(HandleRegistryTest, ResizeMovesTheRecordAndEveryLinkFollows) {
    Setup(kHandleKindGraph, 8);
    Handle a = IssueHandle(&registry_, -1);
    Handle b = IssueHandle(&registry_, -1);
    Handle c = IssueHandle(&registry_, -1);
    Record(b)->payload = 4242;
    EXPECT_EQ(ResizeHandleData(&registry_, b, sizeof(TestRecord)), 0);
    EXPECT_EQ(ResizeHandleData(&registry_, b, 4), -1);
    ASSERT_EQ(ResizeHandleData(&registry_, b, 4096), 0);
    TestRecord* record = Record(b);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->payload, 4242);
    EXPECT_EQ(record->header.recordSize, 4096u);
    EXPECT_EQ(record->header.handle, b);
    EXPECT_EQ(registry_.slots[Slot(b)], &record->header);
    EXPECT_EQ(Chain(), (std::vector<Handle>{c, b, a}));
    // The whole new size is usable.
    std::memset(reinterpret_cast<char*>(record) + sizeof(TestRecord), 0x5A,
                4096 - sizeof(TestRecord));
    ASSERT_EQ(ResizeHandleData(&registry_, b, sizeof(TestRecord)), 0);
    EXPECT_EQ(Chain(), (std::vector<Handle>{c, b, a}));
    EXPECT_EQ(RetireHandle(&registry_, b), 0);
    EXPECT_EQ(Chain(), (std::vector<Handle>{c, a}));
}

TEST_F(HandleRegistryTest, EveryKindOfInvalidHandleIsRefused) {
    Setup(kHandleKindGraph, 8);
    Handle valid = IssueHandle(&registry_, -1);
    const Handle invalid[] = {
        -1,
        -2,
        static_cast<Handle>(valid | 0x80000000u),                           // negative
        (valid & ~kHandleKindBitsMask) | HandleKindBits(kHandleKindSound),  // other kind
        (valid & ~kHandleSlotBitsMask) | 8,           // slot beyond the maximum
        (valid & ~kHandleSlotBitsMask) | 3,           // empty slot
        (valid & ~kHandleCheckBitsMask) | (9 << 16),  // other check number
    };
    for (Handle handle : invalid) {
        EXPECT_EQ(FindHandleRecord(&registry_, handle), nullptr) << std::hex << handle;
        EXPECT_EQ(RetireHandle(&registry_, handle), -1) << std::hex << handle;
        EXPECT_EQ(ResizeHandleData(&registry_, handle, 128), -1) << std::hex << handle;
        EXPECT_EQ(RaiseHandleAsyncCount(&registry_, handle, 0), -1) << std::hex << handle;
        EXPECT_EQ(LowerHandleAsyncCount(&registry_, handle), -1) << std::hex << handle;
    }
    EXPECT_EQ(registry_.liveCount, 1);
    EXPECT_EQ(gTerminateCalls, 0);
}

TEST_F(HandleRegistryTest, APendingHandleIsHiddenFromUseUntilItsLoadEnds) {
    Setup(kHandleKindGraph, 8);
    Handle loaded = IssueHandle(&registry_, -1);
    Handle failed = IssueHandle(&registry_, -1);
    EXPECT_EQ(IsHandleLoadPending(&registry_, loaded), 0);
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, loaded, 1), 0);
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, failed, 2), 0);
    EXPECT_EQ(IsHandleLoadPending(&registry_, loaded), 1);
    EXPECT_EQ(FindUsableHandleRecord(&registry_, loaded), nullptr);
    EXPECT_NE(FindHandleRecord(&registry_, loaded), nullptr) << "the loading thread's view";

    EXPECT_EQ(EndHandleAsyncLoad(&registry_, loaded, 0), 0);
    EXPECT_EQ(IsHandleLoadPending(&registry_, loaded), 0);
    EXPECT_EQ(FindUsableHandleRecord(&registry_, loaded), FindHandleRecord(&registry_, loaded));
    EXPECT_EQ(EndHandleAsyncLoad(&registry_, failed, 1), 0);
    EXPECT_EQ(IsHandleLoadPending(&registry_, failed), -1);
    EXPECT_EQ(FindHandleRecord(&registry_, failed), nullptr);
    EXPECT_EQ(gTerminateCalls, 1);
    EXPECT_EQ(registry_.liveCount, 1);

    // A load that ends before its submitter raised the count leaves the handle usable once the
    // raise comes, or gone when it failed.
    Handle early = IssueHandle(&registry_, -1);
    EXPECT_EQ(EndHandleAsyncLoad(&registry_, early, 0), 0);
    EXPECT_EQ(IsHandleLoadPending(&registry_, early), 1);
    ASSERT_EQ(RaiseHandleAsyncCount(&registry_, early, 3), 0);
    EXPECT_EQ(IsHandleLoadPending(&registry_, early), 0);
    Handle earlyFailure = IssueHandle(&registry_, -1);
    EXPECT_EQ(EndHandleAsyncLoad(&registry_, earlyFailure, 1), 0);
    EXPECT_EQ(RaiseHandleAsyncCount(&registry_, earlyFailure, 4), -1);
    EXPECT_EQ(EndHandleAsyncLoad(&registry_, earlyFailure, 0), -1);
}

TEST_F(HandleRegistryTest, RegistryThatIsNotSetUpRefusesEverything) {
    EXPECT_EQ(IssueHandle(&registry_, -1), -1);
    EXPECT_EQ(RetireHandle(&registry_, 0x4010000), -1);
    EXPECT_EQ(RetireAllHandles(&registry_, nullptr), -1);
    EXPECT_EQ(ResizeHandleData(&registry_, 0x4010000, 64), -1);
    EXPECT_EQ(RaiseHandleAsyncCount(&registry_, 0x4010000, 0), -1);
    EXPECT_EQ(LowerHandleAsyncCount(&registry_, 0x4010000), -1);
    EXPECT_EQ(FindHandleRecord(&registry_, 0x4010000), nullptr);
    EXPECT_EQ(FindUsableHandleRecord(&registry_, 0x4010000), nullptr);
    EXPECT_EQ(IsHandleLoadPending(&registry_, 0x4010000), -1);
    EXPECT_EQ(EndHandleAsyncLoad(&registry_, 0x4010000, 1), -1);
    EXPECT_EQ(ShutdownHandleRegistry(&registry_), -1);
}

TEST_F(HandleRegistryTest, SetupRefusesASecondSetupAndImpossibleSizes) {
    Setup(kHandleKindGraph, 8);
    EXPECT_EQ(SetupHandleRegistry(&registry_, HandleKindBits(1), sizeof(TestRecord), 8, nullptr,
                                  nullptr, "x"),
              -1);
    HandleRegistry other{};
    EXPECT_EQ(SetupHandleRegistry(&other, HandleKindBits(2), 4, 8, nullptr, nullptr, "x"), -1);
    EXPECT_EQ(SetupHandleRegistry(&other, HandleKindBits(2), sizeof(TestRecord), 0x10001, nullptr,
                                  nullptr, "x"),
              -1);
    EXPECT_EQ(other.setUp, 0);
}

}  // namespace

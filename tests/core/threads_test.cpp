// Parked threads and their wrappers: a thread runs nothing until resumed, resumes report
// whether the thread was parked, priority levels map onto the system's priorities.
#include "core/threads.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/win32.h>
#include <time.h>

#include <atomic>

#include "async/async_wait.h"

namespace {

// Resumes a parked thread as soon as it has parked itself.
bool ResumeOnceParked(ThreadRecord* record) {
    return WaitFor([&] { return ResumeParkedThread(record) == 1; });
}

bool WaitForExit(ThreadRecord* record) {
    return WaitForSingleObject(record->thread, 10000) == WAIT_OBJECT_0;
}

struct Probe {
    ThreadRecord record{};  // first, as users of parked threads append their fields
    std::atomic<int> calls{0};
    std::atomic<uintptr_t> argument{0};
    std::atomic<ThreadRecord*> seenRecord{nullptr};
    std::atomic<DWORD> threadId{0};
    std::atomic<int> stage{0};
    std::atomic<bool> release{false};
};

void RecordCall(ThreadRecord* record, uintptr_t argument) {
    Probe* probe = reinterpret_cast<Probe*>(record);
    probe->seenRecord = record;
    probe->argument = argument;
    probe->threadId = GetCurrentThreadId();
    probe->calls++;
}

// Runs until released, so that it is not suspended while a test resumes it.
void RunUntilReleased(ThreadRecord* record, uintptr_t) {
    Probe* probe = reinterpret_cast<Probe*>(record);
    probe->stage = 1;
    while (!probe->release) SleepMilliseconds(0);
}

// Parks itself in the middle, as an idle worker does.
void SuspendHalfway(ThreadRecord* record, uintptr_t) {
    Probe* probe = reinterpret_cast<Probe*>(record);
    probe->stage = 1;
    SuspendCurrentThread();
    probe->stage = 2;
}

class ThreadsTest : public ::testing::Test {
protected:
    void SetUp() override { TestResetPlatform(); }
    void TearDown() override { TestResetPlatform(); }
};

TEST_F(ThreadsTest, ParkedThreadRunsItsFunctionOnlyOnceResumed) {
    Probe probe;
    ASSERT_EQ(CreateParkedThread(&probe.record, RecordCall, 0x1234), 0);
    EXPECT_EQ(probe.record.function, RecordCall);
    EXPECT_EQ(probe.record.argument, 0x1234u);
    EXPECT_EQ(HasThreadHandle(&probe.record), 1);
    EXPECT_NE(GetThreadRecordId(&probe.record), 0u);
    EXPECT_EQ(probe.calls, 0);

    ASSERT_TRUE(ResumeOnceParked(&probe.record));
    ASSERT_TRUE(WaitForExit(&probe.record));
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.seenRecord, &probe.record);
    EXPECT_EQ(probe.argument, 0x1234u);
    EXPECT_EQ(probe.threadId, GetThreadRecordId(&probe.record));
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeThread(probe.record.thread, &exitCode));
    EXPECT_EQ(exitCode, 0u);

    CloseThreadHandle(&probe.record);
    EXPECT_EQ(HasThreadHandle(&probe.record), 0);
    EXPECT_EQ(probe.record.thread, nullptr);
}

TEST_F(ThreadsTest, ResumingAThreadThatIsNotParkedGivesZero) {
    Probe probe;
    ASSERT_EQ(CreateParkedThread(&probe.record, RunUntilReleased, 0), 0);
    ASSERT_TRUE(ResumeOnceParked(&probe.record));
    ASSERT_TRUE(WaitFor([&] { return probe.stage == 1; }));
    EXPECT_EQ(ResumeParkedThread(&probe.record), 0);
    probe.release = true;
    ASSERT_TRUE(WaitForExit(&probe.record));
    CloseThreadHandle(&probe.record);
}

TEST_F(ThreadsTest, ThreadThatSuspendsItselfWaitsForTheNextResume) {
    Probe probe;
    ASSERT_EQ(CreateParkedThread(&probe.record, SuspendHalfway, 0), 0);
    ASSERT_TRUE(ResumeOnceParked(&probe.record));
    ASSERT_TRUE(WaitFor([&] { return probe.stage == 1; }));
    ASSERT_TRUE(ResumeOnceParked(&probe.record));
    ASSERT_TRUE(WaitForExit(&probe.record));
    EXPECT_EQ(probe.stage, 2);
    CloseThreadHandle(&probe.record);
}

TEST_F(ThreadsTest, PriorityLevelsMapToTheSystemPriorities) {
    Probe probe;
    ASSERT_EQ(CreateParkedThread(&probe.record, RecordCall, 0), 0);
    const int expected[] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                            THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_HIGHEST};
    for (int level = 0; level < 4; ++level) {
        SetThreadPriorityLevel(&probe.record, level);
        EXPECT_EQ(GetThreadPriority(probe.record.thread), expected[level]) << level;
    }
    SetThreadPriorityLevel(&probe.record, 1);
    SetThreadPriorityLevel(&probe.record, 4);
    EXPECT_EQ(GetThreadPriority(probe.record.thread), THREAD_PRIORITY_BELOW_NORMAL);
    SetThreadPriorityLevel(&probe.record, -1);
    EXPECT_EQ(GetThreadPriority(probe.record.thread), THREAD_PRIORITY_BELOW_NORMAL);

    ASSERT_TRUE(ResumeOnceParked(&probe.record));
    ASSERT_TRUE(WaitForExit(&probe.record));
    CloseThreadHandle(&probe.record);
}

TEST_F(ThreadsTest, ThreadThatCannotBeCreatedIsReported) {
    Probe probe;
    TestFailNthCall("CreateThread", 1);
    EXPECT_EQ(CreateParkedThread(&probe.record, RecordCall, 7), -1);
    EXPECT_EQ(HasThreadHandle(&probe.record), 0);
    EXPECT_EQ(probe.calls, 0);
}

}  // namespace

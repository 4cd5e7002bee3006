// Faults that the public calls' fuzz target (fuzz/public_calls.cpp) found, each checked through
// orbek/orbek.h as the target reached it.

#include "public_fixture.h"

namespace {

using FuzzFindingsTest = PublicFixture;

// With archives switched off the data-file calls read the disk alone: a value that is no open
// file, one closed already or one never opened, is refused as it is with archives on instead of
// being followed.
TEST_F(FuzzFindingsTest, DiskOnlyDataFileCallsRefuseValuesThatAreNoOpenFile) {
    WriteBytes("t.txt", {'a', 'b', 'c'});
    ASSERT_EQ(SetNoArchiveSwitch(1), 0);
    StartFramework();
    for (int32_t useCache : {0, 1}) {
        const StreamValue file = OpenDataFile("t.txt", useCache, 1, 0);
        ASSERT_NE(file, 0u);
        ASSERT_EQ(CloseDataFile(file), 0);
        char byte = 0;
        for (StreamValue value : {file, StreamValue{0x1000}, ~StreamValue{0}}) {
            EXPECT_EQ(CloseDataFile(value), -1);
            EXPECT_EQ(TellDataFile(value), -1);
            EXPECT_EQ(SeekDataFile(value, 0, 0), -1);
            EXPECT_EQ(ReadDataFile(&byte, 1, 1, value), 0u);
            EXPECT_EQ(EofDataFile(value), -1);
            EXPECT_EQ(IsDataFileIdle(value), -1);
        }
    }
    // The archives come back at the next set-up, for the tests after this one.
    ASSERT_EQ(ShutdownLibrary(), 0);
    ASSERT_EQ(SetNoArchiveSwitch(0), 0);
    StartFramework();
}


// The user leaves the program and comes back before it has handled the leaving, during a switch
// to full screen or between two frames in full screen: the program ends up full screen, restored
// and drawing at once. (It used to minimise itself for the leaving after the user had come back,
// then wait in the switch or the next draw until the user brought it back a second time.)
TEST_F(FuzzFindingsTest, ALeavingHandledAfterTheUserCameBackKeepsTheProgramShown) {
    StartFramework();
    HWND window = FindWindowA(nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HostEvent restored, found;
    restored.kind = HostEventKind::Restored;
    found.kind = HostEventKind::FocusGained;
    // A second return long after: the old code ends there instead of hanging the test.
    const uint32_t secondReturn = 60000;
    for (HostEventKind leaving : {HostEventKind::FocusLost, HostEventKind::Minimised}) {
        for (uint32_t delay : {1u, 121u}) {
            for (bool duringSwitch : {true, false}) {
                SCOPED_TRACE(testing::Message() << "leaving " << static_cast<int>(leaving)
                                                << ", back after " << delay << " ms"
                                                << (duringSwitch ? ", during the switch" : ""));
                if (!duringSwitch) {
                    ASSERT_EQ(ChangeWindowMode(0), 0);
                }
                HostEvent lost;
                lost.kind = leaving;
                const uint32_t start = GetMillisecondCount();
                TestHostPushEvent(window, lost);
                for (uint32_t at : {start + delay, start + secondReturn}) {
                    TestHostScheduleEvent(window, restored, at);
                    TestHostScheduleEvent(window, found, at);
                }
                if (duringSwitch) {
                    ASSERT_EQ(ChangeWindowMode(0), 0);
                } else {
                    AdvanceClock(delay);
                }
                EXPECT_EQ(PutBoxFilled(0, 0, 8, 8, PackScreenColor(255, 0, 0)), 0);
                EXPECT_LT(GetMillisecondCount() - start, secondReturn);
                const TestHostWindow shown = TestHostReadWindow(window);
                EXPECT_TRUE(shown.fullScreen);
                EXPECT_FALSE(shown.minimised);
                // Past the second return, whose events find the window as it is.
                while (GetMillisecondCount() - start <= secondReturn) AdvanceClock(30000);
                ASSERT_EQ(ChangeWindowMode(1), 0);
            }
        }
    }
}


// The user leaves and comes back while the program shuts down: the activation, handled after the
// graphics have gone, makes no device that nothing would release.
TEST_F(FuzzFindingsTest, AnActivationDuringTheShutdownMakesNoDevice) {
    for (int32_t windowed : {0, 1}) {
        SCOPED_TRACE(windowed ? "window" : "full screen");
        StartFramework();
        ASSERT_EQ(ChangeWindowMode(windowed), 0);
        HWND window = FindWindowA(nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        for (HostEventKind kind :
             {HostEventKind::FocusLost, HostEventKind::Restored, HostEventKind::FocusGained}) {
            HostEvent event;
            event.kind = kind;
            TestHostPushEvent(window, event);
        }
        ASSERT_EQ(ShutdownLibrary(), 0);
        EXPECT_EQ(TestD3d9LiveObjects(), 0);
    }
    StartFramework();
}

}  // namespace

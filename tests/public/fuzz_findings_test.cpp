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

}  // namespace

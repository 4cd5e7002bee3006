// Sounds loaded on the loading workers: the same buffers as a load on the main thread, and
// deletion of a handle whose load is queued or running.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "async/async_wait.h"
#include "core/async_load.h"
#include "sound/sound_buffer_slot.h"
#include "sound/sound_test_support.h"

namespace {

constexpr int kSounds = 8;

class AsyncSoundLoadTest : public SoundFixture {
protected:
    void TearDown() override {
        SwitchAsyncLoad(0);
        SoundFixture::TearDown();
    }

    // Files of different lengths and contents.
    void WriteSounds() {
        for (int i = 0; i < kSounds; ++i) {
            std::vector<int16_t> samples;
            for (int f = 0; f < 2000 + 300 * i; ++f) {
                samples.push_back(static_cast<int16_t>(f * (i + 3)));
                samples.push_back(static_cast<int16_t>(-f * (i + 1)));
            }
            written_.push_back(directory_ + "/" + Name(i));
            WriteFile(written_.back(), PcmWave(2, 44100, 16, AsBytes(samples)));
        }
    }

    static std::string Name(int i) { return "sound" + std::to_string(i) + ".wav"; }

    static std::vector<Handle> LoadAll() {
        std::vector<Handle> handles;
        for (int i = 0; i < kSounds; ++i) handles.push_back(LoadSoundHandle(Name(i).c_str(), 2, -1));
        return handles;
    }

    // The bytes of the sound's first buffer.
    static Bytes BufferBytes(Handle handle) {
        SoundRecord* record = FindSoundRecord(handle, 0);
        if (record == nullptr) return {};
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD bytes1 = 0, bytes2 = 0;
        IDirectSoundBuffer* buffer = record->slots[0].buffer;
        if (FAILED(buffer->Lock(0, 0, &part1, &bytes1, &part2, &bytes2, DSBLOCK_ENTIREBUFFER))) {
            return {};
        }
        Bytes out(static_cast<uint8_t*>(part1), static_cast<uint8_t*>(part1) + bytes1);
        buffer->Unlock(part1, bytes1, part2, bytes2);
        return out;
    }

    static void PumpUntilLoaded() {
        ASSERT_TRUE(WaitFor([] {
            RunMainThreadRequests();
            return CountQueuedAsyncLoads() == 0;
        }));
    }
};

TEST_F(AsyncSoundLoadTest, SoundsLoadedAtOnceEqualTheSynchronousLoads) {
    StartSound(4);
    WriteSounds();
    std::vector<Bytes> expected;
    for (Handle h : LoadAll()) {
        expected.push_back(BufferBytes(h));
        ASSERT_FALSE(expected.back().empty());
        DeleteSoundHandle(h);
    }
    int buffers = TestCountSoundBuffers();
    SwitchAsyncLoad(1);
    std::vector<Handle> handles = LoadAll();
    for (Handle h : handles) ASSERT_NE(h, -1);
    PumpUntilLoaded();
    for (int i = 0; i < kSounds; ++i) EXPECT_EQ(BufferBytes(handles[i]), expected[i]) << i;
    for (Handle h : handles) EXPECT_EQ(DeleteSoundHandle(h), 0);
    EXPECT_EQ(TestCountSoundBuffers(), buffers);
}

TEST_F(AsyncSoundLoadTest, DeletingSoundsWhoseLoadsAreQueuedOrRunningLeavesNothing) {
    StartSound(2);
    WriteSounds();
    int buffers = TestCountSoundBuffers();
    SwitchAsyncLoad(1);
    std::vector<Handle> handles = LoadAll();
    for (Handle h : handles) EXPECT_EQ(DeleteSoundHandle(h), 0);
    for (Handle h : handles) EXPECT_EQ(FindSoundRecord(h, 1), nullptr);
    PumpUntilLoaded();
    EXPECT_EQ(TestCountSoundBuffers(), buffers);
    // A failed load retires its handle.
    Handle missing = LoadSoundHandle("missing.wav", 1, -1);
    ASSERT_NE(missing, -1);
    PumpUntilLoaded();
    EXPECT_EQ(FindSoundRecord(missing, 1), nullptr);
}

}  // namespace

// The seed corpora of the sound fuzz targets: every seed is a file that the decoder its target
// exercises accepts, so that the fuzzers start from inside the formats.
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sound/sound_conversion.h"
#include "sound/sound_test_support.h"

namespace {

std::filesystem::path CorpusDirectory(const char* target) {
    std::filesystem::path source = __FILE__;
    return source.parent_path().parent_path().parent_path() / "fuzz" / "corpus" / target;
}

void ExpectEverySeedAccepted(const char* target, int32_t mask) {
    ASSERT_EQ(OpenAcmLibrary(), 0);
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDirectory(target))) {
        std::ifstream file(entry.path(), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        MemoryStream* stream = OpenMemoryStream(bytes.data(), static_cast<uint32_t>(bytes.size()));
        StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
        SoundConverter converter;
        EXPECT_EQ(SetupSoundConverter(&converter, &reader, mask, 2, 0), 0) << entry.path();
        ReleaseSoundConverter(&converter);
        CloseMemoryStream(stream);
        ++seeds;
    }
    EXPECT_GE(seeds, 4);
    CloseAcmLibrary();
}

TEST(SoundFuzzSeeds, EveryWaveSeedIsAcceptedByTheWaveDecoders) {
    TestResetPlatform();
    ExpectEverySeedAccepted("sound_wave", kSkipVorbis | kSkipMp3Acm | kSkipMp3DirectShow);
}

TEST(SoundFuzzSeeds, EveryMp3SeedIsAcceptedByTheFrameScan) {
    TestResetPlatform();
    ExpectEverySeedAccepted("sound_mp3_scan",
                            kSkipWavePcm | kSkipWaveAcm | kSkipVorbis | kSkipMp3DirectShow);
}

}  // namespace

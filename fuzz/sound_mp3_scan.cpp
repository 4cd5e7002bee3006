// Fuzz target: the sound converter's MP3 decoder over an arbitrary file image: the ID3 tags and
// the frame scan, then the first blocks decoded through the compression manager and a seek back
// to the start, which restarts the compressed stream.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "sound/sound_conversion.h"

namespace {

constexpr size_t kLargestInput = 1 << 18;
constexpr int32_t kMp3ScanOnly = kSkipWavePcm | kSkipWaveAcm | kSkipVorbis | kSkipMp3DirectShow;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int acmOpened = OpenAcmLibrary();
    if (size > kLargestInput || acmOpened != 0) return 0;
    MemoryStream* stream = OpenMemoryStream(data, static_cast<uint32_t>(size));
    if (stream == nullptr) return 0;
    StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
    SoundConverter converter;
    if (SetupSoundConverter(&converter, &reader, kMp3ScanOnly, 2, 0) == 0) {
        // Every frame counted lies inside the image.
        if (converter.dataPosition + converter.dataBytes > static_cast<int64_t>(size)) {
            __builtin_trap();
        }
        static uint8_t block[1 << 16];
        ConvertSoundBlock(&converter, block, sizeof block);
        SeekSoundConverter(&converter, 0);
        ConvertSoundBlock(&converter, block, 4096);
        ReleaseSoundConverter(&converter);
    }
    CloseMemoryStream(stream);
    return 0;
}

// Fuzz target: the sound converter's WAVE decoders (PCM, float, and compressed formats through
// the compression manager) over an arbitrary file image; whatever is accepted is converted
// whole, sought into and read again, so that any read past the image or the output is caught.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "core/tracked_memory.h"
#include "sound/sound_conversion.h"

namespace {

constexpr size_t kLargestInput = 1 << 20;
constexpr int32_t kWaveDecodersOnly = kSkipVorbis | kSkipMp3Acm | kSkipMp3DirectShow;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int acmOpened = OpenAcmLibrary();
    if (size > kLargestInput || acmOpened != 0) return 0;
    MemoryStream* stream = OpenMemoryStream(data, static_cast<uint32_t>(size));
    if (stream == nullptr) return 0;
    StreamReader reader = {*GetMemoryStreamFunctions(), reinterpret_cast<StreamValue>(stream)};
    SoundConverter converter;
    if (SetupSoundConverter(&converter, &reader, kWaveDecodersOnly, 2, 0) == 0) {
        WAVEFORMATEX format;
        uint8_t* pcm = nullptr;
        uint32_t bytes = 0;
        if (ConvertWholeSound(&converter, &format, &pcm, &bytes) == 0) {
            if (bytes > GetSoundPcmSize(&converter) || bytes % format.nBlockAlign != 0) {
                __builtin_trap();
            }
            FreeMemory(pcm);
        }
        uint8_t block[4096];
        SeekSoundConverter(&converter, 3);
        ConvertSoundBlock(&converter, block, sizeof block);
        ReleaseSoundConverter(&converter);
    }
    CloseMemoryStream(stream);
    return 0;
}

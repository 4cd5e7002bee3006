// A-law and u-law (G.711) bytes to 16-bit PCM.
#include "acm_codecs.h"

namespace {

constexpr int kMaxChannels = 8;

int16_t ExpandALaw(uint8_t code) {
    code ^= 0x55;
    int value = (code & 0x0F) << 4;
    int segment = (code & 0x70) >> 4;
    value += segment == 0 ? 8 : 0x108;
    if (segment > 1) value <<= segment - 1;
    return static_cast<int16_t>((code & 0x80) != 0 ? value : -value);
}

int16_t ExpandULaw(uint8_t code) {
    code = static_cast<uint8_t>(~code);
    int value = ((code & 0x0F) << 3) + 0x84;
    value <<= (code & 0x70) >> 4;
    return static_cast<int16_t>((code & 0x80) != 0 ? 0x84 - value : value - 0x84);
}

class CompandedDecoder final : public AcmDecoder {
public:
    explicit CompandedDecoder(const WAVEFORMATEX* format) {
        for (int code = 0; code < 256; ++code) {
            table_[code] = format->wFormatTag == WAVE_FORMAT_ALAW
                               ? ExpandALaw(static_cast<uint8_t>(code))
                               : ExpandULaw(static_cast<uint8_t>(code));
        }
        blockAlign_ = format->nBlockAlign;
    }

    void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                 uint32_t destinationBytes, uint32_t* used, uint32_t* produced) override {
        uint32_t samples = destinationBytes / 2 < sourceBytes ? destinationBytes / 2 : sourceBytes;
        samples -= samples % blockAlign_;
        for (uint32_t i = 0; i < samples; ++i) {
            uint16_t value = static_cast<uint16_t>(table_[source[i]]);
            destination[2 * i] = static_cast<uint8_t>(value);
            destination[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
        *used = samples;
        *produced = samples * 2;
    }

    uint32_t OutputBound(uint32_t sourceBytes) const override {
        return sourceBytes > UINT32_MAX / 2 ? UINT32_MAX : sourceBytes * 2;
    }

private:
    int16_t table_[256];
    uint32_t blockAlign_;
};

}  // namespace

bool IsCompandedFormat(const WAVEFORMATEX* source) {
    return (source->wFormatTag == WAVE_FORMAT_ALAW || source->wFormatTag == WAVE_FORMAT_MULAW) &&
           source->wBitsPerSample == 8 && source->nChannels >= 1 &&
           source->nChannels <= kMaxChannels && source->nBlockAlign == source->nChannels &&
           source->nSamplesPerSec != 0;
}

std::unique_ptr<AcmDecoder> MakeCompandedDecoder(const WAVEFORMATEX* source) {
    if (!IsCompandedFormat(source)) return nullptr;
    return std::make_unique<CompandedDecoder>(source);
}

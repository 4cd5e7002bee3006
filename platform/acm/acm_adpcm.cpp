// Microsoft ADPCM and IMA ADPCM blocks to 16-bit PCM.
#include <algorithm>
#include <vector>

#include "acm_codecs.h"

namespace {

constexpr int kMaxAdpcmChannels = 2;
// Microsoft ADPCM's standard predictor set has seven coefficient pairs.
constexpr int kMinMsCoefficients = 7;

constexpr int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                   768, 614, 512, 409, 307, 230, 230, 230};
// Hostile data can grow the step without end; this bound keeps the next adaptation (at most
// x768) inside an int, as other decoders of the format bound it.
constexpr int kMsMaxDelta = INT32_MAX / 768;

constexpr int kImaIndexStep[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

int16_t Clamp16(int value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

int16_t Read16(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | p[1] << 8);
}

void Write16(uint8_t* p, int16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8);
}

// The extra bytes that follow the 18-byte header.
const uint8_t* ExtraBytes(const WAVEFORMATEX* format) {
    return reinterpret_cast<const uint8_t*>(format) + sizeof(WAVEFORMATEX);
}

// Both ADPCM kinds: a block holds a fixed number of frames; only whole blocks convert.
class BlockDecoder : public AcmDecoder {
public:
    BlockDecoder(const WAVEFORMATEX* format, uint32_t framesPerBlock)
        : channels_(format->nChannels),
          blockAlign_(format->nBlockAlign),
          framesPerBlock_(framesPerBlock) {}

    void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                 uint32_t destinationBytes, uint32_t* used, uint32_t* produced) override {
        const uint32_t outBlock = framesPerBlock_ * channels_ * 2;
        *used = 0;
        *produced = 0;
        while (sourceBytes - *used >= blockAlign_ && destinationBytes - *produced >= outBlock) {
            DecodeBlock(source + *used, destination + *produced);
            *used += blockAlign_;
            *produced += outBlock;
        }
    }

    uint32_t OutputBound(uint32_t sourceBytes) const override {
        uint64_t blocks = (static_cast<uint64_t>(sourceBytes) + blockAlign_ - 1) / blockAlign_;
        return static_cast<uint32_t>(
            std::min<uint64_t>(blocks * framesPerBlock_ * channels_ * 2, UINT32_MAX));
    }

protected:
    virtual void DecodeBlock(const uint8_t* block, uint8_t* out) = 0;

    const uint32_t channels_;
    const uint32_t blockAlign_;
    const uint32_t framesPerBlock_;
};

class MsAdpcmDecoder final : public BlockDecoder {
public:
    MsAdpcmDecoder(const WAVEFORMATEX* format, uint32_t framesPerBlock)
        : BlockDecoder(format, framesPerBlock) {
        const uint8_t* extra = ExtraBytes(format);
        int count = extra[2] | extra[3] << 8;
        for (int i = 0; i < count; ++i) {
            coefficients_.push_back({Read16(extra + 4 + 4 * i), Read16(extra + 6 + 4 * i)});
        }
    }

private:
    struct Coefficients {
        int first;
        int second;
    };

    // Header per channel (interleaved field by field): predictor, delta, sample 1, sample 2.
    // The block's first frames are sample 2, then sample 1; nibbles follow, high one first.
    void DecodeBlock(const uint8_t* block, uint8_t* out) override {
        const uint32_t n = channels_;
        Coefficients coefficient[kMaxAdpcmChannels];
        int delta[kMaxAdpcmChannels], sample1[kMaxAdpcmChannels], sample2[kMaxAdpcmChannels];
        for (uint32_t c = 0; c < n; ++c) {
            size_t predictor = std::min<size_t>(block[c], coefficients_.size() - 1);
            coefficient[c] = coefficients_[predictor];
            delta[c] = Read16(block + n + 2 * c);
            sample1[c] = Read16(block + 3 * n + 2 * c);
            sample2[c] = Read16(block + 5 * n + 2 * c);
        }
        uint8_t* at = out;
        for (uint32_t c = 0; c < n; ++c, at += 2) Write16(at, static_cast<int16_t>(sample2[c]));
        for (uint32_t c = 0; c < n; ++c, at += 2) Write16(at, static_cast<int16_t>(sample1[c]));
        const uint8_t* data = block + 7 * n;
        uint32_t nibbles = (framesPerBlock_ - 2) * n;
        for (uint32_t i = 0; i < nibbles; ++i, at += 2) {
            uint32_t c = i % n;
            int code = (i % 2 == 0 ? data[i / 2] >> 4 : data[i / 2]) & 0x0F;
            int predicted =
                (sample1[c] * coefficient[c].first + sample2[c] * coefficient[c].second) / 256;
            int16_t value = Clamp16(predicted + (code >= 8 ? code - 16 : code) * delta[c]);
            Write16(at, value);
            sample2[c] = sample1[c];
            sample1[c] = value;
            delta[c] = std::clamp(kMsAdaptation[code] * delta[c] / 256, 16, kMsMaxDelta);
        }
    }

    std::vector<Coefficients> coefficients_;
};

class ImaAdpcmDecoder final : public BlockDecoder {
public:
    using BlockDecoder::BlockDecoder;

private:
    // Header per channel: sample, step index, a spare byte. Then per channel in turn four
    // bytes of eight samples, low nibble first.
    void DecodeBlock(const uint8_t* block, uint8_t* out) override {
        const uint32_t n = channels_;
        int predicted[kMaxAdpcmChannels], index[kMaxAdpcmChannels];
        for (uint32_t c = 0; c < n; ++c) {
            predicted[c] = Read16(block + 4 * c);
            index[c] = std::clamp<int>(block[4 * c + 2], 0, 88);
            Write16(out + 2 * c, static_cast<int16_t>(predicted[c]));
        }
        const uint8_t* data = block + 4 * n;
        for (uint32_t frame = 1; frame < framesPerBlock_; ++frame) {
            uint32_t k = frame - 1;  // sample number after the header's
            for (uint32_t c = 0; c < n; ++c) {
                uint8_t byte = data[(k / 8) * 4 * n + c * 4 + (k % 8) / 2];
                int code = k % 2 == 0 ? byte & 0x0F : byte >> 4;
                int step = kImaSteps[index[c]];
                int difference = step >> 3;
                if ((code & 4) != 0) difference += step;
                if ((code & 2) != 0) difference += step >> 1;
                if ((code & 1) != 0) difference += step >> 2;
                predicted[c] = Clamp16((code & 8) != 0 ? predicted[c] - difference
                                                       : predicted[c] + difference);
                index[c] = std::clamp(index[c] + kImaIndexStep[code], 0, 88);
                Write16(out + 2 * (frame * n + c), static_cast<int16_t>(predicted[c]));
            }
        }
    }
};

// The frames a block can hold, 0 when the fields do not describe a decodable block.
uint32_t MsFramesPerBlock(const WAVEFORMATEX* f) {
    if (f->cbSize < 4) return 0;
    const uint8_t* extra = ExtraBytes(f);
    uint32_t declared = static_cast<uint32_t>(extra[0] | extra[1] << 8);
    uint32_t coefficients = static_cast<uint32_t>(extra[2] | extra[3] << 8);
    if (coefficients < kMinMsCoefficients || f->cbSize < 4 + 4 * coefficients) return 0;
    if (f->nBlockAlign < 7 * f->nChannels) return 0;
    uint32_t room = (f->nBlockAlign - 7u * f->nChannels) * 2 / f->nChannels + 2;
    return declared >= 2 && declared <= room ? declared : 0;
}

uint32_t ImaFramesPerBlock(const WAVEFORMATEX* f) {
    if (f->cbSize < 2) return 0;
    uint32_t declared = static_cast<uint32_t>(ExtraBytes(f)[0] | ExtraBytes(f)[1] << 8);
    uint32_t header = 4u * f->nChannels;
    if (f->nBlockAlign < header || (f->nBlockAlign - header) % header != 0) return 0;
    uint32_t room = (f->nBlockAlign - header) * 2 / f->nChannels + 1;
    return declared >= 1 && declared <= room ? declared : 0;
}

uint32_t FramesPerBlock(const WAVEFORMATEX* f) {
    if (f->nChannels < 1 || f->nChannels > kMaxAdpcmChannels || f->wBitsPerSample != 4 ||
        f->nSamplesPerSec == 0) {
        return 0;
    }
    if (f->wFormatTag == WAVE_FORMAT_ADPCM) return MsFramesPerBlock(f);
    if (f->wFormatTag == WAVE_FORMAT_IMA_ADPCM) return ImaFramesPerBlock(f);
    return 0;
}

}  // namespace

bool IsAdpcmFormat(const WAVEFORMATEX* source) {
    return FramesPerBlock(source) != 0;
}

std::unique_ptr<AcmDecoder> MakeAdpcmDecoder(const WAVEFORMATEX* source) {
    uint32_t frames = FramesPerBlock(source);
    if (frames == 0) return nullptr;
    if (source->wFormatTag == WAVE_FORMAT_ADPCM) {
        return std::make_unique<MsAdpcmDecoder>(source, frames);
    }
    return std::make_unique<ImaAdpcmDecoder>(source, frames);
}

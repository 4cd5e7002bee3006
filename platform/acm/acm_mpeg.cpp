// MPEG audio layer 3 (and the layers I and II that share its frame header) to 16-bit PCM
// through mpg123, fed one whole frame at a time so that the bytes reported as used are exactly
// the frames decoded.
#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "acm_codecs.h"

namespace {

constexpr uint32_t kHeaderBytes = 4;
// The shortest frame there is (MPEG-2 layer III at 8 kbit/s and 24 kHz), for the output bound.
constexpr uint32_t kShortestFrameBytes = 24;
constexpr uint32_t kMostSamplesPerFrame = 1152;

constexpr uint16_t kBitrates[2][3][16] = {
    // MPEG-2: layers I, II, III
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    // MPEG-1: layers I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
constexpr uint32_t kRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

struct FrameHeader {
    uint32_t bytes;
    uint32_t samples;  // per channel
    uint32_t rate;
    uint32_t channels;
};

// False for anything but a frame header of MPEG-1 or MPEG-2 with a listed bitrate and rate.
bool ParseFrameHeader(const uint8_t* p, FrameHeader* header) {
    if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
    int mpeg1 = (p[1] >> 3) & 1;
    int layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4;
    int rateIndex = (p[2] >> 2) & 3;
    if (layerBits == 0 || rateIndex == 3) return false;
    int layer = 4 - layerBits;  // 1, 2 or 3
    uint32_t bitrate = kBitrates[mpeg1][layer - 1][bitrateIndex];
    if (bitrate == 0) return false;
    uint32_t padding = (p[2] >> 1) & 1;
    header->rate = kRates[mpeg1][rateIndex];
    header->channels = (p[3] >> 6) == 3 ? 1 : 2;
    if (layer == 1) {
        header->samples = 384;
        header->bytes = (12000 * bitrate / header->rate + padding) * 4;
    } else if (layer == 3 && mpeg1 == 0) {
        header->samples = 576;
        header->bytes = 72000 * bitrate / header->rate + padding;
    } else {
        header->samples = 1152;
        header->bytes = 144000 * bitrate / header->rate + padding;
    }
    return true;
}

class MpegDecoder final : public AcmDecoder {
public:
    MpegDecoder(mpg123_handle* handle, const WAVEFORMATEX* format)
        : handle_(handle), rate_(format->nSamplesPerSec), channels_(format->nChannels) {}
    ~MpegDecoder() override { mpg123_delete(handle_); }

    void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                 uint32_t destinationBytes, uint32_t* used, uint32_t* produced) override {
        *used = 0;
        *produced = 0;
        Drain(destination, destinationBytes, produced);
        while (pending_.empty() && sourceBytes - *used >= kHeaderBytes) {
            FrameHeader header;
            if (!ParseFrameHeader(source + *used, &header)) {
                ++*used;  // not a frame: resynchronise byte by byte
                continue;
            }
            if (header.bytes > sourceBytes - *used) break;
            if (header.rate != rate_ || header.channels != channels_) {
                *used += header.bytes;  // a frame of another stream is skipped
                continue;
            }
            // Only a frame whose output fits is taken, so nothing waits when the input ends.
            if (header.samples * channels_ * 2 > destinationBytes - *produced) break;
            DecodeFrame(source + *used, header.bytes);
            *used += header.bytes;
            Drain(destination, destinationBytes, produced);
        }
    }

    uint32_t OutputBound(uint32_t sourceBytes) const override {
        uint64_t frames = sourceBytes / kShortestFrameBytes + 1;
        return static_cast<uint32_t>(
            std::min<uint64_t>(frames * kMostSamplesPerFrame * channels_ * 2, UINT32_MAX));
    }

private:
    void DecodeFrame(const uint8_t* frame, uint32_t bytes) {
        if (mpg123_feed(handle_, frame, bytes) != MPG123_OK) return;
        uint8_t out[kMostSamplesPerFrame * 2 * 2];
        for (;;) {
            size_t done = 0;
            int result = mpg123_read(handle_, out, sizeof out, &done);
            pending_.insert(pending_.end(), out, out + done);
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
        }
    }

    // Hands over what was decoded but not yet taken.
    void Drain(uint8_t* destination, uint32_t destinationBytes, uint32_t* produced) {
        uint32_t bytes =
            static_cast<uint32_t>(std::min<size_t>(pending_.size(), destinationBytes - *produced));
        std::copy_n(pending_.begin(), bytes, destination + *produced);
        pending_.erase(pending_.begin(), pending_.begin() + bytes);
        *produced += bytes;
    }

    mpg123_handle* handle_;
    uint32_t rate_;
    uint32_t channels_;
    std::vector<uint8_t> pending_;
};

bool IsMpegRate(uint32_t rate) {
    for (const auto& rates : kRates) {
        if (std::find(std::begin(rates), std::end(rates), rate) != std::end(rates)) return true;
    }
    return false;
}

}  // namespace

bool IsMpegLayer3Format(const WAVEFORMATEX* source) {
    return source->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && source->nChannels >= 1 &&
           source->nChannels <= 2 && IsMpegRate(source->nSamplesPerSec);
}

std::unique_ptr<AcmDecoder> MakeMpegLayer3Decoder(const WAVEFORMATEX* source) {
    if (!IsMpegLayer3Format(source)) return nullptr;
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) return nullptr;
    // Every frame decodes to its full sample count from the first one on: no gapless trimming,
    // an info frame is an ordinary (silent) frame, and nothing waits for the next header.
    long flags = MPG123_QUIET | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME | MPG123_FORCE_ENDIAN;
    int channels = source->nChannels == 1 ? MPG123_MONO : MPG123_STEREO;
    if (mpg123_param(handle, MPG123_FLAGS, flags, 0) != MPG123_OK ||
        mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, static_cast<long>(source->nSamplesPerSec), channels,
                      MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open_feed(handle) != MPG123_OK) {
        mpg123_delete(handle);
        return nullptr;
    }
    return std::make_unique<MpegDecoder>(handle, source);
}

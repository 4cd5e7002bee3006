// MPEG audio layer 3 (and the layers I and II that share its frame header) to 16-bit PCM
// through mpg123, fed one whole frame at a time so that the bytes reported as used are exactly
// the frames decoded.
#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "acm_codecs.h"
#include "platform/mpeg_audio.h"

namespace {

// The shortest frame there is (MPEG-2 layer III at 8 kbit/s and 24 kHz), for the output bound.
constexpr uint32_t kShortestFrameBytes = 24;
constexpr uint32_t kMostSamplesPerFrame = 1152;
constexpr uint32_t kMpegRates[] = {44100, 48000, 32000, 22050, 24000, 16000};

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
        while (pending_.empty() && sourceBytes - *used >= kMpegHeaderBytes) {
            MpegAudioFrame frame;
            bool isFrame =
                ParseMpegAudioFrame(source + *used, &frame) && frame.version != kMpegVersion25;
            // Where the last frame ended the stream goes on. Anywhere else (the start, or after
            // bytes that were no frame) a header counts only where a run of frames starts.
            if (isFrame && !(synced_ && IsSameMpegStream(frame, last_))) {
                MpegAudioRun run = CheckMpegAudioRun(source, sourceBytes, *used, nullptr);
                if (run == MpegAudioRun::kUndecided && *used > 0) break;  // the next call tells
                isFrame = run == MpegAudioRun::kFound;
            }
            if (!isFrame) {
                ++*used;  // not a frame: resynchronise byte by byte
                synced_ = false;
                continue;
            }
            if (frame.bytes > sourceBytes - *used) break;
            synced_ = true;
            last_ = frame;
            if (frame.rate != rate_ || frame.channels != channels_) {
                *used += frame.bytes;  // a frame of another stream is skipped
                continue;
            }
            // Only a frame whose output fits is taken, so nothing waits when the input ends.
            if (frame.samples * channels_ * 2 > destinationBytes - *produced) break;
            DecodeFrame(source + *used, frame.bytes);
            *used += frame.bytes;
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
    bool synced_ = false;  // the next frame is expected where the source starts
    MpegAudioFrame last_{};
    std::vector<uint8_t> pending_;
};

bool IsMpegRate(uint32_t rate) {
    return std::find(std::begin(kMpegRates), std::end(kMpegRates), rate) != std::end(kMpegRates);
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

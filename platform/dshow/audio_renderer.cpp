#include "audio_renderer.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "../dsound/direct_sound.h"
#include "../base/clock.h"
#include "platform/dsound.h"

namespace {

// A PCM format block may stop before cbSize.
constexpr size_t kPcmFormatBytes = offsetof(WAVEFORMATEX, cbSize);
constexpr uint32_t kBufferSeconds = 2;
// Played once half the buffer is filled (or the stream has ended before that).
constexpr uint32_t kCueDivisor = 2;
// Samples that start later than this after the sound before them leave silence between; samples
// that start this much earlier lose the part already past.
constexpr LONGLONG kPlacementSlack = 400000;  // 40 ms

class DirectSoundRenderer final : public LayerFilter<AudioRenderer> {
public:
    DirectSoundRenderer() { input_ = AddPin(PINDIR_INPUT); }
    ~DirectSoundRenderer() override {
        if (buffer_ != nullptr) buffer_->Release();
        if (device_ != nullptr) device_->Release();
    }

    HRESULT CheckPinType(LayerPin* pin, const AM_MEDIA_TYPE* type) override {
        if (type->majortype != MEDIATYPE_Audio || type->subtype != MEDIASUBTYPE_PCM ||
            type->formattype != FORMAT_WaveFormatEx || type->pbFormat == nullptr ||
            type->cbFormat < kPcmFormatBytes) {
            return S_FALSE;
        }
        WAVEFORMATEX format{};
        std::memcpy(&format, type->pbFormat, kPcmFormatBytes);
        bool playable = format.wBitsPerSample == 16 && format.nChannels >= 1 &&
                        format.nChannels <= 2 && format.nBlockAlign == format.nChannels * 2 &&
                        format.nSamplesPerSec >= DSBFREQUENCY_MIN &&
                        format.nSamplesPerSec <= DSBFREQUENCY_MAX;
        return playable ? S_OK : S_FALSE;
    }
    HRESULT PinConnected(LayerPin* pin, const AM_MEDIA_TYPE* type) override {
        std::lock_guard<std::mutex> lock(mutex_);
        format_ = {};
        std::memcpy(&format_, type->pbFormat, kPcmFormatBytes);
        format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
        return S_OK;
    }

    HRESULT PinReceive(LayerPin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(LayerPin* pin) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (flushing_) return S_FALSE;
        ended_ = true;
        dataEnd_ = written_;
        StartIfCuedLocked();
        return S_OK;
    }
    HRESULT PinFlush(LayerPin* pin, bool begin) override {
        std::lock_guard<std::mutex> lock(mutex_);
        flushing_ = begin;
        if (begin) ResetLocked();
        wake_.notify_all();
        return S_OK;
    }

    bool Position(LONGLONG* position) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (buffer_ == nullptr || !input_->IsConnected()) return false;
        PollLocked();
        *position = anchor_ + FramesToTime(played_);
        return true;
    }
    void Anchor(LONGLONG position) override {
        std::lock_guard<std::mutex> lock(mutex_);
        anchor_ = position;
    }
    bool Cued() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return buffer_ == nullptr || ended_ || written_ - played_ >= bufferFrames_ / kCueDivisor;
    }
    void StartUncued() override {
        std::lock_guard<std::mutex> lock(mutex_);
        uncued_ = true;
        StartIfCuedLocked();
    }
    bool Finished() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ended_) return false;
        if (buffer_ == nullptr) return true;
        PollLocked();
        return played_ >= dataEnd_;
    }
    HRESULT SetVolume(long volume) override {
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!input_->IsConnected()) return E_NOTIMPL;
        volume_ = volume;
        if (buffer_ != nullptr) buffer_->SetVolume(volume);
        return S_OK;
    }
    HRESULT SetBalance(long balance) override {
        if (balance < DSBPAN_LEFT || balance > DSBPAN_RIGHT) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!input_->IsConnected()) return E_NOTIMPL;
        balance_ = balance;
        if (buffer_ != nullptr) buffer_->SetPan(balance);
        return S_OK;
    }

protected:
    HRESULT ChangeState(FilterState state) override {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
        if (state == FilterState::Stopped) {
            ResetLocked();
        } else {
            MakeBufferLocked();
            if (state == FilterState::Running) {
                StartIfCuedLocked();
            } else if (playing_) {
                PollLocked();
                buffer_->Stop();
                playing_ = false;
            }
        }
        wake_.notify_all();
        return S_OK;
    }

private:
    LONGLONG FramesToTime(uint64_t frames) const {
        return static_cast<LONGLONG>(frames * 10000000 / format_.nSamplesPerSec);
    }
    // Frames from the anchor to the time, rounded; negative before the anchor.
    int64_t TimeToFrames(LONGLONG time) const {
        return static_cast<int64_t>(
            ((time - anchor_) * static_cast<LONGLONG>(format_.nSamplesPerSec) + 5000000) /
            10000000);
    }

    // The buffer, once the filter runs connected: a DirectSound device of the layer that
    // shares the output with the program's own.
    void MakeBufferLocked() {
        if (buffer_ != nullptr || !input_->IsConnected()) return;
        device_ = CreateSharedDirectSound();
        if (device_ == nullptr) return;
        bufferFrames_ = format_.nSamplesPerSec * kBufferSeconds;
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC),
                          DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GETCURRENTPOSITION2 |
                              DSBCAPS_GLOBALFOCUS,
                          bufferFrames_ * format_.nBlockAlign,
                          0,
                          &format_,
                          {}};
        if (FAILED(device_->CreateSoundBuffer(&desc, &buffer_, nullptr))) {
            buffer_ = nullptr;
            device_->Release();
            device_ = nullptr;
            return;
        }
        buffer_->SetVolume(volume_);
        buffer_->SetPan(balance_);
        ResetLocked();
    }

    // Back to nothing written or played, the buffer silent and its cursor at the start.
    void ResetLocked() {
        written_ = played_ = dataEnd_ = 0;
        ended_ = uncued_ = false;
        lastCursor_ = 0;
        if (buffer_ == nullptr) return;
        if (playing_) buffer_->Stop();
        playing_ = false;
        buffer_->SetCurrentPosition(0);
        WriteLocked(nullptr, 0, bufferFrames_);
    }

    void StartIfCuedLocked() {
        if (buffer_ == nullptr || playing_ || state_.load() != FilterState::Running) return;
        if (!ended_ && !uncued_ && written_ - played_ < bufferFrames_ / kCueDivisor) return;
        lastPoll_ = ClockPeekMicroseconds();
        buffer_->Play(0, 0, DSBPLAY_LOOPING);
        playing_ = true;
    }

    // Copies `frames` frames (silence for null data) into the ring at frame `at`.
    void WriteLocked(const BYTE* data, uint64_t at, uint32_t frames) {
        if (frames == 0) return;
        DWORD align = format_.nBlockAlign;
        void *part1 = nullptr, *part2 = nullptr;
        DWORD bytes1 = 0, bytes2 = 0;
        if (FAILED(buffer_->Lock(static_cast<DWORD>(at % bufferFrames_) * align, frames * align,
                                 &part1, &bytes1, &part2, &bytes2, 0))) {
            return;
        }
        if (data != nullptr) {
            std::memcpy(part1, data, bytes1);
            if (part2 != nullptr) std::memcpy(part2, data + bytes1, bytes2);
        } else {
            std::memset(part1, 0, bytes1);
            if (part2 != nullptr) std::memset(part2, 0, bytes2);
        }
        buffer_->Unlock(part1, bytes1, part2, bytes2);
    }

    // Counts what has been heard since the last poll and silences it, so that the ring holds
    // only sound not yet heard. The clock tells how many times the cursor went round.
    void PollLocked() {
        if (!playing_) return;
        DWORD cursor = 0;
        buffer_->GetCurrentPosition(&cursor, nullptr);
        unsigned long long now = ClockPeekMicroseconds();
        DWORD bytes = bufferFrames_ * format_.nBlockAlign;
        uint64_t delta = ((cursor + bytes - lastCursor_) % bytes) / format_.nBlockAlign;
        uint64_t expected = (now - lastPoll_) * format_.nSamplesPerSec / 1000000;
        if (expected > delta + bufferFrames_ / 2) {
            delta += (expected - delta + bufferFrames_ / 2) / bufferFrames_ * bufferFrames_;
        }
        lastCursor_ = cursor;
        lastPoll_ = now;
        uint64_t before = played_;
        played_ += delta;
        WriteLocked(nullptr, before,
                    static_cast<uint32_t>(std::min<uint64_t>(delta, bufferFrames_)));
        // Starved: what comes next is played from where the cursor stands.
        if (!ended_ && played_ > written_) written_ = played_;
    }

    LayerPin* input_;
    std::mutex mutex_;
    std::condition_variable wake_;
    WAVEFORMATEX format_{};
    IDirectSound* device_ = nullptr;
    IDirectSoundBuffer* buffer_ = nullptr;
    uint32_t bufferFrames_ = 0;
    // Frames since the anchor: written into the ring (sound and the silence of gaps), heard,
    // and written when the stream ended.
    uint64_t written_ = 0;
    uint64_t played_ = 0;
    uint64_t dataEnd_ = 0;
    DWORD lastCursor_ = 0;
    unsigned long long lastPoll_ = 0;
    LONGLONG anchor_ = 0;
    bool playing_ = false;
    bool ended_ = false;
    bool flushing_ = false;
    bool uncued_ = false;  // starts without waiting for the cue
    long volume_ = 0;
    long balance_ = 0;
};

HRESULT DirectSoundRenderer::PinReceive(LayerPin* pin, IMediaSample* sample) {
    BYTE* data = nullptr;
    REFERENCE_TIME start = 0, end = 0;
    if (sample == nullptr || FAILED(sample->GetPointer(&data))) return E_POINTER;
    std::unique_lock<std::mutex> lock(mutex_);
    if (flushing_ || ended_) return S_FALSE;
    if (buffer_ == nullptr) return S_OK;  // no output: the sound is dropped
    uint32_t align = format_.nBlockAlign;
    uint64_t frames = static_cast<uint64_t>(std::max(sample->GetActualDataLength(), 0L)) / align;
    // Placed by its time: a gap before it stays silent; what is already past is left out.
    uint64_t gap = 0;
    if (SUCCEEDED(sample->GetTime(&start, &end))) {
        int64_t at = TimeToFrames(start);
        int64_t slack = TimeToFrames(anchor_ + kPlacementSlack);
        int64_t written = static_cast<int64_t>(written_);
        if (at > written + slack) gap = static_cast<uint64_t>(at - written);
        if (at < written - slack) {
            uint64_t late = std::min<uint64_t>(static_cast<uint64_t>(written - at), frames);
            data += late * align;
            frames -= late;
        }
    }
    while (gap + frames > 0) {
        if (flushing_) return S_FALSE;
        PollLocked();
        uint64_t room = bufferFrames_ - std::min<uint64_t>(written_ - played_, bufferFrames_);
        if (room == 0) {
            StartIfCuedLocked();
            wake_.wait_for(lock, std::chrono::milliseconds(1));
            continue;
        }
        uint32_t silent = static_cast<uint32_t>(std::min(room, gap));
        written_ += silent;  // the ring is silent past what has been written
        gap -= silent;
        room -= silent;
        uint32_t n = static_cast<uint32_t>(std::min(room, frames));
        WriteLocked(data, written_, n);
        written_ += n;
        data += static_cast<size_t>(n) * align;
        frames -= n;
    }
    StartIfCuedLocked();
    return S_OK;
}

}  // namespace

AudioRenderer* CreateAudioRendererFilter() {
    return new DirectSoundRenderer();
}

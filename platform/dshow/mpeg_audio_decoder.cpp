// The MPEG audio decoder that the graph inserts behind a stream of MPEG-1 audio: it reads the
// whole stream through the source's IAsyncReader, takes it only when it holds a run of MPEG
// audio frames, decodes it with mpg123 on its streaming thread as fast as the downstream
// filters take it, and delivers 16-bit PCM.
#include <mpg123.h>

#include <atomic>
#include <thread>
#include <vector>

#include "../base/test_overrides.h"
#include "filter_base.h"
#include "platform/mpeg_audio.h"

namespace {

constexpr long kPcmPieceBytes = 4608 * 4;

// A handle with the flags the compression manager's decoder uses, so that both give the same
// PCM: every frame decoded as it comes, the info frame as a silent frame, no gapless trimming.
mpg123_handle* OpenFeed() {
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) return nullptr;
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(handle, MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open_feed(handle) != MPG123_OK) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

class MpegAudioDecoder final : public LayerFilter<IBaseFilter> {
public:
    MpegAudioDecoder() {
        input_ = AddPin(PINDIR_INPUT);
        output_ = AddPin(PINDIR_OUTPUT);
    }
    ~MpegAudioDecoder() override { StopThread(); }

    HRESULT CheckPinType(LayerPin* pin, const AM_MEDIA_TYPE* type) override {
        return type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_MPEG1Audio
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetPinType(LayerPin* pin, int index, MediaType* type) override {
        if (index != 0 || channels_ == 0) return S_FALSE;
        *type = PcmMediaType(static_cast<WORD>(channels_), static_cast<DWORD>(rate_));
        return S_OK;
    }

    // Takes the stream from the connected source; false when it holds no MPEG audio.
    bool ReadSource(IPin* sourcePin) {
        IAsyncReader* reader = nullptr;
        if (FAILED(
                sourcePin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader)))) {
            return false;
        }
        LONGLONG total = 0, available = 0;
        bool ok = SUCCEEDED(reader->Length(&total, &available)) && total > 0 && total < (1LL << 31);
        if (ok) {
            data_.resize(static_cast<size_t>(total));
            ok = SUCCEEDED(reader->SyncRead(0, static_cast<long>(total), data_.data()));
        }
        reader->Release();
        return ok && ProbeFormat();
    }

protected:
    HRESULT ChangeState(FilterState state) override {
        if (state == FilterState::Running && !thread_.joinable()) {
            stop_.store(false);
            thread_ = std::thread([this] { Stream(); });
        } else if (state == FilterState::Stopped) {
            StopThread();
        }
        state_ = state;
        return S_OK;
    }

private:
    // Keeps the audio of the stream: from the first run of frames to the end of the data or
    // its ID3v1 tag. Other data is refused before mpg123 sees it, since mpg123 takes any sync
    // pattern for a frame and would decode bytes of a WAVE or Ogg file as noise.
    bool FindAudio() {
        size_t start, end;
        if (HasOtherFormatHeader(data_.data(), data_.size()) ||
            !FindMpegAudioExtent(data_.data(), data_.size(), &start, &end)) {
            return false;
        }
        size_t at = start;
        while (at < end &&
               (data_[at] != 0xFF ||
                CheckMpegAudioRun(data_.data(), end, at, nullptr) != MpegAudioRun::kFound)) {
            ++at;
        }
        if (at >= end) return false;
        data_.erase(data_.begin() + static_cast<ptrdiff_t>(end), data_.end());
        data_.erase(data_.begin(), data_.begin() + static_cast<ptrdiff_t>(at));
        return true;
    }

    bool ProbeFormat() {
        if (!FindAudio()) return false;
        mpg123_handle* handle = OpenFeed();
        if (handle == nullptr) return false;
        mpg123_feed(handle, data_.data(), data_.size());
        off_t frame;
        unsigned char* audio;
        size_t bytes;
        int result;
        while ((result = mpg123_decode_frame(handle, &frame, &audio, &bytes)) == MPG123_OK) {
        }
        if (result == MPG123_NEW_FORMAT) {
            int encoding;
            mpg123_getformat(handle, &rate_, &channels_, &encoding);
        }
        mpg123_delete(handle);
        return channels_ > 0;
    }

    void Stream() {
        mpg123_handle* handle = OpenFeed();
        bool failed = handle == nullptr;
        if (!failed) {
            mpg123_feed(handle, data_.data(), data_.size());
            for (;;) {
                if (stop_.load()) break;
                off_t frame;
                unsigned char* audio;
                size_t bytes;
                int result = mpg123_decode_frame(handle, &frame, &audio, &bytes);
                if (result == MPG123_NEW_FORMAT) continue;
                if (result != MPG123_OK) break;
                for (size_t at = 0; at < bytes; at += kPcmPieceBytes) {
                    long piece = static_cast<long>(std::min<size_t>(bytes - at, kPcmPieceBytes));
                    BufferSample sample(audio + at, piece, 0, 0);
                    if (InjectedFailure("MpegAudioDecoder::Deliver") ||
                        FAILED(output_->Deliver(&sample))) {
                        failed = true;
                    }
                }
                if (failed) break;
            }
            mpg123_delete(handle);
        }
        if (stop_.load()) return;
        if (failed) {
            NotifyGraph(EC_ERRORABORT);
        } else {
            output_->DeliverEndOfStream();
        }
    }

    void StopThread() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }

    LayerPin* input_;
    LayerPin* output_;
    std::vector<BYTE> data_;
    long rate_ = 0;
    int channels_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

IBaseFilter* CreateMpegAudioDecoderFilter() {
    return new MpegAudioDecoder();
}

bool ReadMpegAudioSource(IBaseFilter* decoder, IPin* sourcePin) {
    return static_cast<MpegAudioDecoder*>(decoder)->ReadSource(sourcePin);
}

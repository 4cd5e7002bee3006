// The source the graph puts in front of a movie file: libavformat reads it, libavcodec decodes
// its first video stream and libswscale converts each picture into the frame type that the
// renderer accepted (YV12, or RGB32 and RGB24 with rows bottom-up). YV12 goes out of full range,
// as the renderer's conversion takes it: a stream of video range is expanded. Its streaming thread
// delivers each frame once the graph's stream time reaches it, and the end of the stream once
// the last frame has been shown for its time. A sound track that libavcodec decodes gets a
// second output pin: libswresample turns it into 16-bit PCM (mono or stereo, at the track's
// rate where DirectSound takes it), delivered by a thread of its own as fast as the renderer
// takes it, while the first thread reads on ahead of the pictures to keep it fed.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "filter_base.h"

struct MovieSourceState;

class MovieSource final : public LayerFilter<IBaseFilter> {
public:
    // streamTime answers the graph's stream position in 100-ns units.
    explicit MovieSource(std::function<LONGLONG()> streamTime);
    ~MovieSource() override;

    // False when the file cannot be opened or holds no video that can be decoded.
    bool Open(const std::string& hostPath);
    // The container's duration: an estimate for some streams (from the bit rate of a raw one).
    LONGLONG Duration() const;
    // Starts delivery again from the frame at or after `position`; the sound renderer is
    // flushed of what it holds first.
    void Seek(LONGLONG position);

    HRESULT GetPinType(LayerPin* pin, int index, MediaType* type) override;
    HRESULT PinConnected(LayerPin* pin, const AM_MEDIA_TYPE* type) override;

protected:
    HRESULT ChangeState(FilterState state) override;

private:
    bool OpenSoundTrack();
    bool SoundConnected() const { return audio_ != nullptr && audio_->IsConnected(); }
    void Stream();
    void StreamSound();
    void DeliverSound(uint64_t generation);
    void StopThreads();

    LayerPin* output_;
    LayerPin* audio_ = nullptr;  // the sound track's pin, when the file has one
    MovieSourceState* s_;
};

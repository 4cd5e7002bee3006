// The filter graph: holds its filters, connects pins, renders a movie file through the FFmpeg
// source (its sound track into the default audio renderer) and an MPEG audio stream through the
// mpg123 decoder, runs and pauses every filter, renderers first, and reports completion once
// every connected renderer has seen the end of its stream and the sound has been heard. The
// stream time is the sound heard when a sound track plays, else the layer's clock (none once
// the sync source is removed). A file's stream reaches its stop position at that completion,
// whatever duration its source estimated.
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "../base/clock.h"
#include "../base/test_overrides.h"
#include "../ole32/com_object.h"
#include "../win32/paths.h"
#include "audio_renderer.h"
#include "filter_base.h"
#include "movie_source.h"
#include "platform/testing_dshow.h"
#include "platform/win32_kernel.h"

namespace {

ComObjectCount gGraphCount;

// The pins of a filter with the given direction, each with a reference.
std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    std::vector<IPin*> pins;
    IEnumPins* enumerator = nullptr;
    if (FAILED(filter->EnumPins(&enumerator))) return pins;
    IPin* pin = nullptr;
    while (enumerator->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == wanted) {
            pins.push_back(pin);
        } else {
            pin->Release();
        }
    }
    enumerator->Release();
    return pins;
}

void ReleaseAll(std::vector<IPin*>& pins) {
    for (IPin* pin : pins) pin->Release();
    pins.clear();
}

// A renderer: a filter with input pins and no output pin.
bool IsRenderer(IBaseFilter* filter) {
    std::vector<IPin*> inputs = PinsOf(filter, PINDIR_INPUT);
    std::vector<IPin*> outputs = PinsOf(filter, PINDIR_OUTPUT);
    bool renderer = !inputs.empty() && outputs.empty();
    ReleaseAll(inputs);
    ReleaseAll(outputs);
    return renderer;
}

bool FirstInputConnected(IBaseFilter* filter) {
    std::vector<IPin*> inputs = PinsOf(filter, PINDIR_INPUT);
    IPin* connected = nullptr;
    bool ok = !inputs.empty() && inputs[0]->ConnectedTo(&connected) == S_OK;
    if (connected != nullptr) connected->Release();
    ReleaseAll(inputs);
    return ok;
}

// How long a start or a seek waits for the sound renderer to fill its buffer.
constexpr int kCueWaitMilliseconds = 2000;

// The graph's interfaces that a test can make QueryInterface refuse, with the name it fails by.
struct RefusableInterface {
    const IID& iid;
    const char* failure;
};
constexpr RefusableInterface kRefusableInterfaces[] = {
    {IID_IMediaControl, "IGraphBuilder::QueryInterface(IMediaControl)"},
    {IID_IMediaEvent, "IGraphBuilder::QueryInterface(IMediaEvent)"},
    {IID_IMediaSeeking, "IGraphBuilder::QueryInterface(IMediaSeeking)"},
    {IID_IMediaFilter, "IGraphBuilder::QueryInterface(IMediaFilter)"},
    {IID_IBasicAudio, "IGraphBuilder::QueryInterface(IBasicAudio)"},
};

using FilterGraphInterfaces = ComInterfaces<
    ComInterface<IGraphBuilder, IID_IGraphBuilder>, ComInterface<IMediaControl, IID_IMediaControl>,
    ComInterface<IMediaEvent, IID_IMediaEvent>, ComInterface<IMediaSeeking, IID_IMediaSeeking>,
    ComInterface<IMediaFilter, IID_IMediaFilter>, ComInterface<IBasicAudio, IID_IBasicAudio>,
    ComInterface<IMediaEventSink, IID_IMediaEventSink>>;

class FilterGraph final : public ComObject<FilterGraphInterfaces, gGraphCount> {
public:
    ~FilterGraph() override {
        Stop();
        // Connected pins hold their neighbours: every connection goes before the filters.
        for (Entry& entry : filters_) {
            for (PIN_DIRECTION direction : {PINDIR_INPUT, PINDIR_OUTPUT}) {
                std::vector<IPin*> pins = PinsOf(entry.filter, direction);
                for (IPin* pin : pins) pin->Disconnect();
                ReleaseAll(pins);
            }
        }
        for (Entry& entry : filters_) {
            entry.filter->JoinFilterGraph(nullptr, nullptr);
            entry.filter->Release();
        }
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        for (const RefusableInterface& refusable : kRefusableInterfaces) {
            if (iid == refusable.iid && InjectedFailure(refusable.failure)) {
                *object = nullptr;
                return E_NOINTERFACE;
            }
        }
        return ComObject::QueryInterface(iid, object);
    }

    // IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
        if (filter == nullptr) return E_POINTER;
        if (InjectedFailure("IGraphBuilder::AddFilter")) return E_FAIL;
        Keep(filter, name);
        return S_OK;
    }
    HRESULT EnumFilters(IEnumFilters** out) override;
    HRESULT Connect(IPin* output, IPin* input) override {
        if (output == nullptr || input == nullptr) return E_POINTER;
        if (InjectedFailure("IGraphBuilder::Connect")) return VFW_E_CANNOT_CONNECT;
        return SUCCEEDED(output->Connect(input, nullptr)) ? S_OK : VFW_E_CANNOT_CONNECT;
    }
    HRESULT Render(IPin* output) override {
        if (output == nullptr) return E_POINTER;
        if (InjectedFailure("IGraphBuilder::Render")) return VFW_E_CANNOT_RENDER;
        // A stream of MPEG audio: the decoder goes between the source and the rest.
        IBaseFilter* decoder = CreateMpegAudioDecoderFilter();
        bool ok = ReadMpegAudioSource(decoder, output);
        if (ok) {
            Keep(decoder, u"MPEG Audio Decoder");
            std::vector<IPin*> inputs = PinsOf(decoder, PINDIR_INPUT);
            ok = SUCCEEDED(output->Connect(inputs[0], nullptr));
            ReleaseAll(inputs);
        }
        if (ok) {
            std::vector<IPin*> outputs = PinsOf(decoder, PINDIR_OUTPUT);
            ok = RenderOnward(outputs[0], 0);
            ReleaseAll(outputs);
        }
        decoder->Release();
        return ok ? S_OK : VFW_E_CANNOT_RENDER;
    }
    HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) override {
        if (file == nullptr) return E_POINTER;
        char name[1024];
        std::string hostPath;
        if (WideCharToMultiByte(932, 0, file, -1, name, sizeof name, nullptr, nullptr) == 0 ||
            !MapPathToHost(name, &hostPath)) {
            return VFW_E_NOT_FOUND;
        }
        MovieSource* source = new MovieSource([this] { return StreamTime(); });
        bool ok = source->Open(hostPath);
        if (ok) {
            Keep(source, u"Source");
            std::vector<IPin*> outputs = PinsOf(source, PINDIR_OUTPUT);
            ok = ConnectToAnInput(outputs[0], source);
            // A sound track that finds no renderer leaves the movie silent, as a partial render.
            if (ok && outputs.size() > 1) RenderOnward(outputs[1], 0);
            ReleaseAll(outputs);
        }
        if (ok) {
            source_ = source;
            std::lock_guard<std::mutex> lock(mutex_);
            duration_ = stop_ = source->Duration();
            stopAtEnd_ = true;
        }
        source->Release();
        return ok ? S_OK : VFW_E_CANNOT_RENDER;
    }

    // IMediaControl and IMediaFilter
    HRESULT Run() override { return Run(0); }
    HRESULT Run(REFERENCE_TIME) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_ == FilterState::Running) return S_OK;
            if (state_ == FilterState::Stopped) {
                completions_ = 0;
                aborted_ = false;
                renderers_ = CountConnectedRenderers();
                soundRendered_ = audio_ != nullptr && FirstInputConnected(audio_);
                if (soundRendered_) audio_->Anchor(base_);
            }
            runStart_ = ClockPeekMicroseconds();
            state_ = FilterState::Running;
        }
        for (IBaseFilter* filter : StartOrder()) filter->Run(0);
        WaitForSoundCue();
        return S_OK;
    }
    HRESULT Pause() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_ == FilterState::Running) base_ = PositionLocked();
            state_ = FilterState::Paused;
        }
        for (IBaseFilter* filter : StartOrder()) filter->Pause();
        return S_OK;
    }
    HRESULT Stop() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_ == FilterState::Running) base_ = PositionLocked();
        }
        // Sources first: a source stops its threads before the renderers let go of them.
        std::vector<IBaseFilter*> order = StartOrder();
        for (auto filter = order.rbegin(); filter != order.rend(); ++filter) (*filter)->Stop();
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = FilterState::Stopped;
        return S_OK;
    }
    HRESULT SetSyncSource(IReferenceClock* clock) override {
        std::lock_guard<std::mutex> lock(mutex_);
        clockless_ = clock == nullptr;
        return S_OK;
    }

    // IMediaEvent and IMediaEventSink
    HRESULT WaitForCompletion(long milliseconds, long* code) override {
        if (code == nullptr) return E_POINTER;
        std::unique_lock<std::mutex> lock(mutex_);
        // The sound renderer's end is seen by asking it: the wait looks again every millisecond.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!aborted_ && !CompletedLocked()) {
            if (std::chrono::steady_clock::now() >= deadline) return E_ABORT;
            completed_.wait_for(lock, std::chrono::milliseconds(soundRendered_ ? 1 : milliseconds));
        }
        *code = aborted_ ? EC_ERRORABORT : EC_COMPLETE;
        return S_OK;
    }
    HRESULT Notify(long code, LONG_PTR, LONG_PTR) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (code == EC_COMPLETE) ++completions_;
        if (code == EC_ERRORABORT) aborted_ = true;
        completed_.notify_all();
        return S_OK;
    }

    // IMediaSeeking
    HRESULT GetDuration(LONGLONG* duration) override {
        if (duration == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        *duration = duration_;
        return S_OK;
    }
    HRESULT GetStopPosition(LONGLONG* stop) override {
        if (stop == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        *stop = stop_;
        return S_OK;
    }
    HRESULT GetCurrentPosition(LONGLONG* current) override {
        if (current == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopAtEnd_) {
            // Short of the stop until the last picture has been shown: the duration may be an
            // estimate on either side of the true end (-1 for a stream of unknown length).
            *current = CompletedLocked() ? stop_ : std::min(PositionLocked(), stop_ - 1);
        } else {
            *current = std::min(PositionLocked(), stop_);
        }
        return S_OK;
    }
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                         DWORD stopFlags) override {
        bool running = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop != nullptr && (stopFlags & 3) == AM_SEEKING_AbsolutePositioning) {
                stop_ = std::clamp<LONGLONG>(*stop, 0, duration_);
                stopAtEnd_ = false;
            }
            if (current != nullptr && (currentFlags & 3) == AM_SEEKING_AbsolutePositioning) {
                base_ = std::clamp<LONGLONG>(*current, 0, duration_);
                runStart_ = ClockPeekMicroseconds();
                completions_ = 0;
                // The sound heard starts over from the new position once the flush is done.
                if (audio_ != nullptr) audio_->Anchor(base_);
                if (source_ != nullptr) source_->Seek(base_);
                running = state_ == FilterState::Running;
            }
        }
        if (running) WaitForSoundCue();
        return S_OK;
    }

    // IBasicAudio: the sound renderer's buffer, with DirectSound's volume and pan.
    HRESULT put_Volume(long volume) override {
        if (audio_ == nullptr) return E_NOTIMPL;
        HRESULT result = audio_->SetVolume(volume);
        if (SUCCEEDED(result)) volume_ = volume;
        return result;
    }
    HRESULT get_Volume(long* volume) override {
        if (volume == nullptr) return E_POINTER;
        if (audio_ == nullptr || !FirstInputConnected(audio_)) return E_NOTIMPL;
        *volume = volume_;
        return S_OK;
    }
    HRESULT put_Balance(long balance) override {
        if (audio_ == nullptr) return E_NOTIMPL;
        HRESULT result = audio_->SetBalance(balance);
        if (SUCCEEDED(result)) balance_ = balance;
        return result;
    }
    HRESULT get_Balance(long* balance) override {
        if (balance == nullptr) return E_POINTER;
        if (audio_ == nullptr || !FirstInputConnected(audio_)) return E_NOTIMPL;
        *balance = balance_;
        return S_OK;
    }

    const std::vector<IBaseFilter*> Filters() const {
        std::vector<IBaseFilter*> out;
        for (const Entry& entry : filters_) out.push_back(entry.filter);
        return out;
    }

private:
    struct Entry {
        IBaseFilter* filter;
    };

    // Adds a filter to the graph (the graph's own filters, which cannot fail to be added).
    void Keep(IBaseFilter* filter, LPCWSTR name) {
        filter->AddRef();
        filter->JoinFilterGraph(this, name);
        filters_.push_back({filter});
    }

    LONGLONG StreamTime() {
        std::lock_guard<std::mutex> lock(mutex_);
        return PositionLocked();
    }
    LONGLONG PositionLocked() {
        if (state_ != FilterState::Running) return base_;
        // Without a clock nothing waits: every sample is due at once.
        if (clockless_) return INT64_MAX / 2;
        LONGLONG heard = 0;
        if (soundRendered_ && audio_->Position(&heard)) return heard;
        auto elapsed = static_cast<LONGLONG>(ClockPeekMicroseconds() - runStart_);
        return base_ + elapsed * 10;
    }

    bool CompletedLocked() {
        return (renderers_ > 0 || soundRendered_) && completions_ >= renderers_ &&
               (!soundRendered_ || audio_->Finished());
    }

    // Renderers with their input connected, but for the sound renderer: each reports the end of
    // its stream once.
    int CountConnectedRenderers() {
        int count = 0;
        for (Entry& entry : filters_) {
            if (entry.filter != audio_ && IsRenderer(entry.filter) &&
                FirstInputConnected(entry.filter)) {
                ++count;
            }
        }
        return count;
    }

    // Renderers first, then the filters that feed them, in the order they were added.
    std::vector<IBaseFilter*> StartOrder() {
        std::vector<IBaseFilter*> renderers, others;
        for (IBaseFilter* filter : Filters()) {
            (IsRenderer(filter) ? renderers : others).push_back(filter);
        }
        renderers.insert(renderers.end(), others.begin(), others.end());
        return renderers;
    }

    // A start or a seek holds the clock until the sound renderer has sound to play, or for a
    // while only: a file whose sound lags far behind its pictures plays on without it.
    void WaitForSoundCue() {
        if (audio_ == nullptr || !FirstInputConnected(audio_)) return;
        for (int i = 0; i < kCueWaitMilliseconds; ++i) {
            if (audio_->Cued()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        audio_->StartUncued();
    }

    // Connects the output pin to the first free input pin in the graph that takes one of its
    // types, leaving out its own filter.
    bool ConnectToAnInput(IPin* output, IBaseFilter* self) {
        for (IBaseFilter* filter : Filters()) {
            if (filter == self) continue;
            std::vector<IPin*> inputs = PinsOf(filter, PINDIR_INPUT);
            bool connected = false;
            for (IPin* input : inputs) {
                IPin* other = nullptr;
                if (input->ConnectedTo(&other) == S_OK) {
                    other->Release();
                    continue;
                }
                if (SUCCEEDED(output->Connect(input, nullptr))) {
                    connected = true;
                    break;
                }
            }
            ReleaseAll(inputs);
            if (connected) return true;
        }
        return false;
    }

    // Renders an audio output: through a filter already in the graph that takes it (and on
    // from that filter's output), else into a new default audio renderer.
    bool RenderOnward(IPin* output, int depth) {
        IBaseFilter* self = nullptr;
        for (IBaseFilter* filter : Filters()) {
            std::vector<IPin*> outputs = PinsOf(filter, PINDIR_OUTPUT);
            for (IPin* pin : outputs) {
                if (pin == output) self = filter;
            }
            ReleaseAll(outputs);
        }
        if (depth < 4 && ConnectToAnInput(output, self)) {
            IPin* input = nullptr;
            output->ConnectedTo(&input);
            IBaseFilter* next = nullptr;
            for (IBaseFilter* filter : Filters()) {
                std::vector<IPin*> inputs = PinsOf(filter, PINDIR_INPUT);
                for (IPin* pin : inputs) {
                    if (pin == input) next = filter;
                }
                ReleaseAll(inputs);
            }
            input->Release();
            std::vector<IPin*> outputs = PinsOf(next, PINDIR_OUTPUT);
            bool ok = outputs.empty() || RenderOnward(outputs[0], depth + 1);
            ReleaseAll(outputs);
            return ok;
        }
        AudioRenderer* renderer = CreateAudioRendererFilter();
        Keep(renderer, u"Default DirectSound Device");
        if (audio_ == nullptr) audio_ = renderer;
        renderer->Release();
        std::vector<IPin*> inputs = PinsOf(renderer, PINDIR_INPUT);
        bool ok = SUCCEEDED(output->Connect(inputs[0], nullptr));
        ReleaseAll(inputs);
        return ok;
    }

    std::vector<Entry> filters_;
    MovieSource* source_ = nullptr;   // one of filters_, when a file was rendered
    AudioRenderer* audio_ = nullptr;  // one of filters_, once a sound stream was rendered
    bool soundRendered_ = false;      // the sound renderer was connected when the graph started
    long volume_ = 0;
    long balance_ = 0;
    std::mutex mutex_;
    std::condition_variable completed_;
    FilterState state_ = FilterState::Stopped;
    bool clockless_ = false;
    unsigned long long runStart_ = 0;
    LONGLONG base_ = 0;
    LONGLONG duration_ = 0;
    LONGLONG stop_ = 0;
    bool stopAtEnd_ = false;  // stop_ stands for the end of the rendered file's stream
    int renderers_ = 0;
    int completions_ = 0;
    bool aborted_ = false;
};

HRESULT FilterGraph::EnumFilters(IEnumFilters** out) {
    if (out == nullptr) return E_POINTER;
    *out = new ItemEnumerator<IEnumFilters, IBaseFilter, IID_IEnumFilters>(
        static_cast<IGraphBuilder*>(this), Filters());
    return S_OK;
}

}  // namespace

HRESULT CreateFilterGraphObject(LPUNKNOWN outer, REFIID iid, void** object) {
    if (outer != nullptr) return E_NOINTERFACE;
    FilterGraph* graph = new FilterGraph();
    HRESULT result = graph->QueryInterface(iid, object);
    graph->Release();
    return result;
}

int TestCountDirectShowObjects() {
    return gGraphCount.live + gDirectShowFilters.live + gVideoRenderers.live +
           gDirectShowPins.live + gDirectShowEnumerators.live + gDirectShowSamples.live;
}

// The machinery every filter of the layer shares: media types that own their format block,
// pins that negotiate a type and pass samples and the end of the stream, the pin enumerator,
// samples over a caller's buffer, and the filter base with its state and graph.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../ole32/com_object.h"
#include "platform/dshow.h"

struct MediaType {
    GUID major{};
    GUID subtype{};
    GUID formatType{};
    std::vector<BYTE> format;

    static MediaType From(const AM_MEDIA_TYPE* type);
    // A view whose format block is this object's.
    AM_MEDIA_TYPE View() const;
    // A copy whose format block the receiver frees with FreeMediaType.
    void CopyTo(AM_MEDIA_TYPE* out) const;
};

MediaType VideoMediaType(const GUID& subtype, int width, int height, WORD bitCount,
                         REFERENCE_TIME frameTime);
MediaType PcmMediaType(WORD channels, DWORD rate);

class LayerPin;

// What the filter that owns a pin answers for it.
class PinOwner {
public:
    virtual IBaseFilter* OwnerFilter() = 0;
    // Input pins: S_OK when the type is accepted.
    virtual HRESULT CheckPinType(LayerPin* pin, const AM_MEDIA_TYPE* type) { return E_FAIL; }
    // Output pins: the index-th type offered, S_FALSE past the last.
    virtual HRESULT GetPinType(LayerPin* pin, int index, MediaType* type) { return S_FALSE; }
    virtual HRESULT PinConnected(LayerPin* pin, const AM_MEDIA_TYPE* type) { return S_OK; }
    virtual HRESULT PinReceive(LayerPin* pin, IMediaSample* sample) { return E_UNEXPECTED; }
    virtual HRESULT PinEndOfStream(LayerPin* pin) { return S_OK; }
    // Input pins: a flush begins (true) or ends (false).
    virtual HRESULT PinFlush(LayerPin* pin, bool begin) { return S_OK; }
    virtual HRESULT PinQueryInterface(REFIID iid, void** object) { return E_NOINTERFACE; }

protected:
    ~PinOwner() = default;
};

// The live pins of the layer: each lives inside its filter and answers with its references.
extern ComObjectCount gDirectShowPins;

class LayerPin final : public ComObject<IPin, gDirectShowPins, IID_IPin> {
public:
    LayerPin(PinOwner* owner, PIN_DIRECTION direction)
        : ComObject(owner->OwnerFilter()), owner_(owner), direction_(direction) {}
    ~LayerPin() override;

    // Identifiers a pin does not answer go to its filter (a reader's IAsyncReader).
    HRESULT QueryInterface(REFIID iid, void** object) override;
    HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    // Output side: to the connected input pin.
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverFlush(bool begin);
    bool IsConnected() const { return connected_ != nullptr; }
    const MediaType& Type() const { return type_; }

private:
    PinOwner* owner_;
    PIN_DIRECTION direction_;
    IPin* connected_ = nullptr;
    MediaType type_;
};

extern ComObjectCount gDirectShowEnumerators;

// Hands out a list of items (pins, filters), each with a reference, holding a reference to
// their owner meanwhile.
template <class Interface, class Item, const IID& kIid>
class ItemEnumerator final : public ComObject<Interface, gDirectShowEnumerators, kIid> {
public:
    ItemEnumerator(IUnknown* owner, std::vector<Item*> items)
        : owner_(owner), items_(std::move(items)) {
        owner_->AddRef();
    }
    ~ItemEnumerator() override { owner_->Release(); }

    HRESULT Next(ULONG count, Item** items, ULONG* fetched) override {
        if (items == nullptr) return E_POINTER;
        ULONG got = 0;
        while (got < count && next_ < items_.size()) {
            items[got] = items_[next_++];
            items[got++]->AddRef();
        }
        if (fetched != nullptr) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }

private:
    IUnknown* owner_;
    std::vector<Item*> items_;
    size_t next_ = 0;
};

// Enumerates a filter's pins, holding a reference to the filter.
HRESULT MakePinEnumerator(IBaseFilter* filter, const std::vector<IPin*>& pins, IEnumPins** out);

extern ComObjectCount gDirectShowSamples;

// A sample over a buffer that its maker keeps alive while the sample is delivered. The maker
// makes it on its stack and keeps the reference it is made with: the receivers' references
// never take it to zero, and the maker's scope ends it.
class BufferSample final : public ComObject<IMediaSample, gDirectShowSamples, IID_IMediaSample> {
public:
    BufferSample(BYTE* data, long length, REFERENCE_TIME start, REFERENCE_TIME end)
        : data_(data), length_(length), start_(start), end_(end) {}
    HRESULT GetPointer(BYTE** buffer) override;
    long GetActualDataLength() override { return length_; }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;

private:
    BYTE* data_;
    long length_;
    REFERENCE_TIME start_;
    REFERENCE_TIME end_;
};

enum class FilterState { Stopped, Paused, Running };

// The live filters of the layer, for tests, and the program's video renderers.
extern ComObjectCount gDirectShowFilters;
extern ComObjectCount gVideoRenderers;

// The base of the layer's filters: reference count, pins, state and the graph joined.
// `Interface` is the filter's, `Others` the ComInterface of each further interface it has.
template <class Interface, class... Others>
class LayerFilter
    : public ComObject<
          ComInterfaces<ComInterface<Interface, IID_IMediaFilter, IID_IBaseFilter>, Others...>,
          gDirectShowFilters>,
      public PinOwner {
public:
    HRESULT Stop() override { return ChangeState(FilterState::Stopped); }
    HRESULT Pause() override { return ChangeState(FilterState::Paused); }
    HRESULT Run(REFERENCE_TIME start) override { return ChangeState(FilterState::Running); }
    HRESULT SetSyncSource(IReferenceClock* clock) override { return S_OK; }
    HRESULT EnumPins(IEnumPins** out) override {
        std::vector<IPin*> pins;
        for (auto& pin : pins_) pins.push_back(pin.get());
        return MakePinEnumerator(this, pins, out);
    }
    HRESULT JoinFilterGraph(IMediaEventSink* graph, LPCWSTR name) override {
        graph_ = graph;
        return S_OK;
    }
    IBaseFilter* OwnerFilter() override { return this; }

protected:
    virtual HRESULT ChangeState(FilterState state) {
        state_ = state;
        return S_OK;
    }
    LayerPin* AddPin(PIN_DIRECTION direction) {
        pins_.push_back(std::make_unique<LayerPin>(this, direction));
        return pins_.back().get();
    }
    void NotifyGraph(long code) {
        if (graph_ != nullptr) graph_->Notify(code, 0, 0);
    }

    std::atomic<FilterState> state_{FilterState::Stopped};

private:
    std::vector<std::unique_ptr<LayerPin>> pins_;
    IMediaEventSink* graph_ = nullptr;  // the graph holds its filters, not the reverse
};

// Filters the graph makes itself while it renders.
IBaseFilter* CreateMpegAudioDecoderFilter();
// Reads the whole stream behind the source pin into the decoder; false when it holds no MPEG
// audio.
bool ReadMpegAudioSource(IBaseFilter* decoder, IPin* sourcePin);
HRESULT CreateNullRendererObject(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateFilterGraphObject(LPUNKNOWN outer, REFIID iid, void** object);

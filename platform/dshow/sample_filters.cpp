// The sample filters and the null renderer: the memory reader, the sample grabber, and a
// renderer that takes whatever it is given.
#include <cstring>
#include <mutex>
#include <new>

#include "../base/test_overrides.h"
#include "filter_base.h"

namespace {

class MemReader final
    : public LayerFilter<D_CMemReader, ComInterface<IAsyncReader, IID_IAsyncReader>> {
public:
    MemReader(D_CMemStream* stream, const AM_MEDIA_TYPE* type)
        : stream_(stream), type_(MediaType::From(type)) {
        AddPin(PINDIR_OUTPUT);
    }

    HRESULT GetPinType(LayerPin* pin, int index, MediaType* type) override {
        if (index != 0) return S_FALSE;
        *type = type_;
        return S_OK;
    }
    // The output pin answers the reader's IAsyncReader, as the filter does.
    HRESULT PinQueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IAsyncReader) return E_NOINTERFACE;
        return QueryInterface(iid, object);
    }

    HRESULT Length(LONGLONG* total, LONGLONG* available) override {
        if (total == nullptr || available == nullptr) return E_POINTER;
        *total = *available = stream_->Bytes();
        return S_OK;
    }
    HRESULT SyncRead(LONGLONG position, long length, BYTE* buffer) override {
        if (buffer == nullptr) return E_POINTER;
        if (position < 0 || length < 0 || position + length > stream_->Bytes()) return E_FAIL;
        if (length > 0) std::memcpy(buffer, stream_->Data() + position, length);
        return S_OK;
    }

private:
    D_CMemStream* stream_;
    MediaType type_;
};

class SampleGrabber final : public LayerFilter<D_CSampleGrabber> {
public:
    SampleGrabber() {
        input_ = AddPin(PINDIR_INPUT);
        output_ = AddPin(PINDIR_OUTPUT);
    }

    HRESULT SetAcceptedMediaType(const AM_MEDIA_TYPE* type) override {
        if (InjectedFailure("ISampleGrabber::SetMediaType")) return E_FAIL;
        if (type == nullptr) return E_POINTER;
        accepted_ = MediaType::From(type);
        return S_OK;
    }
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
        if (type == nullptr) return E_POINTER;
        if (InjectedFailure("ISampleGrabber::GetConnectedMediaType") || !input_->IsConnected()) {
            return VFW_E_NOT_CONNECTED;
        }
        input_->Type().CopyTo(type);
        return S_OK;
    }
    HRESULT SetCallback(SampleGrabberCallback callback, void* context) override {
        if (InjectedFailure("ISampleGrabber::SetCallback")) return E_FAIL;
        std::lock_guard<std::mutex> lock(callbackMutex_);
        callback_ = callback;
        context_ = context;
        return S_OK;
    }

    HRESULT CheckPinType(LayerPin* pin, const AM_MEDIA_TYPE* type) override {
        bool anyFormat = accepted_.formatType == GUID{};
        return type->majortype == accepted_.major && type->subtype == accepted_.subtype &&
                       (anyFormat || type->formattype == accepted_.formatType)
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetPinType(LayerPin* pin, int index, MediaType* type) override {
        if (index != 0 || !input_->IsConnected()) return S_FALSE;
        *type = input_->Type();
        return S_OK;
    }
    HRESULT PinReceive(LayerPin* pin, IMediaSample* sample) override {
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            if (callback_ != nullptr) callback_(sample, context_);
        }
        return output_->IsConnected() ? output_->Deliver(sample) : S_OK;
    }
    HRESULT PinEndOfStream(LayerPin* pin) override {
        return output_->IsConnected() ? output_->DeliverEndOfStream() : S_OK;
    }

private:
    LayerPin* input_;
    LayerPin* output_;
    MediaType accepted_;
    std::mutex callbackMutex_;
    SampleGrabberCallback callback_ = nullptr;
    void* context_ = nullptr;
};

// Takes whatever it is given and reports the end of the stream.
class NullRenderer final : public LayerFilter<IBaseFilter> {
public:
    NullRenderer() { AddPin(PINDIR_INPUT); }

    HRESULT CheckPinType(LayerPin* pin, const AM_MEDIA_TYPE* type) override { return S_OK; }
    HRESULT PinReceive(LayerPin* pin, IMediaSample* sample) override { return S_OK; }
    HRESULT PinEndOfStream(LayerPin* pin) override {
        NotifyGraph(EC_COMPLETE);
        return S_OK;
    }
};

}  // namespace

D_CMemReader* D_CMemReader::Create(D_CMemStream* stream, const AM_MEDIA_TYPE* type,
                                   HRESULT* result) {
    if (stream == nullptr || type == nullptr) {
        *result = E_POINTER;
        return nullptr;
    }
    MemReader* reader = new (std::nothrow) MemReader(stream, type);
    *result = reader != nullptr ? S_OK : E_OUTOFMEMORY;
    return reader;
}

D_CSampleGrabber* D_CSampleGrabber::Create(LPUNKNOWN outer, HRESULT* result) {
    SampleGrabber* grabber = new (std::nothrow) SampleGrabber();
    *result = grabber != nullptr ? S_OK : E_OUTOFMEMORY;
    return grabber;
}

HRESULT CreateNullRendererObject(LPUNKNOWN outer, REFIID iid, void** object) {
    if (outer != nullptr) return E_NOINTERFACE;
    NullRenderer* renderer = new NullRenderer();
    HRESULT result = renderer->QueryInterface(iid, object);
    renderer->Release();
    return result;
}

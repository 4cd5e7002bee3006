// Pins, media types, the pin enumerator and buffer samples.
#include "filter_base.h"

#include <cstring>

ComObjectCount gDirectShowFilters;

void FreeMediaType(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk != nullptr) type.pUnk->Release();
    type.pUnk = nullptr;
}

MediaType MediaType::From(const AM_MEDIA_TYPE* type) {
    MediaType out;
    out.major = type->majortype;
    out.subtype = type->subtype;
    out.formatType = type->formattype;
    if (type->pbFormat != nullptr)
        out.format.assign(type->pbFormat, type->pbFormat + type->cbFormat);
    return out;
}

AM_MEDIA_TYPE MediaType::View() const {
    AM_MEDIA_TYPE view{};
    view.majortype = major;
    view.subtype = subtype;
    view.formattype = formatType;
    view.bFixedSizeSamples = TRUE;
    view.cbFormat = static_cast<ULONG>(format.size());
    view.pbFormat = format.empty() ? nullptr : const_cast<BYTE*>(format.data());
    return view;
}

void MediaType::CopyTo(AM_MEDIA_TYPE* out) const {
    *out = View();
    out->pbFormat = nullptr;
    if (!format.empty()) {
        out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(format.size()));
        if (out->pbFormat == nullptr) {
            out->cbFormat = 0;
            return;
        }
        std::memcpy(out->pbFormat, format.data(), format.size());
    }
}

namespace {

MediaType TypeWithFormat(const GUID& major, const GUID& subtype, const GUID& formatType,
                         const void* format, size_t bytes) {
    MediaType type;
    type.major = major;
    type.subtype = subtype;
    type.formatType = formatType;
    const BYTE* first = static_cast<const BYTE*>(format);
    type.format.assign(first, first + bytes);
    return type;
}

}  // namespace

MediaType VideoMediaType(const GUID& subtype, int width, int height, WORD bitCount,
                         REFERENCE_TIME frameTime) {
    VIDEOINFOHEADER info{};
    info.AvgTimePerFrame = frameTime;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = subtype.Data1 > 0xFFFF ? subtype.Data1 : 0;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(static_cast<long long>(width) *
                                                    (height < 0 ? -height : height) * bitCount / 8);
    return TypeWithFormat(MEDIATYPE_Video, subtype, FORMAT_VideoInfo, &info, sizeof info);
}

MediaType PcmMediaType(WORD channels, DWORD rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return TypeWithFormat(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, &format,
                          sizeof format);
}

LayerPin::~LayerPin() {
    if (connected_ != nullptr) connected_->Release();
}

ComObjectCount gDirectShowPins;

HRESULT LayerPin::QueryInterface(REFIID iid, void** object) {
    HRESULT result = ComObject::QueryInterface(iid, object);
    return result == E_NOINTERFACE ? owner_->PinQueryInterface(iid, object) : result;
}

HRESULT LayerPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (receiver == nullptr) return E_POINTER;
    if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    auto tryType = [&](const MediaType& offered) {
        AM_MEDIA_TYPE view = offered.View();
        if (receiver->ReceiveConnection(this, &view) != S_OK) return false;
        if (FAILED(owner_->PinConnected(this, &view))) {
            receiver->Disconnect();
            return false;
        }
        connected_ = receiver;
        connected_->AddRef();
        type_ = offered;
        return true;
    };
    if (type != nullptr) return tryType(MediaType::From(type)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    MediaType offered;
    for (int i = 0; owner_->GetPinType(this, i, &offered) == S_OK; ++i) {
        if (tryType(offered)) return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT LayerPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return E_POINTER;
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (owner_->CheckPinType(this, type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT result = owner_->PinConnected(this, type);
    if (FAILED(result)) return result;
    connected_ = connector;
    connected_->AddRef();
    type_ = MediaType::From(type);
    return S_OK;
}

HRESULT LayerPin::Disconnect() {
    if (connected_ == nullptr) return S_FALSE;
    connected_->Release();
    connected_ = nullptr;
    return S_OK;
}

HRESULT LayerPin::ConnectedTo(IPin** pin) {
    if (pin == nullptr) return E_POINTER;
    *pin = connected_;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

HRESULT LayerPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    type_.CopyTo(type);
    return S_OK;
}

HRESULT LayerPin::QueryDirection(PIN_DIRECTION* direction) {
    if (direction == nullptr) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT LayerPin::Receive(IMediaSample* sample) {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    return owner_->PinReceive(this, sample);
}

HRESULT LayerPin::EndOfStream() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    return owner_->PinEndOfStream(this);
}

HRESULT LayerPin::BeginFlush() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    return owner_->PinFlush(this, true);
}

HRESULT LayerPin::EndFlush() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    return owner_->PinFlush(this, false);
}

HRESULT LayerPin::DeliverFlush(bool begin) {
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    return begin ? connected_->BeginFlush() : connected_->EndFlush();
}

HRESULT LayerPin::Deliver(IMediaSample* sample) {
    return connected_ != nullptr ? connected_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT LayerPin::DeliverEndOfStream() {
    return connected_ != nullptr ? connected_->EndOfStream() : VFW_E_NOT_CONNECTED;
}

ComObjectCount gDirectShowEnumerators;

HRESULT MakePinEnumerator(IBaseFilter* filter, const std::vector<IPin*>& pins, IEnumPins** out) {
    if (out == nullptr) return E_POINTER;
    *out = new ItemEnumerator<IEnumPins, IPin, IID_IEnumPins>(filter, pins);
    return S_OK;
}

ComObjectCount gDirectShowSamples;

HRESULT BufferSample::GetPointer(BYTE** buffer) {
    if (buffer == nullptr) return E_POINTER;
    *buffer = data_;
    return S_OK;
}

HRESULT BufferSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    if (start == nullptr || end == nullptr) return E_POINTER;
    *start = start_;
    *end = end_;
    return S_OK;
}

// DirectShow: the filter graph with its control, seeking and event interfaces, pins and
// filters, media types, the base video renderer that a program derives its own renderer from,
// and the sample filters of a memory source and a sample grabber. The graph renders movie files
// (pictures and sound track) through FFmpeg's libraries and MPEG audio streams through mpg123;
// sound plays through the layer's DirectSound, whose position is then the graph's clock.
#pragma once

#include "platform/com.h"
#include "platform/mmsystem.h"
#include "platform/win32_gdi.h"

typedef LONGLONG REFERENCE_TIME;  // 100-ns units

// Media types and format blocks.
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

// Frees the format block of a media type that a pin or the grabber handed out.
void FreeMediaType(AM_MEDIA_TYPE& type);

// The media subtype of a four-character code.
constexpr GUID FourCCMediaSubtype(DWORD fourcc) {
    return {fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr GUID DirectShowGuid(DWORD data1) {
    return {data1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}
constexpr GUID QuartzGuid(DWORD data1) {
    return {data1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

constexpr GUID MEDIATYPE_Video = FourCCMediaSubtype(0x73646976);  // "vids"
constexpr GUID MEDIATYPE_Audio = FourCCMediaSubtype(0x73647561);  // "auds"
constexpr GUID MEDIATYPE_Stream = DirectShowGuid(0xE436EB83);
constexpr GUID MEDIASUBTYPE_MPEG1Audio = DirectShowGuid(0xE436EB87);
constexpr GUID MEDIASUBTYPE_PCM = FourCCMediaSubtype(WAVE_FORMAT_PCM);
constexpr GUID MEDIASUBTYPE_RGB24 = DirectShowGuid(0xE436EB7D);
constexpr GUID MEDIASUBTYPE_RGB32 = DirectShowGuid(0xE436EB7E);
constexpr GUID MEDIASUBTYPE_YV12 = FourCCMediaSubtype(0x32315659);
constexpr GUID MEDIASUBTYPE_NV12 = FourCCMediaSubtype(0x3231564E);
constexpr GUID MEDIASUBTYPE_NV11 = FourCCMediaSubtype(0x3131564E);
constexpr GUID MEDIASUBTYPE_YUY2 = FourCCMediaSubtype(0x32595559);
constexpr GUID MEDIASUBTYPE_UYVY = FourCCMediaSubtype(0x59565955);
constexpr GUID MEDIASUBTYPE_YVYU = FourCCMediaSubtype(0x55595659);
constexpr GUID FORMAT_VideoInfo = {
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID FORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

constexpr CLSID CLSID_FilterGraph = DirectShowGuid(0xE436EBB3);
constexpr CLSID CLSID_NullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

constexpr IID IID_IPin = QuartzGuid(0x56A86891);
constexpr IID IID_IEnumPins = QuartzGuid(0x56A86892);
constexpr IID IID_IEnumFilters = QuartzGuid(0x56A86893);
constexpr IID IID_IBaseFilter = QuartzGuid(0x56A86895);
constexpr IID IID_IMediaFilter = QuartzGuid(0x56A86899);
constexpr IID IID_IMediaSample = QuartzGuid(0x56A8689A);
constexpr IID IID_IGraphBuilder = QuartzGuid(0x56A868A9);
constexpr IID IID_IAsyncReader = QuartzGuid(0x56A868AA);
constexpr IID IID_IMediaControl = QuartzGuid(0x56A868B1);
constexpr IID IID_IBasicAudio = QuartzGuid(0x56A868B3);
constexpr IID IID_IMediaEvent = QuartzGuid(0x56A868B6);
constexpr IID IID_IMediaEventSink = QuartzGuid(0x56A868A2);
constexpr IID IID_IMediaSeeking = {
    0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};

constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = static_cast<HRESULT>(0x80040207);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209);
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022A);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216);

// Event codes.
constexpr long EC_COMPLETE = 1;
constexpr long EC_ERRORABORT = 3;

constexpr DWORD AM_SEEKING_NoPositioning = 0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 1;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct IReferenceClock;

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual long GetActualDataLength() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
};

struct IPin : IUnknown {
    // An output pin connects to `receiver`, with `type` or with the first of its own types
    // that the receiver accepts.
    virtual HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    // The streaming calls that an output pin makes on the input pin it is connected to.
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT EndOfStream() = 0;
    // Around a seek: from BeginFlush on, the receiver drops what it holds and refuses samples
    // until EndFlush.
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
};

// What a filter reports its events to: the graph it joined.
struct IMediaEventSink : IUnknown {
    virtual HRESULT Notify(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaFilter : IUnknown {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    // Called by the graph that the filter is added to (and with null when it leaves it).
    virtual HRESULT JoinFilterGraph(IMediaEventSink* graph, LPCWSTR name) = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
};

struct IGraphBuilder : IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT Connect(IPin* output, IPin* input) = 0;
    virtual HRESULT Render(IPin* output) = 0;
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
};

struct IMediaEvent : IUnknown {
    // E_ABORT when nothing completed within the time.
    virtual HRESULT WaitForCompletion(long milliseconds, long* code) = 0;
};

struct IMediaSeeking : IUnknown {
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                 DWORD stopFlags) = 0;
};

// The graph's sound track: volume in hundredths of a decibel (-10000 to 0), balance from
// -10000 (left only) to 10000 (right only). E_NOTIMPL when the graph renders no sound.
struct IBasicAudio : IUnknown {
    virtual HRESULT put_Volume(long volume) = 0;
    virtual HRESULT get_Volume(long* volume) = 0;
    virtual HRESULT put_Balance(long balance) = 0;
    virtual HRESULT get_Balance(long* balance) = 0;
};

// Random access to a source filter's stream, offered by its output pin.
struct IAsyncReader : IUnknown {
    virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
    virtual HRESULT SyncRead(LONGLONG position, long length, BYTE* buffer) = 0;
};

// The base of a video renderer: one input pin that takes what CheckMediaType accepts, hands the
// type to SetMediaType and every sample to DoRenderSample on the streaming thread, and reports
// the end of the stream to its graph.
class CBaseVideoRenderer : public IBaseFilter {
public:
    CBaseVideoRenderer(REFCLSID classId, const char* name, LPUNKNOWN outer, HRESULT* result);
    CBaseVideoRenderer(const CBaseVideoRenderer&) = delete;
    CBaseVideoRenderer& operator=(const CBaseVideoRenderer&) = delete;
    virtual ~CBaseVideoRenderer();

    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT JoinFilterGraph(IMediaEventSink* graph, LPCWSTR name) override;

private:
    struct Input;
    Input* input_;
};

// The sample filters. A memory stream over a caller's block (which must outlive it).
class D_CMemStream {
public:
    D_CMemStream(const BYTE* data, LONGLONG bytes) : data_(data), bytes_(bytes) {}
    const BYTE* Data() const { return data_; }
    LONGLONG Bytes() const { return bytes_; }

private:
    const BYTE* data_;
    LONGLONG bytes_;
};

// A source filter named "Mem Reader" whose one output pin offers the stream with the given
// type and serves reads from it (IAsyncReader).
struct D_CMemReader : IBaseFilter {
    // Made with one reference, or null with *result set.
    static D_CMemReader* Create(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);
};

typedef HRESULT (*SampleGrabberCallback)(IMediaSample* sample, void* context);

// A transform-in-place filter named "SampleGrabber": it accepts exactly the media type set,
// passes every sample on and hands it to the callback first.
struct D_CSampleGrabber : IBaseFilter {
    static D_CSampleGrabber* Create(LPUNKNOWN outer, HRESULT* result);
    virtual HRESULT SetAcceptedMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetCallback(SampleGrabberCallback callback, void* context) = 0;
};

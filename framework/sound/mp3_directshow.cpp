// MP3 decoding through DirectShow: a graph of a memory reader over the whole source, the
// decoders that the graph chooses, a sample grabber that collects PCM, and the null renderer
// in place of the audio renderer, run without a clock until it completes.
#include "sound/mp3_directshow.h"

#include <platform/dshow.h>

#include <algorithm>
#include <new>

#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/tracked_memory.h"

namespace {

constexpr uint32_t kPcmGrowthBytes = 1048576;
constexpr long kCompletionWaitMs = 100;

// What a decode holds; released in reverse on every path.
struct Mp3Graph {
    uint8_t* image = nullptr;
    D_CMemStream* stream = nullptr;
    D_CMemReader* reader = nullptr;
    IBaseFilter* nullRenderer = nullptr;
    IGraphBuilder* graph = nullptr;
    D_CSampleGrabber* grabber = nullptr;
    IMediaFilter* mediaFilter = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* event = nullptr;

    ~Mp3Graph() {
        if (control != nullptr) control->Stop();
        if (event != nullptr) event->Release();
        if (control != nullptr) control->Release();
        if (mediaFilter != nullptr) mediaFilter->Release();
        if (graph != nullptr) graph->Release();
        if (grabber != nullptr) grabber->Release();
        if (nullRenderer != nullptr) nullRenderer->Release();
        if (reader != nullptr) reader->Release();
        delete stream;
        FreeMemory(image);
    }
};

int Fail(SoundConverter* converter, const char* message) {
    FreeMemory(converter->pcm);
    converter->pcm = nullptr;
    converter->pcmBytes = 0;
    converter->pcmCapacity = 0;
    return EmitLogText(message);
}

// Disconnects the graph's renderer (a filter with an input pin and no output pin) and connects
// what fed it to the replacement's input pin.
bool SwapRenderer(IGraphBuilder* graph, IBaseFilter* replacement) {
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) return false;
    bool swapped = false;
    IBaseFilter* filter = nullptr;
    while (!swapped && filters->Next(1, &filter, nullptr) == S_OK) {
        IPin* input = FindFilterPin(filter, PINDIR_INPUT);
        IPin* output = FindFilterPin(filter, PINDIR_OUTPUT);
        if (input != nullptr && output == nullptr && filter != replacement) {
            IPin* feeder = nullptr;
            IPin* target = FindFilterPin(replacement, PINDIR_INPUT);
            if (SUCCEEDED(input->ConnectedTo(&feeder))) {
                feeder->Disconnect();
                input->Disconnect();
                swapped = target != nullptr && SUCCEEDED(graph->Connect(feeder, target));
                feeder->Release();
            }
            if (target != nullptr) target->Release();
        }
        if (input != nullptr) input->Release();
        if (output != nullptr) output->Release();
        filter->Release();
    }
    filters->Release();
    return swapped;
}

}  // namespace

IPin* FindFilterPin(IBaseFilter* filter, int32_t direction) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            found = pin;
        } else {
            pin->Release();
        }
    }
    pins->Release();
    return found;
}

int Mp3GrabberCallback(IMediaSample* sample, void* context) {
    SoundConverter* c = static_cast<SoundConverter*>(context);
    if (c->pcm == nullptr) return 0;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    long length = sample->GetActualDataLength();
    if (data == nullptr || length <= 0) return 0;
    uint64_t needed = uint64_t{c->pcmBytes} + static_cast<uint64_t>(length);
    if (needed > c->pcmCapacity) {
        uint64_t capacity = c->pcmCapacity;
        while (capacity < needed) capacity += kPcmGrowthBytes;
        uint8_t* grown = capacity <= UINT32_MAX / 2
                             ? static_cast<uint8_t*>(
                                   AllocMemory(static_cast<uint32_t>(capacity), __FILE__, __LINE__))
                             : nullptr;
        if (grown == nullptr) {
            FreeMemory(c->pcm);
            c->pcm = nullptr;
            return 0;
        }
        std::copy(c->pcm, c->pcm + c->pcmBytes, grown);
        FreeMemory(c->pcm);
        c->pcm = grown;
        c->pcmCapacity = static_cast<uint32_t>(capacity);
    }
    std::copy(data, data + length, c->pcm + c->pcmBytes);
    c->pcmBytes += static_cast<uint32_t>(length);
    return 0;
}

int DecodeMp3WithDirectShow(SoundConverter* converter) {
    SoundConverter* c = converter;
    c->pcm = nullptr;
    c->pcmBytes = c->pcmCapacity = c->pcmPosition = 0;
    Mp3Graph g;

    int64_t size = StreamSize(c->reader);
    if (size <= 0 || size > UINT32_MAX / 20) return -1;
    g.image = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (g.image == nullptr) return -1;
    if (ReadStream(c->reader, g.image, static_cast<uint32_t>(size)) !=
        static_cast<uint32_t>(size)) {
        return -1;
    }

    g.stream = new (std::nothrow) D_CMemStream(g.image, size);
    if (g.stream == nullptr) return Fail(c, "MP3変換用 D_CMemStream の作成に失敗しました");
    AM_MEDIA_TYPE streamType{};
    streamType.majortype = MEDIATYPE_Stream;
    streamType.subtype = MEDIASUBTYPE_MPEG1Audio;
    HRESULT result = S_OK;
    g.reader = D_CMemReader::Create(g.stream, &streamType, &result);
    if (g.reader == nullptr || FAILED(result)) {
        return Fail(c, "MP3変換用 D_CMemReader の作成に失敗しました");
    }
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&g.nullRenderer)))) {
        return Fail(c, "MP3変換用 NullRender の作成に失敗しました");
    }
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&g.graph)))) {
        return Fail(c, "MP3変換用 IGraphBuilder の作成に失敗しました");
    }
    g.grabber = D_CSampleGrabber::Create(nullptr, &result);
    if (g.grabber == nullptr || FAILED(result)) {
        return Fail(c, "MP3変換用 D_CSampleGrabber の作成に失敗しました");
    }
    AM_MEDIA_TYPE pcmType{};
    pcmType.majortype = MEDIATYPE_Audio;
    pcmType.subtype = MEDIASUBTYPE_PCM;
    if (FAILED(g.grabber->SetAcceptedMediaType(&pcmType))) {
        return Fail(c, "サンプルグラバフィルタのメディアタイプの設定に失敗しました");
    }
    if (FAILED(g.graph->AddFilter(g.grabber, u"SampleGrabber"))) {
        return Fail(c, "サンプルグラバフィルタのグラフへの追加に失敗しました");
    }
    if (FAILED(g.graph->AddFilter(g.reader, u"MemFile"))) {
        return Fail(c, "メモリファイルフィルタのグラフへの追加に失敗しました");
    }
    IPin* readerOutput = FindFilterPin(g.reader, PINDIR_OUTPUT);
    result = readerOutput != nullptr ? g.graph->Render(readerOutput) : E_FAIL;
    if (readerOutput != nullptr) readerOutput->Release();
    if (FAILED(result)) return Fail(c, "グラフの構築に失敗しました");
    if (FAILED(g.graph->AddFilter(g.nullRenderer, u"File Renderer"))) {
        return Fail(c, "ヌルレンダラーフィルタのグラフへの追加に失敗しました");
    }
    if (!SwapRenderer(g.graph, g.nullRenderer)) {
        return Fail(c, "既存レンダラーをNullレンダラーと交換する処理が失敗しました");
    }

    AM_MEDIA_TYPE connected{};
    if (FAILED(g.grabber->GetConnectedMediaType(&connected))) {
        return Fail(c, "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
    }
    bool waveFormat = connected.formattype == FORMAT_WaveFormatEx &&
                      connected.cbFormat >= sizeof(WAVEFORMATEX) - sizeof(WORD);
    WAVEFORMATEX format{};
    if (waveFormat) {
        std::copy(connected.pbFormat,
                  connected.pbFormat + std::min<ULONG>(connected.cbFormat, sizeof format),
                  reinterpret_cast<BYTE*>(&format));
    }
    FreeMediaType(connected);
    if (!waveFormat) return Fail(c, "サポート外のストリームフォーマットです。");
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nBlockAlign == 0) {
        return Fail(c, "サポート外のオーディオフォーマットです。");
    }
    c->outputFormat = {WAVE_FORMAT_PCM,
                       format.nChannels,
                       format.nSamplesPerSec,
                       format.nBlockAlign * format.nSamplesPerSec,
                       format.nBlockAlign,
                       static_cast<WORD>(format.nBlockAlign * 8 / format.nChannels),
                       0};

    if (FAILED(g.grabber->SetCallback(
            [](IMediaSample* sample, void* context) -> HRESULT {
                return Mp3GrabberCallback(sample, context);
            },
            c))) {
        return Fail(c, "コールバック関数を設定できません");
    }
    c->pcmCapacity = static_cast<uint32_t>(size * 10);
    c->pcm = static_cast<uint8_t*>(AllocMemory(c->pcmCapacity, __FILE__, __LINE__));
    if (c->pcm == nullptr) return Fail(c, "PCMデータを格納するメモリ領域の確保に失敗しました");
    c->pcmBytes = 0;
    if (FAILED(
            g.graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&g.mediaFilter)))) {
        return Fail(c, "IMediaFilter の取得に失敗しました");
    }
    g.mediaFilter->SetSyncSource(nullptr);
    if (FAILED(g.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g.control)))) {
        return Fail(c, "IMediaControl の取得に失敗しました");
    }
    if (FAILED(g.graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&g.event)))) {
        return Fail(c, "IMediaEvent の取得に失敗しました");
    }
    g.control->Run();
    const char* failure = nullptr;
    for (;;) {
        if (PumpMessagesUnlocked() != 0) {
            failure = "MP3変換の途中でソフトが終了しました";
            break;
        }
        long code = 0;
        if (g.event->WaitForCompletion(kCompletionWaitMs, &code) != S_OK) continue;
        if (code == EC_COMPLETE) break;
        if (code == EC_ERRORABORT) {
            failure = "MP3変換の途中でエラーが発生しました";
            break;
        }
    }
    // The streaming thread has finished with the PCM once the graph stops.
    g.control->Stop();
    if (failure != nullptr) return Fail(c, failure);
    if (c->pcm == nullptr) {
        return Fail(c, "PCMデータを格納するメモリ領域の再確保に失敗しました");
    }
    c->kind = kSoundDecodeMemory;
    c->blockBytes = c->outputFormat.nAvgBytesPerSec;
    return 0;
}

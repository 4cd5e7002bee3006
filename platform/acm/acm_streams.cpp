// The audio compression manager's calls: format suggestion, conversion streams over the
// decoders of acm_codecs.h, stream headers, sizes and the one metric asked for.
#include <cstring>
#include <mutex>
#include <set>

#include "../base/test_overrides.h"
#include "acm_codecs.h"
#include "platform/msacm.h"

struct AcmStream {
    std::unique_ptr<AcmDecoder> decoder;
};

struct AcmState {
    std::mutex mutex;
    std::set<AcmStream*> streams;
};

static AcmState gAcm;

// The largest format a decoder takes: Microsoft ADPCM with its seven coefficient pairs.
constexpr DWORD kLargestFormatBytes = sizeof(WAVEFORMATEX) + 4 + 7 * 4;

bool IsDecodableFormat(const WAVEFORMATEX* source) {
    return IsAdpcmFormat(source) || IsCompandedFormat(source) || IsMpegLayer3Format(source);
}

std::unique_ptr<AcmDecoder> MakeAcmDecoder(const WAVEFORMATEX* source) {
    if (IsAdpcmFormat(source)) return MakeAdpcmDecoder(source);
    if (IsCompandedFormat(source)) return MakeCompandedDecoder(source);
    if (IsMpegLayer3Format(source)) return MakeMpegLayer3Decoder(source);
    return nullptr;
}

// What every decodable source converts to.
static WAVEFORMATEX PcmFormatFor(const WAVEFORMATEX* source) {
    WORD blockAlign = static_cast<WORD>(source->nChannels * 2);
    return {WAVE_FORMAT_PCM,
            source->nChannels,
            source->nSamplesPerSec,
            source->nSamplesPerSec * blockAlign,
            blockAlign,
            16,
            0};
}

static AcmStream* FindStream(HACMSTREAM handle) {
    auto* stream = reinterpret_cast<AcmStream*>(handle);
    std::lock_guard guard(gAcm.mutex);
    return gAcm.streams.count(stream) != 0 ? stream : nullptr;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                          DWORD destinationBytes, DWORD flags) {
    if (source == nullptr || destination == nullptr) return MMSYSERR_INVALPARAM;
    if (flags != ACM_FORMATSUGGESTF_WFORMATTAG) return MMSYSERR_INVALFLAG;
    if (destinationBytes < sizeof(WAVEFORMATEX) - sizeof(WORD)) return MMSYSERR_INVALPARAM;
    if (destination->wFormatTag != WAVE_FORMAT_PCM || !IsDecodableFormat(source)) {
        return ACMERR_NOTPOSSIBLE;
    }
    WAVEFORMATEX suggested = PcmFormatFor(source);
    std::memcpy(destination, &suggested, std::min<DWORD>(destinationBytes, sizeof suggested));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(LPHACMSTREAM stream, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags) {
    if (stream == nullptr || source == nullptr || destination == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *stream = nullptr;
    if ((flags & ~ACM_STREAMOPENF_NONREALTIME) != 0) return MMSYSERR_INVALFLAG;
    if (InjectedFailure("acmStreamOpen")) return MMSYSERR_NOMEM;
    WAVEFORMATEX expected = PcmFormatFor(source);
    if (!IsDecodableFormat(source) || destination->wFormatTag != WAVE_FORMAT_PCM ||
        std::memcmp(destination, &expected, sizeof expected - sizeof(WORD)) != 0) {
        return ACMERR_NOTPOSSIBLE;
    }
    std::unique_ptr<AcmDecoder> decoder = MakeAcmDecoder(source);
    if (decoder == nullptr) return MMSYSERR_NOMEM;
    auto* opened = new AcmStream{std::move(decoder)};
    std::lock_guard guard(gAcm.mutex);
    gAcm.streams.insert(opened);
    *stream = reinterpret_cast<HACMSTREAM>(opened);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags) {
    AcmStream* found = FindStream(stream);
    if (found == nullptr) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard guard(gAcm.mutex);
        gAcm.streams.erase(found);
    }
    delete found;
    return MMSYSERR_NOERROR;
}

MMRESULT acmMetrics(HACMOBJ object, UINT metric, LPVOID value) {
    if (value == nullptr) return MMSYSERR_INVALPARAM;
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT || object != nullptr) return MMSYSERR_NOTSUPPORTED;
    *static_cast<DWORD*>(value) = kLargestFormatBytes;
    return MMSYSERR_NOERROR;
}

static bool IsUsableHeader(const ACMSTREAMHEADER* header) {
    return header != nullptr && header->cbStruct >= sizeof(ACMSTREAMHEADER) &&
           header->pbSrc != nullptr && header->pbDst != nullptr;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (FindStream(stream) == nullptr) return MMSYSERR_INVALHANDLE;
    if (!IsUsableHeader(header) || flags != 0) return MMSYSERR_INVALPARAM;
    if (InjectedFailure("acmStreamPrepareHeader")) return MMSYSERR_NOMEM;
    header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    AcmStream* found = FindStream(stream);
    if (found == nullptr) return MMSYSERR_INVALHANDLE;
    if (!IsUsableHeader(header)) return MMSYSERR_INVALPARAM;
    if ((flags & ~ACM_STREAMCONVERTF_BLOCKALIGN) != 0) return MMSYSERR_INVALFLAG;
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
    if (InjectedFailure("acmStreamConvert")) return MMSYSERR_NOMEM;
    uint32_t used = 0, produced = 0;
    found->decoder->Convert(header->pbSrc, header->cbSrcLength, header->pbDst, header->cbDstLength,
                            &used, &produced);
    header->cbSrcLengthUsed = used;
    header->cbDstLengthUsed = produced;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (FindStream(stream) == nullptr) return MMSYSERR_INVALHANDLE;
    if (!IsUsableHeader(header) || flags != 0) return MMSYSERR_INVALPARAM;
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, DWORD sourceBytes, LPDWORD outputBytes, DWORD flags) {
    AcmStream* found = FindStream(stream);
    if (found == nullptr) return MMSYSERR_INVALHANDLE;
    if (outputBytes == nullptr) return MMSYSERR_INVALPARAM;
    if (flags != ACM_STREAMSIZEF_SOURCE) return MMSYSERR_NOTSUPPORTED;
    *outputBytes = found->decoder->OutputBound(sourceBytes);
    return MMSYSERR_NOERROR;
}

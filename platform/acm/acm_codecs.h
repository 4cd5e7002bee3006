// The decoders behind the audio compression manager's streams: each turns whole blocks of its
// source format (whole frames for MPEG) into 16-bit PCM of the same channels and rate.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/mmsystem.h"

class AcmDecoder {
public:
    virtual ~AcmDecoder() = default;
    // Decodes as many whole source blocks as the destination holds. `used` is what was
    // consumed of the source, `produced` what was written.
    virtual void Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                         uint32_t destinationBytes, uint32_t* used, uint32_t* produced) = 0;
    // The most that converting `sourceBytes` can produce.
    virtual uint32_t OutputBound(uint32_t sourceBytes) const = 0;
};

// True when a decoder takes `source` (the format with its cbSize extra bytes).
bool IsDecodableFormat(const WAVEFORMATEX* source);
// Null when the format is not decodable or the decoder cannot be made.
std::unique_ptr<AcmDecoder> MakeAcmDecoder(const WAVEFORMATEX* source);

// The makers of each family; each checks its own format fields.
bool IsAdpcmFormat(const WAVEFORMATEX* source);
std::unique_ptr<AcmDecoder> MakeAdpcmDecoder(const WAVEFORMATEX* source);
bool IsCompandedFormat(const WAVEFORMATEX* source);
std::unique_ptr<AcmDecoder> MakeCompandedDecoder(const WAVEFORMATEX* source);
bool IsMpegLayer3Format(const WAVEFORMATEX* source);
std::unique_ptr<AcmDecoder> MakeMpegLayer3Decoder(const WAVEFORMATEX* source);

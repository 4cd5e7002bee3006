// The run-length walk: per row, transparent runs are stepped over and opaque and translucent
// runs are drawn, the translucent ones weighted by each pixel's alpha; no pixel is tested.
#include "softrender/blit_run_length.h"

#include <algorithm>

namespace {

template <class C>
void RunStreamLoop(const BlitJob& j, const uint8_t* cursor, const uint8_t* end) {
    constexpr SrcKind K = C::kind;
    const BlendContext& c = j.setup.ctx;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        const uint8_t* mp = C::mask ? j.mask + y * j.maskPitch : nullptr;
        int left = j.width;
        for (;;) {
            if (cursor == end) return;
            const uint8_t control = *cursor++;
            if (control >= kRunEndOfRow) break;
            const int n = std::min((control & 63) + 1, left);
            left -= n;
            if (control >= kRunOpaque) {
                // Sources without alpha draw translucent runs as opaque ones.
                const PixelClass cls = HasAlpha(K) && control >= kRunTranslucent
                                           ? PixelClass::Weighted
                                           : PixelClass::Opaque;
                for (int i = 0; i < n; ++i) {
                    const Sample s = Fetch<K>(sp + i * SrcBytes(K), c);
                    uint32_t m = 0;
                    if constexpr (C::mask) m = c.weights[mp[i]];
                    uint8_t* p = dp + i * DstBytes(K);
                    StoreDst<K>(p, BlendPixel<C>(LoadDst<K>(p), s, m, cls, c));
                }
            }
            sp += n * SrcBytes(K);
            dp += n * DstBytes(K);
            if constexpr (C::mask) mp += n;
        }
    }
}

}  // namespace

void RunRunLengthJob(const BlitJob& j, const uint8_t* stream, const uint8_t* streamEnd) {
    WithCombo<BlitPath::RunLength>(
        j.setup, [&](auto combo) { RunStreamLoop<decltype(combo)>(j, stream, streamEnd); });
}

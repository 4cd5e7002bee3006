#include "mp3_writer.h"

#include <lame.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRate = 44100;
constexpr int kKilobitsPerSecond = 160;
// The encoder's speed against quality, 0 (best) .. 9; 5 is its own default.
constexpr int kQuality = 5;

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

}  // namespace

bool WriteMp3(const std::string& path, const std::vector<float>& left,
              const std::vector<float>& right, const Mp3Tags& tags) {
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) return false;
    lame_set_in_samplerate(lame.get(), kRate);
    lame_set_out_samplerate(lame.get(), kRate);
    lame_set_num_channels(lame.get(), 2);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_brate(lame.get(), kKilobitsPerSecond);
    lame_set_quality(lame.get(), kQuality);
    lame_set_bWriteVbrTag(lame.get(), 0);
    id3tag_init(lame.get());
    id3tag_v2_only(lame.get());
    id3tag_set_title(lame.get(), tags.title.c_str());
    id3tag_set_artist(lame.get(), tags.artist.c_str());
    id3tag_set_album(lame.get(), tags.album.c_str());
    if (lame_init_params(lame.get()) < 0) return false;

    const int samples = static_cast<int>(left.size());
    std::vector<unsigned char> out(static_cast<size_t>(samples) * 5 / 4 + 7200 + 65536);
    int bytes = lame_encode_buffer_ieee_float(lame.get(), left.data(), right.data(), samples,
                                              out.data(), static_cast<int>(out.size()));
    if (bytes < 0) return false;
    int tail =
        lame_encode_flush(lame.get(), out.data() + bytes, static_cast<int>(out.size()) - bytes);
    if (tail < 0) return false;
    bytes += tail;

    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(out.data(), 1, static_cast<size_t>(bytes), file) ==
                                     static_cast<size_t>(bytes);
    if (file != nullptr && std::fclose(file) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

#include "movies/movie_writers.h"

#include <ogg/ogg.h>
#include <theora/theoradec.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

struct TimedPage {
    double time;
    Bytes bytes;
};

void AppendPage(std::vector<TimedPage>* pages, const ogg_page& page, double time) {
    Bytes bytes(page.header, page.header + page.header_len);
    bytes.insert(bytes.end(), page.body, page.body + page.body_len);
    pages->push_back({time, std::move(bytes)});
}

void AppendBytes(Bytes* out, const Bytes& bytes) {
    out->insert(out->end(), bytes.begin(), bytes.end());
}

// Pages without a granule position take the time of the page before them.
double PageTime(double granuleTime, double previous) {
    return granuleTime < 0 ? previous : granuleTime;
}

uint8_t Clamp(double value) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
}

}  // namespace

Bytes WriteTheoraMovie(const TheoraMovieSettings& settings) {
    th_info info;
    th_info_init(&info);
    info.pic_width = settings.width;
    info.pic_height = settings.height;
    info.pic_x = 2;
    info.pic_y = 2;
    info.frame_width = (settings.width + 4 + 15) & ~15;
    info.frame_height = (settings.height + 4 + 15) & ~15;
    info.fps_numerator = settings.fpsNumerator;
    info.fps_denominator = settings.fpsDenominator;
    info.aspect_numerator = 1;
    info.aspect_denominator = 1;
    info.colorspace = TH_CS_UNSPECIFIED;
    info.pixel_fmt = TH_PF_420;
    info.quality = 48;
    th_enc_ctx* encoder = th_encode_alloc(&info);
    ogg_uint32_t keyInterval = settings.keyInterval;
    th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keyInterval,
                  sizeof keyInterval);

    ogg_stream_state video, audio;
    ogg_stream_init(&video, 0x1234);
    ogg_stream_init(&audio, 0x5678);
    Bytes out;
    std::vector<Bytes> laterHeaders;
    ogg_page page;
    ogg_packet packet;
    th_comment comment;
    th_comment_init(&comment);
    bool first = true;
    while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
        ogg_stream_packetin(&video, &packet);
        if (first) {
            ogg_stream_flush(&video, &page);
            std::vector<TimedPage> bos;
            AppendPage(&bos, page, 0);
            AppendBytes(&out, bos[0].bytes);
            first = false;
        }
    }
    std::vector<TimedPage> headerPages;
    while (ogg_stream_flush(&video, &page) != 0) AppendPage(&headerPages, page, 0);

    vorbis_info vorbisInfo;
    vorbis_comment vorbisComment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    if (settings.withSound) {
        vorbis_info_init(&vorbisInfo);
        vorbis_encode_init_vbr(&vorbisInfo, 1, 44100, 0.3f);
        vorbis_comment_init(&vorbisComment);
        vorbis_analysis_init(&dsp, &vorbisInfo);
        vorbis_block_init(&dsp, &block);
        ogg_packet id, commentPacket, codebooks;
        vorbis_analysis_headerout(&dsp, &vorbisComment, &id, &commentPacket, &codebooks);
        ogg_stream_packetin(&audio, &id);
        ogg_stream_flush(&audio, &page);
        std::vector<TimedPage> bos;
        AppendPage(&bos, page, 0);
        AppendBytes(&out, bos[0].bytes);
        ogg_stream_packetin(&audio, &commentPacket);
        ogg_stream_packetin(&audio, &codebooks);
        while (ogg_stream_flush(&audio, &page) != 0) AppendPage(&headerPages, page, 0);
    }
    for (const TimedPage& p : headerPages) AppendBytes(&out, p.bytes);

    std::vector<TimedPage> pages;
    int frameWidth = static_cast<int>(info.frame_width);
    int frameHeight = static_cast<int>(info.frame_height);
    Bytes y(frameWidth * frameHeight), u(frameWidth * frameHeight / 4), v(u.size());
    double lastVideoTime = 0;
    for (int f = 0; f < settings.frames; ++f) {
        int bar = (f * 5) % std::max(frameWidth - 8, 1);
        for (int row = 0; row < frameHeight; ++row) {
            for (int col = 0; col < frameWidth; ++col) {
                y[row * frameWidth + col] =
                    col >= bar && col < bar + 8 ? 210 : static_cast<uint8_t>(50 + (col + row) % 40);
            }
        }
        for (int i = 0; i < static_cast<int>(u.size()); ++i) {
            u[i] = static_cast<uint8_t>(128 + (f * 9) % 64 - 32);
            v[i] = static_cast<uint8_t>(128 - (f * 5) % 48 + 24);
        }
        th_ycbcr_buffer buffer;
        buffer[0] = {frameWidth, frameHeight, frameWidth, y.data()};
        buffer[1] = {frameWidth / 2, frameHeight / 2, frameWidth / 2, u.data()};
        buffer[2] = {frameWidth / 2, frameHeight / 2, frameWidth / 2, v.data()};
        th_encode_ycbcr_in(encoder, buffer);
        while (th_encode_packetout(encoder, f == settings.frames - 1, &packet) > 0) {
            ogg_stream_packetin(&video, &packet);
        }
        while (ogg_stream_pageout(&video, &page) != 0) {
            AppendPage(&pages, page, lastVideoTime);
            lastVideoTime =
                PageTime(th_granule_time(encoder, ogg_page_granulepos(&page)), lastVideoTime);
        }
    }
    while (ogg_stream_flush(&video, &page) != 0) {
        AppendPage(&pages, page, lastVideoTime);
        lastVideoTime =
            PageTime(th_granule_time(encoder, ogg_page_granulepos(&page)), lastVideoTime);
    }

    if (settings.withSound) {
        int total = static_cast<int>(settings.soundSeconds * 44100);
        double lastAudioTime = 0;
        auto drain = [&] {
            while (vorbis_analysis_blockout(&dsp, &block) == 1) {
                vorbis_analysis(&block, nullptr);
                vorbis_bitrate_addblock(&block);
                while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                    ogg_stream_packetin(&audio, &packet);
                }
            }
            // Small pages placed by the time they start, as a muxer interleaves them.
            while (ogg_stream_flush(&audio, &page) != 0) {
                ogg_int64_t granule = ogg_page_granulepos(&page);
                AppendPage(&pages, page, lastAudioTime);
                lastAudioTime = PageTime(granule < 0 ? -1.0 : granule / 44100.0, lastAudioTime);
            }
        };
        for (int done = 0; done < total;) {
            int n = std::min(1024, total - done);
            float** buffer = vorbis_analysis_buffer(&dsp, n);
            for (int i = 0; i < n; ++i) {
                buffer[0][i] =
                    static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * (done + i) / 44100.0));
            }
            vorbis_analysis_wrote(&dsp, n);
            done += n;
            drain();
        }
        vorbis_analysis_wrote(&dsp, 0);
        drain();
        vorbis_block_clear(&block);
        vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&vorbisComment);
        vorbis_info_clear(&vorbisInfo);
    }
    std::stable_sort(pages.begin(), pages.end(),
                     [](const TimedPage& a, const TimedPage& b) { return a.time < b.time; });
    for (const TimedPage& p : pages) AppendBytes(&out, p.bytes);

    ogg_stream_clear(&video);
    ogg_stream_clear(&audio);
    th_comment_clear(&comment);
    th_encode_free(encoder);
    th_info_clear(&info);
    return out;
}

namespace {

// Hands every picture of the file's Theora stream, in order, to visit(picture, info).
template <class Visit>
void DecodePictures(const Bytes& file, Visit visit) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
    std::copy(file.begin(), file.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(file.size()));
    th_info info;
    th_comment comment;
    th_setup_info* setup = nullptr;
    th_info_init(&info);
    th_comment_init(&comment);
    ogg_stream_state stream;
    bool haveStream = false;
    th_dec_ctx* decoder = nullptr;
    ogg_page page;
    ogg_packet packet;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (ogg_page_bos(&page) != 0) {
            if (haveStream) continue;
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            ogg_stream_pagein(&stream, &page);
            if (ogg_stream_packetout(&stream, &packet) == 1 &&
                th_decode_headerin(&info, &comment, &setup, &packet) > 0) {
                haveStream = true;
            } else {
                ogg_stream_clear(&stream);
            }
            continue;
        }
        if (!haveStream || ogg_stream_pagein(&stream, &page) != 0) continue;
        while (ogg_stream_packetout(&stream, &packet) == 1) {
            if (decoder == nullptr) {
                if (th_decode_headerin(&info, &comment, &setup, &packet) > 0) continue;
                decoder = th_decode_alloc(&info, setup);
            }
            if (th_packet_isheader(&packet) != 0) continue;
            th_decode_packetin(decoder, &packet, nullptr);
            th_ycbcr_buffer picture;
            th_decode_ycbcr_out(decoder, picture);
            visit(picture, info);
        }
    }
    if (decoder != nullptr) th_decode_free(decoder);
    th_setup_free(setup);
    if (haveStream) ogg_stream_clear(&stream);
    th_comment_clear(&comment);
    th_info_clear(&info);
    ogg_sync_clear(&sync);
}

}  // namespace

std::vector<std::vector<uint32_t>> DecodeTheoraReference(const Bytes& file, int* width,
                                                         int* height) {
    std::vector<std::vector<uint32_t>> frames;
    *width = *height = 0;
    DecodePictures(file, [&](th_ycbcr_buffer picture, const th_info& info) {
        *width = static_cast<int>(info.pic_width);
        *height = static_cast<int>(info.pic_height);
        std::vector<uint32_t> pixels(info.pic_width * info.pic_height);
        for (uint32_t row = 0; row < info.pic_height; ++row) {
            int yRow = static_cast<int>(row + info.pic_y);
            for (uint32_t col = 0; col < info.pic_width; ++col) {
                int yCol = static_cast<int>(col + info.pic_x);
                int lum = picture[0].data[yRow * picture[0].stride + yCol];
                int cb = picture[1].data[(yRow / 2) * picture[1].stride + yCol / 2];
                int cr = picture[2].data[(yRow / 2) * picture[2].stride + yCol / 2];
                double yy = 1.164 * (lum - 16);
                uint32_t red = Clamp(yy + 1.596 * (cr - 128));
                uint32_t green = Clamp(yy - 0.391 * (cb - 128) - 0.813 * (cr - 128));
                uint32_t blue = Clamp(yy + 2.018 * (cb - 128));
                pixels[row * info.pic_width + col] = 0xFF000000u | red << 16 | green << 8 | blue;
            }
        }
        frames.push_back(std::move(pixels));
    });
    return frames;
}

TheoraPlanes FirstTheoraPicture(const Bytes& file) {
    TheoraPlanes first{};
    DecodePictures(file, [&](th_ycbcr_buffer picture, const th_info&) {
        if (!first.y.empty()) return;
        first.yWidth = picture[0].width;
        first.yHeight = picture[0].height;
        first.uvWidth = picture[1].width;
        first.uvHeight = picture[1].height;
        Bytes* planes[3] = {&first.y, &first.u, &first.v};
        for (int i = 0; i < 3; ++i) {
            for (int row = 0; row < picture[i].height; ++row) {
                const unsigned char* from = picture[i].data + row * picture[i].stride;
                planes[i]->insert(planes[i]->end(), from, from + picture[i].width);
            }
        }
    });
    return first;
}

int CountTheoraPictures(const Bytes& file) {
    int count = 0;
    DecodePictures(file, [&](th_ycbcr_buffer, const th_info&) { ++count; });
    return count;
}

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

int GraphMovieLuma(int frame) {
    return 40 + 4 * (frame % 50);
}

int GraphMovieGrey(int frame) {
    return std::min(static_cast<int>(std::lround((GraphMovieLuma(frame) - 16) * 255 / 219.0)), 255);
}

namespace {

constexpr int kToneRate = 44100;

struct GraphFormat {
    const char* muxer;
    AVCodecID picture;
    AVCodecID sound;
};

GraphFormat FormatOf(GraphMovieKind kind) {
    switch (kind) {
        case GraphMovieKind::Mpeg4Avi:
            return {"avi", AV_CODEC_ID_MPEG4, AV_CODEC_ID_MP2};
        case GraphMovieKind::H264Mp4:
            return {"mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC};
        case GraphMovieKind::Vp8Webm:
            return {"webm", AV_CODEC_ID_VP8, AV_CODEC_ID_VORBIS};
        case GraphMovieKind::RawMpeg1:
            break;
    }
    return {nullptr, AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_NONE};
}

// An encoder and, in a container, its stream.
struct Track {
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
};

AVCodecContext* OpenPictureEncoder(AVCodecID id, const GraphMovieSettings& settings,
                                   bool globalHeader) {
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) return nullptr;
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = settings.width;
    encoder->height = settings.height;
    encoder->time_base = {1, settings.fps};
    encoder->framerate = {settings.fps, 1};
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->gop_size = 10;
    if (globalHeader) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (id == AV_CODEC_ID_H264) {
        av_opt_set(encoder->priv_data, "preset", "ultrafast", 0);
        av_opt_set(encoder->priv_data, "crf", "5", 0);
    } else if (id == AV_CODEC_ID_VP8) {
        encoder->bit_rate = 2'000'000;
        encoder->qmin = 0;
        encoder->qmax = 8;
    } else {
        encoder->qmin = encoder->qmax = 2;
    }
    if (avcodec_open2(encoder, codec, nullptr) != 0) avcodec_free_context(&encoder);
    return encoder;
}

AVCodecContext* OpenSoundEncoder(AVCodecID id, bool globalHeader) {
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr || codec->sample_fmts == nullptr) return nullptr;
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->sample_rate = kToneRate;
    encoder->time_base = {1, kToneRate};
    encoder->sample_fmt = codec->sample_fmts[0];
    encoder->bit_rate = 192000;
    av_channel_layout_default(&encoder->ch_layout, 1);
    if (globalHeader) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder, codec, nullptr) != 0) avcodec_free_context(&encoder);
    return encoder;
}

// The tone's samples from `first`, in the encoder's sample format (mono).
bool FillTone(AVFrame* frame, int64_t first) {
    for (int i = 0; i < frame->nb_samples; ++i) {
        double value = kGraphMovieToneAmplitude *
                       std::sin(2 * M_PI * kGraphMovieToneHz * (first + i) / kToneRate);
        switch (frame->format) {
            case AV_SAMPLE_FMT_FLT:
            case AV_SAMPLE_FMT_FLTP:
                reinterpret_cast<float*>(frame->data[0])[i] = static_cast<float>(value);
                break;
            case AV_SAMPLE_FMT_S16:
            case AV_SAMPLE_FMT_S16P:
                reinterpret_cast<int16_t*>(frame->data[0])[i] =
                    static_cast<int16_t>(std::lrint(value * 32767));
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

bool WriteGraphMovie(const std::string& path, const GraphMovieSettings& settings) {
    GraphFormat format = FormatOf(settings.kind);
    bool raw = format.muxer == nullptr;
    AVFormatContext* output = nullptr;
    std::ofstream rawFile;
    if (raw) {
        rawFile.open(path, std::ios::binary | std::ios::trunc);
        if (!rawFile) return false;
    } else if (avformat_alloc_output_context2(&output, nullptr, format.muxer, path.c_str()) < 0) {
        return false;
    }
    bool globalHeader = !raw && (output->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    Track picture, sound;
    picture.encoder = OpenPictureEncoder(format.picture, settings, globalHeader);
    bool withSound = !raw && settings.soundSeconds > 0;
    if (withSound) sound.encoder = OpenSoundEncoder(format.sound, globalHeader);
    bool ok = picture.encoder != nullptr && (!withSound || sound.encoder != nullptr);
    if (ok && !raw) {
        for (Track* track : {&picture, &sound}) {
            if (track->encoder == nullptr) continue;
            track->stream = avformat_new_stream(output, nullptr);
            ok =
                ok && avcodec_parameters_from_context(track->stream->codecpar, track->encoder) >= 0;
            track->stream->time_base = track->encoder->time_base;
        }
        ok = ok && avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
             avformat_write_header(output, nullptr) >= 0;
    }
    AVPacket* packet = av_packet_alloc();
    auto drain = [&](Track& track) {
        while (avcodec_receive_packet(track.encoder, packet) == 0) {
            if (raw) {
                rawFile.write(reinterpret_cast<const char*>(packet->data), packet->size);
                av_packet_unref(packet);
                continue;
            }
            // Without its duration MP4's edit list would end where the last picture starts.
            if (packet->duration == 0 && &track == &picture) packet->duration = 1;
            av_packet_rescale_ts(packet, track.encoder->time_base, track.stream->time_base);
            packet->stream_index = track.stream->index;
            av_interleaved_write_frame(output, packet);
        }
    };
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = settings.width;
    frame->height = settings.height;
    ok = ok && av_frame_get_buffer(frame, 0) == 0;
    AVFrame* tone = av_frame_alloc();
    int64_t toneTotal = withSound ? std::llround(settings.soundSeconds * kToneRate) : 0;
    int64_t toneDone = 0;
    int64_t toneStart = std::llround(settings.soundStart * kToneRate);
    // Sound up to `until` samples, in the encoder's frame size.
    auto writeTone = [&](int64_t until) {
        while (ok && toneDone < std::min(until, toneTotal)) {
            int size = sound.encoder->frame_size > 0 ? sound.encoder->frame_size : 1024;
            av_frame_unref(tone);
            tone->format = sound.encoder->sample_fmt;
            tone->sample_rate = kToneRate;
            tone->nb_samples = static_cast<int>(std::min<int64_t>(size, toneTotal - toneDone));
            av_channel_layout_default(&tone->ch_layout, 1);
            ok = av_frame_get_buffer(tone, 0) == 0 && FillTone(tone, toneDone);
            tone->pts = toneStart + toneDone;
            ok = ok && avcodec_send_frame(sound.encoder, tone) == 0;
            toneDone += tone->nb_samples;
            drain(sound);
        }
    };
    for (int f = 0; ok && f < settings.frames; ++f) {
        ok = av_frame_make_writable(frame) == 0;
        for (int y = 0; y < settings.height; ++y) {
            std::fill_n(frame->data[0] + y * frame->linesize[0], settings.width, GraphMovieLuma(f));
        }
        for (int plane = 1; plane < 3; ++plane) {
            for (int y = 0; y < settings.height / 2; ++y) {
                std::fill_n(frame->data[plane] + y * frame->linesize[plane], settings.width / 2,
                            128);
            }
        }
        frame->pts = f;
        ok = ok && avcodec_send_frame(picture.encoder, frame) == 0;
        drain(picture);
        if (withSound) writeTone(int64_t{f + 1} * kToneRate / settings.fps - toneStart);
    }
    if (withSound) {
        writeTone(toneTotal);
        avcodec_send_frame(sound.encoder, nullptr);
        drain(sound);
    }
    if (picture.encoder != nullptr) {
        avcodec_send_frame(picture.encoder, nullptr);
        drain(picture);
    }
    if (raw) {
        rawFile.close();
        ok = ok && !rawFile.fail();
    } else {
        if (ok) ok = av_write_trailer(output) == 0;
        if (output->pb != nullptr) avio_closep(&output->pb);
        avformat_free_context(output);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    av_frame_free(&tone);
    avcodec_free_context(&picture.encoder);
    avcodec_free_context(&sound.encoder);
    return ok;
}

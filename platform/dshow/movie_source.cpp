#include "movie_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/dsound.h"

namespace {

constexpr AVRational kHundredNanoseconds = {1, 10000000};
// Packets of the sound track read ahead of the pictures; the pictures' packets read meanwhile
// wait, up to a bound.
constexpr size_t kSoundPacketsAhead = 32;
constexpr size_t kPicturePacketsAhead = 512;

// A packet of the sound track, or the end of the file (null), read after the seek `generation`.
struct QueuedPacket {
    AVPacket* packet;
    uint64_t generation;
};

void FreePackets(std::deque<QueuedPacket>* packets) {
    for (QueuedPacket& queued : *packets) av_packet_free(&queued.packet);
    packets->clear();
}

// What a scaler was made for: the decoded pictures may change size, format or range within a
// stream.
struct ScalerSource {
    int width = 0;
    int height = 0;
    int format = AV_PIX_FMT_NONE;
    bool fullRange = false;
    bool operator==(const ScalerSource&) const = default;
};

// FFmpeg marks a picture of full range; one unmarked is of video range (luma 16 to 235, chroma
// 16 to 240), except in the JPEG family's formats, which libswscale takes as full range itself.
ScalerSource SourceOf(const AVFrame& frame) {
    return {frame.width, frame.height, frame.format, frame.color_range == AVCOL_RANGE_JPEG};
}

// A scaler from the pictures of `source` to `width` x `height` of `target`. The renderer's YUV
// conversion takes luma and chroma of full range, so a YUV target is made of full range
// whatever the source's.
SwsContext* MakeScaler(const ScalerSource& source, int width, int height, AVPixelFormat target) {
    SwsContext* scaler = sws_alloc_context();
    if (scaler == nullptr) return nullptr;
    const bool yuvTarget = target == AV_PIX_FMT_YUV420P;
    const std::pair<const char*, int64_t> options[] = {
        {"srcw", source.width},
        {"srch", source.height},
        {"src_format", source.format},
        {"src_range", source.fullRange ? 1 : 0},
        {"dstw", width},
        {"dsth", height},
        {"dst_format", target},
        {"dst_range", yuvTarget ? 1 : 0},
        {"sws_flags", SWS_BILINEAR | SWS_ACCURATE_RND},
    };
    for (const auto& [name, value] : options) {
        if (av_opt_set_int(scaler, name, value, 0) < 0) {
            sws_freeContext(scaler);
            return nullptr;
        }
    }
    if (sws_init_context(scaler, nullptr, nullptr) < 0) {
        sws_freeContext(scaler);
        return nullptr;
    }
    return scaler;
}

}  // namespace

struct MovieSourceState {
    std::function<LONGLONG()> streamTime;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;  // made again when the pictures change
    ScalerSource scalerSource;
    AVPixelFormat target = AV_PIX_FMT_NONE;  // of the connected frame type
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    int width = 0;
    int height = 0;
    REFERENCE_TIME frameTime = 0;
    LONGLONG startTime = 0;  // of the stream, in its time base
    GUID subtype{};
    std::vector<BYTE> buffer;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex seekMutex;
    bool seekRequested = false;
    LONGLONG seekTarget = 0;
    bool draining = false;  // the file is read to its end; the decoder gives out what it holds
    // Read by the picture thread only: the pictures' packets read ahead, the end of the file,
    // and the seek generation of what it reads.
    std::deque<AVPacket*> picturePackets;
    bool fileEnded = false;
    uint64_t readGeneration = 0;

    // The sound track.
    int soundStream = -1;
    AVCodecContext* soundCodec = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* soundFrame = nullptr;
    int soundRate = 0;
    int soundChannels = 0;
    std::vector<BYTE> soundBuffer;
    std::thread soundThread;
    // Guards the queue, the generation (one more per seek) and the seek target of the sound.
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<QueuedPacket> soundPackets;
    uint64_t generation = 0;
    LONGLONG soundSeekTarget = 0;
    // Held while a sound sample is delivered: a seek waits for it before the flush ends.
    std::mutex deliverMutex;
    // Used by the sound thread only.
    LONGLONG soundDropBefore = 0;
    LONGLONG soundNextStart = 0;
};

namespace {

// The scaler made for pictures of `source` into the connected frame type, unless it is
// already; false when none can be.
bool FitScaler(MovieSourceState* s, const ScalerSource& source) {
    if (s->scaler != nullptr && s->scalerSource == source) return true;
    sws_freeContext(s->scaler);
    s->scaler = MakeScaler(source, s->width, s->height, s->target);
    s->scalerSource = source;
    return s->scaler != nullptr;
}

}  // namespace

MovieSource::MovieSource(std::function<LONGLONG()> streamTime) : s_(new MovieSourceState) {
    s_->streamTime = std::move(streamTime);
    output_ = AddPin(PINDIR_OUTPUT);
}

MovieSource::~MovieSource() {
    StopThreads();
    for (AVPacket*& packet : s_->picturePackets) av_packet_free(&packet);
    FreePackets(&s_->soundPackets);
    swr_free(&s_->resampler);
    av_frame_free(&s_->soundFrame);
    avcodec_free_context(&s_->soundCodec);
    sws_freeContext(s_->scaler);
    av_frame_free(&s_->frame);
    av_packet_free(&s_->packet);
    avcodec_free_context(&s_->codec);
    avformat_close_input(&s_->format);
    delete s_;
}

bool MovieSource::Open(const std::string& hostPath) {
    av_log_set_level(AV_LOG_QUIET);
    if (avformat_open_input(&s_->format, hostPath.c_str(), nullptr, nullptr) != 0) return false;
    // A still image is no movie: the graph renders none, as DirectShow would not.
    std::string demuxer = s_->format->iformat->name;
    if (demuxer == "image2" || demuxer.ends_with("_pipe")) return false;
    if (avformat_find_stream_info(s_->format, nullptr) < 0) return false;
    const AVCodec* decoder = nullptr;
    s_->stream = av_find_best_stream(s_->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s_->stream < 0 || decoder == nullptr) return false;
    AVStream* stream = s_->format->streams[s_->stream];
    s_->codec = avcodec_alloc_context3(decoder);
    if (s_->codec == nullptr || avcodec_parameters_to_context(s_->codec, stream->codecpar) < 0 ||
        avcodec_open2(s_->codec, decoder, nullptr) != 0) {
        return false;
    }
    s_->width = s_->codec->width;
    s_->height = s_->codec->height;
    if (s_->width <= 0 || s_->height <= 0 || s_->width > 8192 || s_->height > 8192 ||
        s_->codec->pix_fmt == AV_PIX_FMT_NONE) {
        return false;
    }
    AVRational rate = av_guess_frame_rate(s_->format, stream, nullptr);
    s_->frameTime = rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), kHundredNanoseconds) : 333333;
    s_->startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    s_->packet = av_packet_alloc();
    s_->frame = av_frame_alloc();
    if (s_->packet == nullptr || s_->frame == nullptr) return false;
    // A sound track that cannot be decoded leaves the movie silent.
    if (!OpenSoundTrack()) avcodec_free_context(&s_->soundCodec);
    return true;
}

bool MovieSource::OpenSoundTrack() {
    const AVCodec* decoder = nullptr;
    s_->soundStream =
        av_find_best_stream(s_->format, AVMEDIA_TYPE_AUDIO, -1, s_->stream, &decoder, 0);
    if (s_->soundStream < 0 || decoder == nullptr) return false;
    s_->soundCodec = avcodec_alloc_context3(decoder);
    if (s_->soundCodec == nullptr ||
        avcodec_parameters_to_context(s_->soundCodec,
                                      s_->format->streams[s_->soundStream]->codecpar) < 0 ||
        avcodec_open2(s_->soundCodec, decoder, nullptr) != 0 ||
        s_->soundCodec->ch_layout.nb_channels <= 0 || s_->soundCodec->sample_rate <= 0) {
        return false;
    }
    s_->soundFrame = av_frame_alloc();
    if (s_->soundFrame == nullptr) return false;
    int rate = s_->soundCodec->sample_rate;
    s_->soundRate =
        rate >= static_cast<int>(DSBFREQUENCY_MIN) && rate <= static_cast<int>(DSBFREQUENCY_MAX)
            ? rate
            : 44100;
    s_->soundChannels = s_->soundCodec->ch_layout.nb_channels == 1 ? 1 : 2;
    audio_ = AddPin(PINDIR_OUTPUT);
    return true;
}

LONGLONG MovieSource::Duration() const {
    if (s_->format->duration > 0) {
        return av_rescale_q(s_->format->duration, AV_TIME_BASE_Q, kHundredNanoseconds);
    }
    AVStream* stream = s_->format->streams[s_->stream];
    return stream->duration > 0
               ? av_rescale_q(stream->duration, stream->time_base, kHundredNanoseconds)
               : 0;
}

void MovieSource::Seek(LONGLONG position) {
    bool sound = SoundConnected();
    if (sound) audio_->DeliverFlush(true);
    {
        std::lock_guard<std::mutex> deliver(s_->deliverMutex);
        std::lock_guard<std::mutex> lock(s_->seekMutex);
        s_->seekRequested = true;
        s_->seekTarget = position;
        std::lock_guard<std::mutex> queue(s_->queueMutex);
        ++s_->generation;
        s_->soundSeekTarget = position;
        FreePackets(&s_->soundPackets);
    }
    if (sound) audio_->DeliverFlush(false);
    s_->queueChanged.notify_all();
}

// YV12 when the pictures are 4:2:0 of even size, then 32- and 24-bit RGB with rows bottom-up,
// as a decoder that offers its own format first would.
HRESULT MovieSource::GetPinType(LayerPin* pin, int index, MediaType* type) {
    if (pin == audio_) {
        if (index != 0) return S_FALSE;
        *type =
            PcmMediaType(static_cast<WORD>(s_->soundChannels), static_cast<DWORD>(s_->soundRate));
        return S_OK;
    }
    std::vector<MediaType> types;
    if (s_->codec->pix_fmt == AV_PIX_FMT_YUV420P && s_->width % 2 == 0 && s_->height % 2 == 0) {
        types.push_back(
            VideoMediaType(MEDIASUBTYPE_YV12, s_->width, s_->height, 12, s_->frameTime));
    }
    types.push_back(VideoMediaType(MEDIASUBTYPE_RGB32, s_->width, s_->height, 32, s_->frameTime));
    types.push_back(VideoMediaType(MEDIASUBTYPE_RGB24, s_->width, s_->height, 24, s_->frameTime));
    if (index < 0 || index >= static_cast<int>(types.size())) return S_FALSE;
    *type = types[index];
    return S_OK;
}

HRESULT MovieSource::PinConnected(LayerPin* pin, const AM_MEDIA_TYPE* type) {
    if (pin == audio_) {
        AVChannelLayout input = s_->soundCodec->ch_layout;
        if (input.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&input, input.nb_channels);
        }
        AVChannelLayout output;
        av_channel_layout_default(&output, s_->soundChannels);
        swr_free(&s_->resampler);
        if (swr_alloc_set_opts2(&s_->resampler, &output, AV_SAMPLE_FMT_S16, s_->soundRate, &input,
                                s_->soundCodec->sample_fmt, s_->soundCodec->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(s_->resampler) < 0) {
            swr_free(&s_->resampler);
            return E_FAIL;
        }
        return S_OK;
    }
    AVPixelFormat target = type->subtype == MEDIASUBTYPE_YV12    ? AV_PIX_FMT_YUV420P
                           : type->subtype == MEDIASUBTYPE_RGB32 ? AV_PIX_FMT_BGRA
                                                                 : AV_PIX_FMT_BGR24;
    s_->target = target;
    sws_freeContext(s_->scaler);
    s_->scaler = nullptr;
    if (!FitScaler(s_, {s_->width, s_->height, s_->codec->pix_fmt,
                        s_->codec->color_range == AVCOL_RANGE_JPEG})) {
        return E_FAIL;
    }
    s_->subtype = type->subtype;
    size_t bytes = type->subtype == MEDIASUBTYPE_YV12 ? size_t(s_->width) * s_->height * 3 / 2
                   : type->subtype == MEDIASUBTYPE_RGB32
                       ? size_t(s_->width) * 4 * s_->height
                       : size_t((s_->width * 3 + 3) & ~3) * s_->height;
    s_->buffer.assign(bytes, 0);
    return S_OK;
}

HRESULT MovieSource::ChangeState(FilterState state) {
    if (state != FilterState::Stopped && !s_->thread.joinable()) {
        s_->stop.store(false);
        s_->thread = std::thread([this] { Stream(); });
        if (SoundConnected()) s_->soundThread = std::thread([this] { StreamSound(); });
    } else if (state == FilterState::Stopped) {
        StopThreads();
    }
    state_ = state;
    return S_OK;
}

void MovieSource::StopThreads() {
    s_->stop.store(true);
    s_->queueChanged.notify_all();
    // A renderer waiting for room lets the sample go.
    bool sound = SoundConnected() && s_->soundThread.joinable();
    if (sound) audio_->DeliverFlush(true);
    if (s_->thread.joinable()) s_->thread.join();
    if (s_->soundThread.joinable()) s_->soundThread.join();
    if (sound) audio_->DeliverFlush(false);
}

namespace {

// One packet from the file: a picture's kept for the picture decoder, a sound track's queued for
// the sound thread; at the end of the file the sound thread is told.
void ReadMoviePacket(MovieSourceState* s, bool sound) {
    if (av_read_frame(s->format, s->packet) < 0) {
        s->fileEnded = true;
        if (!sound) return;
        std::lock_guard<std::mutex> lock(s->queueMutex);
        if (s->readGeneration == s->generation) s->soundPackets.push_back({nullptr, s->generation});
        s->queueChanged.notify_all();
        return;
    }
    if (s->packet->stream_index == s->stream) {
        s->picturePackets.push_back(av_packet_clone(s->packet));
    } else if (sound && s->packet->stream_index == s->soundStream) {
        std::lock_guard<std::mutex> lock(s->queueMutex);
        if (s->readGeneration == s->generation) {
            s->soundPackets.push_back({av_packet_clone(s->packet), s->generation});
            s->queueChanged.notify_all();
        }
    }
    av_packet_unref(s->packet);
}

}  // namespace

void MovieSource::Stream() {
    bool pending = false, finished = false, ended = false;
    // nextStart: where the picture after the last one taken begins; the start of a picture
    // without a time stamp, and once the decoder is empty, the end of the stream.
    LONGLONG dropBefore = 0, start = 0, nextStart = 0;
    while (!s_->stop.load()) {
        {
            std::lock_guard<std::mutex> lock(s_->seekMutex);
            if (s_->seekRequested) {
                AVStream* stream = s_->format->streams[s_->stream];
                LONGLONG target =
                    av_rescale_q(s_->seekTarget, kHundredNanoseconds, stream->time_base) +
                    s_->startTime;
                av_seek_frame(s_->format, s_->stream, target, AVSEEK_FLAG_BACKWARD);
                avcodec_flush_buffers(s_->codec);
                for (AVPacket*& packet : s_->picturePackets) av_packet_free(&packet);
                s_->picturePackets.clear();
                dropBefore = s_->seekTarget - s_->frameTime / 2;
                nextStart = s_->seekTarget;
                pending = finished = ended = s_->draining = s_->fileEnded = false;
                s_->seekRequested = false;
                std::lock_guard<std::mutex> queue(s_->queueMutex);
                s_->readGeneration = s_->generation;
            }
        }
        if (state_.load() != FilterState::Running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        // The sound track is kept fed, whether the pictures wait for their time or have ended.
        bool sound = SoundConnected();
        if (sound && !s_->fileEnded && s_->picturePackets.size() < kPicturePacketsAhead) {
            bool hungry;
            {
                std::lock_guard<std::mutex> lock(s_->queueMutex);
                hungry = s_->soundPackets.size() < kSoundPacketsAhead;
            }
            if (hungry) {
                ReadMoviePacket(s_, sound);
                continue;
            }
        }
        if (ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (finished) {
            // The stream ends once its last picture has been shown for a picture's time.
            if (s_->streamTime() >= nextStart) {
                output_->DeliverEndOfStream();
                ended = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            continue;
        }
        if (!pending) {
            int result = avcodec_receive_frame(s_->codec, s_->frame);
            if (result == AVERROR(EAGAIN) && !s_->draining) {
                if (!s_->picturePackets.empty()) {
                    AVPacket* packet = s_->picturePackets.front();
                    s_->picturePackets.pop_front();
                    avcodec_send_packet(s_->codec, packet);
                    av_packet_free(&packet);
                } else if (!s_->fileEnded) {
                    ReadMoviePacket(s_, sound);
                } else {
                    s_->draining = true;
                    avcodec_send_packet(s_->codec, nullptr);
                }
                continue;
            }
            if (result != 0) {  // the end, or a picture that cannot be decoded
                finished = true;
                continue;
            }
            pending = true;
            // A raw stream leaves most of its pictures without a time, and FFmpeg's guesses for
            // them run a picture late: each follows the one before.
            AVStream* stream = s_->format->streams[s_->stream];
            int64_t pts = s_->frame->pts;
            start = pts == AV_NOPTS_VALUE
                        ? nextStart
                        : av_rescale_q(pts - s_->startTime, stream->time_base, kHundredNanoseconds);
            nextStart = start + s_->frameTime;
        }
        if (start < dropBefore) {
            pending = false;
            continue;
        }
        if (s_->streamTime() < start) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        // A picture that cannot be converted is left out.
        if (!FitScaler(s_, SourceOf(*s_->frame))) {
            pending = false;
            continue;
        }
        BYTE* base = s_->buffer.data();
        uint8_t* planes[4] = {};
        int strides[4] = {};
        int w = s_->width, h = s_->height;
        if (s_->subtype == MEDIASUBTYPE_YV12) {
            // Y, then V, then U.
            planes[0] = base;
            planes[2] = base + size_t(w) * h;
            planes[1] = planes[2] + size_t(w / 2) * (h / 2);
            strides[0] = w;
            strides[1] = strides[2] = w / 2;
        } else {
            int pitch = s_->subtype == MEDIASUBTYPE_RGB32 ? w * 4 : (w * 3 + 3) & ~3;
            planes[0] = base + size_t(pitch) * (h - 1);  // bottom-up rows
            strides[0] = -pitch;
        }
        sws_scale(s_->scaler, s_->frame->data, s_->frame->linesize, 0, h, planes, strides);
        BufferSample sample(base, static_cast<long>(s_->buffer.size()), start,
                            start + s_->frameTime);
        output_->Deliver(&sample);
        pending = false;
    }
}

// Decodes the queued packets of the sound track and delivers them as fast as the renderer takes
// them; at the end of the file, what the decoder holds and then the end of the stream.
void MovieSource::StreamSound() {
    uint64_t current = 0;
    {
        std::lock_guard<std::mutex> lock(s_->queueMutex);
        current = s_->generation;
    }
    while (!s_->stop.load()) {
        QueuedPacket queued;
        {
            std::unique_lock<std::mutex> lock(s_->queueMutex);
            s_->queueChanged.wait(lock,
                                  [this] { return s_->stop.load() || !s_->soundPackets.empty(); });
            if (s_->stop.load()) break;
            queued = s_->soundPackets.front();
            s_->soundPackets.pop_front();
            if (queued.generation != current) {
                current = queued.generation;
                avcodec_flush_buffers(s_->soundCodec);
                swr_init(s_->resampler);
                s_->soundDropBefore = s_->soundNextStart = s_->soundSeekTarget;
            }
        }
        avcodec_send_packet(s_->soundCodec, queued.packet);
        DeliverSound(current);
        if (queued.packet == nullptr) {
            {
                std::lock_guard<std::mutex> deliver(s_->deliverMutex);
                std::lock_guard<std::mutex> lock(s_->queueMutex);
                if (current == s_->generation) audio_->DeliverEndOfStream();
            }
            // Ready for the packets after a seek.
            avcodec_flush_buffers(s_->soundCodec);
        }
        av_packet_free(&queued.packet);
    }
}

// Every sound the decoder gives out, converted to PCM and placed at its time; what lies before
// a seek's target is left out.
void MovieSource::DeliverSound(uint64_t generation) {
    AVStream* stream = s_->format->streams[s_->soundStream];
    AVStream* pictures = s_->format->streams[s_->stream];
    LONGLONG origin = av_rescale_q(s_->startTime, pictures->time_base, kHundredNanoseconds);
    int align = s_->soundChannels * 2;
    while (avcodec_receive_frame(s_->soundCodec, s_->soundFrame) == 0) {
        AVFrame* frame = s_->soundFrame;
        int capacity = swr_get_out_samples(s_->resampler, frame->nb_samples);
        if (capacity <= 0) {
            av_frame_unref(frame);
            continue;
        }
        s_->soundBuffer.resize(static_cast<size_t>(capacity) * align);
        uint8_t* out = s_->soundBuffer.data();
        int got = swr_convert(s_->resampler, &out, capacity,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        int64_t pts = frame->best_effort_timestamp;
        av_frame_unref(frame);
        if (got <= 0) continue;
        LONGLONG start = pts == AV_NOPTS_VALUE
                             ? s_->soundNextStart
                             : av_rescale_q(pts, stream->time_base, kHundredNanoseconds) - origin;
        LONGLONG length = static_cast<LONGLONG>(got) * 10000000 / s_->soundRate;
        s_->soundNextStart = start + length;
        int skip = 0;
        if (start < s_->soundDropBefore) {
            skip = static_cast<int>(
                std::min<LONGLONG>((s_->soundDropBefore - start) * s_->soundRate / 10000000, got));
            start = s_->soundDropBefore;
        }
        if (skip == got) continue;
        BufferSample sample(out + static_cast<size_t>(skip) * align, (got - skip) * align, start,
                            s_->soundNextStart);
        std::lock_guard<std::mutex> deliver(s_->deliverMutex);
        {
            std::lock_guard<std::mutex> lock(s_->queueMutex);
            if (generation != s_->generation) return;
        }
        audio_->Deliver(&sample);
    }
}

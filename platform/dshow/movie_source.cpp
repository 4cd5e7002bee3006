#include "movie_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr AVRational kHundredNanoseconds = {1, 10000000};

}  // namespace

struct MovieSourceState {
    std::function<LONGLONG()> streamTime;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
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
};

MovieSource::MovieSource(std::function<LONGLONG()> streamTime) : s_(new MovieSourceState) {
    s_->streamTime = std::move(streamTime);
    output_ = AddPin(PINDIR_OUTPUT);
}

MovieSource::~MovieSource() {
    StopThread();
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
    return s_->packet != nullptr && s_->frame != nullptr;
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
    std::lock_guard<std::mutex> lock(s_->seekMutex);
    s_->seekRequested = true;
    s_->seekTarget = position;
}

// YV12 when the pictures are 4:2:0 of even size, then 32- and 24-bit RGB with rows bottom-up,
// as a decoder that offers its own format first would.
HRESULT MovieSource::GetPinType(LayerPin* pin, int index, MediaType* type) {
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
    AVPixelFormat target = type->subtype == MEDIASUBTYPE_YV12    ? AV_PIX_FMT_YUV420P
                           : type->subtype == MEDIASUBTYPE_RGB32 ? AV_PIX_FMT_BGRA
                                                                 : AV_PIX_FMT_BGR24;
    sws_freeContext(s_->scaler);
    s_->scaler = sws_getContext(s_->width, s_->height, s_->codec->pix_fmt, s_->width, s_->height,
                                target, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (s_->scaler == nullptr) return E_FAIL;
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
    } else if (state == FilterState::Stopped) {
        StopThread();
    }
    state_ = state;
    return S_OK;
}

void MovieSource::StopThread() {
    s_->stop.store(true);
    if (s_->thread.joinable()) s_->thread.join();
}

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
                dropBefore = s_->seekTarget - s_->frameTime / 2;
                nextStart = s_->seekTarget;
                pending = finished = ended = s_->draining = false;
                s_->seekRequested = false;
            }
        }
        if (state_.load() != FilterState::Running || ended) {
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
                if (av_read_frame(s_->format, s_->packet) < 0) {
                    s_->draining = true;
                    avcodec_send_packet(s_->codec, nullptr);
                } else {
                    if (s_->packet->stream_index == s_->stream) {
                        avcodec_send_packet(s_->codec, s_->packet);
                    }
                    av_packet_unref(s_->packet);
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
            start = pts == AV_NOPTS_VALUE ? nextStart
                                          : av_rescale_q(pts - s_->startTime, stream->time_base,
                                                         kHundredNanoseconds);
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

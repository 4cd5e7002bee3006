#include "movie/movies.h"

#include <platform/win32.h>

#include <algorithm>
#include <cmath>

#include "core/clocks.h"
#include "core/disk_file.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "sound/sound.h"

namespace {

constexpr int32_t kTheoraStock = 10;
constexpr uint32_t kCopyPieceBytes = 1 << 20;

struct MovieState {
    int32_t setUp;
    HandleRegistry movies;
};
MovieState gMovie;

int ReleaseGraph(MovieRecord* record) {
    IUnknown** interfaces[] = {reinterpret_cast<IUnknown**>(&record->audio),
                               reinterpret_cast<IUnknown**>(&record->seeking),
                               reinterpret_cast<IUnknown**>(&record->control),
                               reinterpret_cast<IUnknown**>(&record->graph),
                               &record->spareInterfaces[0],
                               &record->spareInterfaces[1]};
    for (IUnknown** slot : interfaces) {
        if (*slot != nullptr) (*slot)->Release();
        *slot = nullptr;
    }
    if (record->renderer != nullptr) record->renderer->Release();
    record->renderer = nullptr;
    return 0;
}

void DeleteTempCopy(MovieRecord* record) {
    if (record->isTempFile == 0) return;
    char name[520];
    if (WideCharToMultiByte(932, 0, reinterpret_cast<LPCWSTR>(record->fileName), -1, name,
                            sizeof name, nullptr, nullptr) != 0) {
        DeleteFileA(name);
    }
    record->isTempFile = 0;
}

int CloseMovieRecord(HandleHeader* header) {
    MovieRecord* record = reinterpret_cast<MovieRecord*>(header);
    if (record->isTheora != 0) {
        // The decode thread reads the file until the player is closed.
        CloseTheoraPlayer(record->theora);
        CloseDataFile(record->file);
        if (record->sound != -1) DeleteSoundHandle(record->sound);
        record->theora = nullptr;
        record->isTheora = 0;
    }
    DeleteTempCopy(record);
    if (record->framePixelsBorrowed == 0) FreeMemory(record->frame.pixels);
    record->frame.pixels = nullptr;
    if (record->event != nullptr) CloseHandle(record->event);
    record->event = nullptr;
    return ReleaseGraph(record);
}

// Copies the file through the file layer into a new temporary file; false when it cannot.
bool CopyToTempFile(MovieRecord* record, const char* fileName) {
    StreamValue source = OpenDataFile(fileName, 0, 1, 0);
    if (source == 0) return false;
    SeekDataFile(source, 0, 2);
    int64_t size = TellDataFile(source);
    SeekDataFile(source, 0, 0);
    uint8_t* buffer = static_cast<uint8_t*>(AllocMemory(kCopyPieceBytes, __FILE__, __LINE__));
    char tempName[520];
    HANDLE copy = buffer != nullptr ? MakeTempFile(tempName, sizeof tempName) : nullptr;
    bool ok = copy != nullptr;
    if (ok) {
        MultiByteToWideChar(932, 0, tempName, -1, reinterpret_cast<LPWSTR>(record->fileName),
                            static_cast<int>(std::size(record->fileName)));
        record->isTempFile = 1;
        for (int64_t left = size; left > 0;) {
            uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(left, kCopyPieceBytes));
            size_t got = ReadDataFile(buffer, 1, piece, source);
            DWORD written = 0;
            WriteFile(copy, buffer, static_cast<DWORD>(got), &written, nullptr);
            if (got != piece || written != got) break;
            left -= piece;
        }
        CloseHandle(copy);
    }
    CloseDataFile(source);
    FreeMemory(buffer);
    return ok;
}

template <class Interface>
bool Query(IGraphBuilder* graph, REFIID iid, Interface** out) {
    return SUCCEEDED(graph->QueryInterface(iid, reinterpret_cast<void**>(out)));
}

int OpenDirectShowMovie(MovieRecord* record, const char* fileName, int* width, int* height,
                        int mode, int async) {
    const char* failure = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&record->graph)))) {
        failure = "CLSID_FilterGraph の作成に失敗しました\n";
    }
    HRESULT result = S_OK;
    if (failure == nullptr) {
        record->renderer = CreateMovieRenderer(nullptr, &result);
        if (record->renderer == nullptr ||
            FAILED(record->graph->AddFilter(record->renderer, u"MovieRenderer"))) {
            failure = "Could not add renderer filter to graph!\n";
        }
    }
    if (failure == nullptr && !Query(record->graph, IID_IBasicAudio, &record->audio)) {
        failure = "BasicAudio インターフェースの取得に失敗しました\n";
    }
    if (failure == nullptr && !Query(record->graph, IID_IMediaControl, &record->control)) {
        failure = "IID_IMediaControlインターフェイスの取得に失敗しました\n";
    }
    if (failure == nullptr && !Query(record->graph, IID_IMediaSeeking, &record->seeking)) {
        failure = "IID_IMediaSeekingインターフェイスの取得に失敗しました\n";
    }
    if (failure != nullptr) {
        AppendLogText(failure);
        return ReleaseGraph(record), -1;
    }
    MultiByteToWideChar(CP_ACP, 0, fileName, -1, reinterpret_cast<LPWSTR>(record->fileName),
                        static_cast<int>(std::size(record->fileName)));
    result = record->graph->RenderFile(reinterpret_cast<LPCWSTR>(record->fileName), nullptr);
    if (FAILED(result) && record->isTempFile == 0 && CopyToTempFile(record, fileName)) {
        result = record->graph->RenderFile(reinterpret_cast<LPCWSTR>(record->fileName), nullptr);
        if (FAILED(result)) DeleteTempCopy(record);
    }
    if (FAILED(result)) {
        EmitLogFormat("ファイル:%s が開けませんでした", fileName);
        return ReleaseGraph(record), -1;
    }
    LONGLONG duration = 0;
    record->seeking->GetDuration(&duration);
    record->duration = duration != 0 ? duration : kDefaultMovieDuration;
    LONGLONG stop = 0;
    record->seeking->GetStopPosition(&stop);
    record->stopPosition = stop;
    if (width != nullptr) *width = record->renderer->width;
    if (height != nullptr) *height = record->renderer->height;
    return 0;
}

bool Loops(const MovieRecord* record) {
    return (record->playType & kMoviePlayLoop) != 0;
}

// soundHeld: the sound was stopped by a pause just now, so that its position is the movie's
// and not the end of a track that played out.
void RefreshTheoraFrame(MovieRecord* record, bool soundHeld) {
    TheoraMovieInfo info;
    GetTheoraMovieInfo(record->theora, &info);
    int64_t count = info.frameCount;
    if (record->isStopped == 0) {
        int64_t now = GetMicrosecondCount();
        int64_t target;
        bool ended = false;
        if (record->sound == -1) {
            // Frames whose time has begun; the last one's time is over once it reaches count.
            target = std::max<int64_t>(
                static_cast<int64_t>((now - record->startTime) * info.framesPerSecond / 1e6), 0);
            if (target >= count || record->playedOut != 0) {
                ended = !Loops(record);
                target = ended ? count - 1 : target % count;
            }
        } else if (!Loops(record) && !soundHeld && IsSoundHandlePlaying(record->sound) == 0) {
            // The sound's position falls back to 0 once it has played out: the movie ends.
            target = count - 1;
            ended = true;
        } else {
            int64_t ms = std::max(GetSoundCurrentTime(record->sound), 0);
            target = std::min<int64_t>(static_cast<int64_t>(ms * 1000 * info.framesPerSecond / 1e6),
                                       count - 1);
        }
        int64_t current = GetTheoraCurrentFrame(record->theora);
        if (target != current) {
            int64_t advance = target > current ? target - current : count - current + target;
            AdvanceTheoraFrames(record->theora, static_cast<int32_t>(advance));
            record->lastFrameTime = static_cast<uint32_t>(now / 1000);
        }
        if (ended) {
            record->resumeMark = 0;
            record->isStopped = 1;
            record->playedOut = 1;
        }
    }
    if (record->frameCallback != nullptr) {
        record->frameCallback(record, record->callbackData);
        record->newFrame = 1;
    }
}

void RefreshGraphFrame(MovieRecord* record) {
    MovieRenderer* renderer = record->renderer;
    if (renderer->hasNewFrame.exchange(0, std::memory_order_acquire) != 0 &&
        record->frameCallback != nullptr) {
        std::lock_guard<std::mutex> lock(renderer->frameLock);
        GraphImage& frame = record->frame;
        if (frame.pixels != nullptr && record->framePixelsBorrowed == 0) FreeMemory(frame.pixels);
        frame.width = renderer->width;
        frame.height = renderer->height;
        frame.pitch = renderer->pitch;
        frame.pixels = renderer->frameBuffer;
        record->framePixelsBorrowed = 1;
        if (renderer->subtypeKind == kMovieRgb24) {
            SetColorFormatRGB24(&frame.format);
        } else {
            SetColorFormatXRGB32(&frame.format);
        }
        record->currentFrame = &frame;
        record->frameCallback(record, record->callbackData);
    }
    if (record->seeking == nullptr || record->control == nullptr) return;
    LONGLONG position = 0;
    record->seeking->GetCurrentPosition(&position);
    if (position < record->stopPosition) return;
    if (Loops(record)) {
        LONGLONG start = 0;
        record->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning);
        record->control->Run();
    } else {
        record->resumeMark = 0;
        record->isStopped = 1;
    }
}

}  // namespace

int SetupMovieManager() {
    if (gMovie.setUp != 0) return -1;
    if (SetupHandleRegistry(
            &gMovie.movies, HandleKindBits(kHandleKindMovie), sizeof(MovieRecord), kMaxMovies,
            [](HandleHeader*) { return 0; }, CloseMovieRecord, "ムービー") != 0) {
        return -1;
    }
    gMovie.setUp = 1;
    return 0;
}

int ShutdownMovieManager() {
    if (gMovie.setUp == 0) return -1;
    ShutdownHandleRegistry(&gMovie.movies);
    gMovie.setUp = 0;
    return 0;
}

int CheckMovieManagerActive() {
    return gMovie.setUp != 0 ? 0 : -1;
}

MovieRecord* GetMovieRecord(Handle movie) {
    if (gMovie.setUp == 0) return nullptr;
    HandleHeader* header = FindHandleRecord(&gMovie.movies, movie);
    if (header == nullptr || header->asyncPendingCount != 0) return nullptr;
    return reinterpret_cast<MovieRecord*>(header);
}

int GetMovieOpenSetting(int32_t* out) {
    *out = 0;
    return 0;
}

Handle LoadMovieHandle(const int32_t* openSetting, const char* fileName, int* width, int* height,
                       int mode, int async) {
    if (gMovie.setUp == 0) return -1;
    Handle movie = IssueHandle(&gMovie.movies, -1);
    if (movie == -1) return -1;
    MovieRecord* record = reinterpret_cast<MovieRecord*>(FindHandleRecord(&gMovie.movies, movie));
    record->sound = -1;
    if (openSetting != nullptr) record->openSetting = *openSetting;
    record->file = OpenDataFile(fileName, 0, 1, 0);
    if (record->file != 0) {
        record->theora =
            OpenTheoraPlayer(GetFileAccessFunctions(), record->file, kTheoraStock, async);
        if (record->theora == nullptr) {
            CloseDataFile(record->file);
            record->file = 0;
        }
    }
    if (record->theora != nullptr) {
        SoundCreateSettings settings;
        GetSoundCreateSettings(&settings);
        settings.sourceType = kStreamSourceFile;
        settings.decoderMask = ~kSkipVorbis;
        settings.vorbisVariant = 1;
        record->sound = LoadSoundHandleWithSettings(&settings, fileName, 1, -1, 0, async);
        TheoraMovieInfo info;
        GetTheoraMovieInfo(record->theora, &info);
        record->theoraWidth = info.width;
        record->theoraHeight = info.height;
        if (width != nullptr) *width = info.width;
        if (height != nullptr) *height = info.height;
        record->isTheora = 1;
        record->currentFrame = GetTheoraFrameImage(record->theora);
        record->surfaceLost = 0;
    } else {
        record->isTempFile = 0;
        if (OpenDirectShowMovie(record, fileName, width, height, mode, async) != 0) {
            AppendLogText("ムービーファイルオープン処理時にエラーが発生しました");
            RetireHandle(&gMovie.movies, movie);
            return -1;
        }
        record->currentFrame = &record->frame;
    }
    record->isStopped = 1;
    record->playType = 1;
    record->resumeMark = 0;
    return movie;
}

int DeleteMovieHandle(Handle movie) {
    if (GetMovieRecord(movie) == nullptr) return -1;
    return RetireHandle(&gMovie.movies, movie);
}

int PlayMovieHandle(Handle movie, int32_t playType, int32_t onlyIfMarked) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    if (record->isStopped == 0 || (onlyIfMarked == 1 && record->resumeMark == 0)) return 0;
    if (playType == -1) playType = record->playType;
    if (playType == 0) playType = 1;
    if (record->isTheora != 0) {
        TheoraMovieInfo info;
        GetTheoraMovieInfo(record->theora, &info);
        record->startTime =
            GetMicrosecondCount() -
            std::llround(GetTheoraCurrentFrame(record->theora) * 1e6 / info.framesPerSecond);
        if (record->sound != -1) PlaySoundHandle(record->sound, playType, 0);
    } else if (record->control != nullptr) {
        record->control->Run();
    }
    // Played once more after its end, a silent Theora movie keeps the mark, by which its next
    // refresh ends it again: its clock alone would run its last frame's time once more.
    if (record->isTheora == 0 || record->sound != -1 || (playType & kMoviePlayLoop) != 0) {
        record->playedOut = 0;
    }
    record->isStopped = 0;
    record->playType = playType;
    record->resumeMark = 1;
    return 0;
}

int PauseMovieHandle(Handle movie, int32_t bySystem) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    if (record->isStopped != 0) return 0;
    if (record->isTheora != 0) {
        // A track stopped here holds the movie's place; one that has played out by itself
        // still ends the movie in the refresh.
        bool soundHeld = record->sound != -1 && IsSoundHandlePlaying(record->sound) == 1;
        if (record->sound != -1) StopSoundHandle(record->sound);
        RefreshTheoraFrame(record, soundHeld);
    } else if (record->control != nullptr) {
        record->control->Pause();
    }
    record->isStopped = 1;
    if (bySystem == 0) record->resumeMark = 0;
    return 0;
}

int PlayMovieHandle(Handle movie, int32_t playType) {
    // The sound's rule: kPlayLoop loops, any other type plays once.
    if (playType != -1) playType = playType == kPlayLoop ? kPlayLoop : kPlayBackground;
    return PlayMovieHandle(movie, playType, 0);
}

int PauseMovieHandle(Handle movie) {
    return PauseMovieHandle(movie, 0);
}

int IsMovieHandlePlaying(Handle movie) {
    const MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    return record->isStopped == 0 ? 1 : 0;
}

int PauseAllMovies() {
    if (gMovie.setUp == 0) return -1;
    for (HandleNode* node = gMovie.movies.head.next; node != &gMovie.movies.tail;
         node = node->next) {
        PauseMovieHandle(node->handle, 1);
    }
    return 0;
}

int ResumeAllMovies() {
    if (gMovie.setUp == 0) return -1;
    for (HandleNode* node = gMovie.movies.head.next; node != &gMovie.movies.tail;
         node = node->next) {
        PlayMovieHandle(node->handle, -1, 1);
    }
    return 0;
}

int RefreshMovieFrame(Handle movie, int32_t flag) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    if (record->isTheora != 0) {
        RefreshTheoraFrame(record, false);
    } else if (record->renderer != nullptr) {
        RefreshGraphFrame(record);
    }
    return 0;
}

int SetMovieFrameCallback(Handle movie, MovieFrameCallback callback, void* data) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    record->frameCallback = callback;
    record->callbackData = data;
    return 0;
}

int InvalidateMovieSurface(Handle movie) {
    MovieRecord* record = GetMovieRecord(movie);
    if (record == nullptr) return -1;
    if (record->isTheora != 0) MarkTheoraSurfaceLost(record->theora);
    return 0;
}

GraphImage* GetMovieFrameImage(MovieRecord* record) {
    if (record->isTheora != 0) ConvertTheoraFrame(record->theora, 1, 0, 0);
    return record->currentFrame;
}


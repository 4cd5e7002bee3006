// Movie handles and their playback: a movie is played by the Theora player (its Vorbis track
// as a stream sound from the same file, whose position is the movie's clock) or by a DirectShow
// filter graph that renders the file into the framework's "MovieRenderer". The owner starts and
// pauses it and refreshes its frame once per drawn frame.
#pragma once

#include <orbek/orbek.h>
#include <platform/dshow.h>

#include <cstdint>

#include "core/file_access.h"
#include "core/handle_registry.h"
#include "image/color_format.h"
#include "movie/movie_renderer.h"
#include "movie/theora_player.h"

constexpr int32_t kMaxMovies = 100;
// Bit of the play type that loops the movie.
constexpr int32_t kMoviePlayLoop = 2;
// Reported as the duration of a graph that reports none.
constexpr int64_t kDefaultMovieDuration = 166666;

struct MovieRecord;
using MovieFrameCallback = void (*)(MovieRecord* record, void* data);

struct MovieRecord {
    HandleHeader header;
    int32_t playType;
    int32_t isTheora;
    TheoraPlayer* theora;
    int64_t startTime;  // microseconds at which frame 0 would have been shown
    StreamValue file;
    Handle sound;  // -1 for none
    IGraphBuilder* graph;
    IMediaControl* control;
    IMediaSeeking* seeking;
    IBasicAudio* audio;
    MovieRenderer* renderer;
    IUnknown* spareInterfaces[2];
    int64_t duration;
    int32_t isTempFile;
    char16_t fileName[260];
    uint32_t lastFrameTime;
    int64_t stopPosition;
    int32_t theoraWidth;
    int32_t theoraHeight;
    int32_t openSetting;
    int32_t resumeMark;  // 1 while the movie counts as playing for ResumeAllMovies
    int32_t isStopped;
    // The movie stopped at its end by itself; a play clears it but that of a silent Theora
    // movie once more, which its next refresh ends again.
    int32_t playedOut;
    int32_t newFrame;
    int32_t surfaceLost;
    HANDLE event;
    GraphImage frame;  // a DirectShow movie's frame: pixels borrowed from the renderer
    int32_t framePixelsBorrowed;
    GraphImage* currentFrame;
    MovieFrameCallback frameCallback;
    void* callbackData;
};

int SetupMovieManager();
int ShutdownMovieManager();
int CheckMovieManagerActive();
MovieRecord* GetMovieRecord(Handle movie);
// The framework's movie-open setting word.
int GetMovieOpenSetting(int32_t* out);
// A movie handle for the file, its frame size in *width and *height (each may be null); -1
// when the file is no movie that can be played.
Handle LoadMovieHandle(const int32_t* openSetting, const char* fileName, int* width, int* height,
                       int mode, int async);
int DeleteMovieHandle(Handle movie);
// playType -1 keeps the last one; with onlyIfMarked 1 only a movie that the system paused plays.
int PlayMovieHandle(Handle movie, int32_t playType, int32_t onlyIfMarked);
// A pause by the system keeps the movie's mark for ResumeAllMovies.
int PauseMovieHandle(Handle movie, int32_t bySystem);
int PauseAllMovies();
int ResumeAllMovies();
// Brings the frame up to the play position, ends a movie that reached its end, and calls the
// frame callback.
int RefreshMovieFrame(Handle movie, int32_t flag);
int SetMovieFrameCallback(Handle movie, MovieFrameCallback callback, void* data);
int InvalidateMovieSurface(Handle movie);
// The image of the frame shown, a Theora frame converted first; for the frame callbacks.
GraphImage* GetMovieFrameImage(MovieRecord* record);

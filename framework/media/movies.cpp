// Stands in for the movie player until it exists: no movies to pause, resume or refresh, and no
// file opens as a movie.
#include "media/movies.h"

int SetupMovieManager() {
    return 0;
}

int ShutdownMovieManager() {
    return 0;
}

int PauseAllMovies() {
    return 0;
}

int ResumeAllMovies() {
    return 0;
}

int GetMovieOpenSetting(int32_t* out) {
    *out = 0;
    return 0;
}

Handle LoadMovieHandle(const int32_t* openSetting, const char* fileName, int* width, int* height,
                       int mode, int async) {
    return -1;
}

int DeleteMovieHandle(Handle movie) {
    return -1;
}

int RefreshMovieFrame(Handle movie, int flag) {
    return -1;
}

// Movie handles and their playback.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

int SetupMovieManager();
int ShutdownMovieManager();
int PauseAllMovies();
int ResumeAllMovies();
// The framework's movie-open setting word.
int GetMovieOpenSetting(int32_t* out);
// A movie handle for the file, its frame size in *width and *height (each may be null); -1
// when the file is no movie that can be played.
Handle LoadMovieHandle(const int32_t* openSetting, const char* fileName, int* width, int* height,
                       int mode, int async);
int DeleteMovieHandle(Handle movie);
// Brings the movie's frame up to its play position (the flag is not read); -1 for a bad handle.
int RefreshMovieFrame(Handle movie, int flag);

// Movie handles and their playback.
#pragma once

int SetupMovieManager();
int ShutdownMovieManager();
int PauseAllMovies();
int ResumeAllMovies();

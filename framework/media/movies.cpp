// Stands in for the movie player until it exists: no movies to pause or resume.
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

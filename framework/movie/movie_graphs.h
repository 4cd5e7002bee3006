// Graphs that show a movie: a file that holds no image opens as a movie whose every new frame
// is copied into the graph, through the device straight from a Theora player's YUV surface
// where it can be.
#pragma once

#include "core/handle_registry.h"

struct ImageLoadRequest;
struct MovieRecord;

// Opens the file as a movie and gives the graph its size; each new frame is copied into the
// graph. -1 (logged) when it is no movie or the graph cannot be made.
int OpenMovieAsGraph(const ImageLoadRequest* request, Handle graph, const char* fileName,
                     int fromAsyncWorker);
// The movie's frame callback: its current frame into the graph.
int CopyMovieFrameToGraph(MovieRecord* record, Handle graph);
// Before the device goes: a Theora movie's YUV surface lives in the default pool too; it is
// made again at the first frame converted after the device is back.
void ReleaseMovieDeviceObjects(Handle movie);

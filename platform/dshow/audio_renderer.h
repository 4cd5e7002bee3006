// The graph's default audio renderer: it takes 16-bit PCM and plays it through a looping
// DirectSound buffer of the layer, fed as the samples arrive. The sound heard is its clock: the
// position given at the start or the seek plus the samples played since, which runs on through
// silence once the stream has ended. A renderer that is not connected plays nothing.
#pragma once

#include "filter_base.h"

struct AudioRenderer : IBaseFilter {
    // The stream position heard, in 100-ns units; false when the renderer keeps no clock (not
    // connected, or without a DirectSound buffer).
    virtual bool Position(LONGLONG* position) = 0;
    // Where the clock starts from the next time the stream starts; called after a flush or
    // before running from a stop.
    virtual void Anchor(LONGLONG position) = 0;
    // Enough is buffered to start playing, or the stream has ended.
    virtual bool Cued() = 0;
    // Plays with what it holds, for a stream that cannot fill the buffer in time (its sound
    // packets far behind its pictures in the file): the clock runs on over the silence.
    virtual void StartUncued() = 0;
    // The stream has ended and every sample of it has been heard.
    virtual bool Finished() = 0;
    virtual HRESULT SetVolume(long volume) = 0;
    virtual HRESULT SetBalance(long balance) = 0;
};

// Made with one reference.
AudioRenderer* CreateAudioRendererFilter();

// Stream sounds.
#pragma once

// One refill step of every primed stream sound.
int RefillStreamSounds();

// The peak level of each kind of sound, as a share of full scale. The game mixes the music,
// the drone under it and its effects on one output that clips whatever adds up past full
// scale, so the levels leave room for each other: the loudest music (plus the 6 % at most
// that MP3 encoding adds to its peaks), the drone and three effects at their peaks all at
// once, 0.32 x 1.06 + 0.10 + 3 x 0.18 = 0.979, stay below full scale.
#pragma once

constexpr double kMusicPeak = 0.32;   // -9.9 dBFS
constexpr double kDronePeak = 0.10;   // -20 dBFS
constexpr double kEffectPeak = 0.18;  // -14.9 dBFS

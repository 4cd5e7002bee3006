// The ten image filters, each computing on the images its job read (the processor formulas).
// Every routine returns 0, or -1 with the job's images freed.
#pragma once

#include "draw/filters.h"

// cb and cr as the front end scaled them (argument x 100 / 255).
int Mono(FilterJob* job, float cb, float cr);
// strength already divided by 100.
int Gauss(FilterJob* job, int pixelWidth, float strength);
int DownScale(FilterJob* job, int factor);
// Any factor as the filter uses it: 2, 4 or 8.
int NormalizeDownScaleFactor(int factor);
// compareKind 2 (less) or 5 (greater), else -1; fill is r, g, b, a in 0..1.
int BrightClip(FilterJob* job, int compareKind, float threshold, int fillFlag, const float fill[4]);
// kind 1 locks the hue; saturation and brightness as the front end scaled them.
int Hsb(FilterJob* job, int kind, float hue, float saturation, float brightness);
int Invert(FilterJob* job);
// gamma already divided by 100.
int Level(FilterJob* job, float min, float max, float gamma, float outMin, float outMax);
// colours are r, g, b, a in 0..1.
int TwoColor(FilterJob* job, float threshold, const float colour1[4], const float colour2[4]);
int GradientMap(FilterJob* job, Handle gradient, int reverse);
int PremultipliedAlpha(FilterJob* job);

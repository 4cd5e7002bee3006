// The framework's pseudo-random generator: MT19937 with the 1998 reference seeding.
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
// An unseeded generator seeds itself with 4357 on the first draw.
uint32_t NextRandomWord();
// 0..n inclusive for n >= 0; 0 for a negative n.
int RandomUpTo(int n);

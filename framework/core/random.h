// The framework's pseudo-random generator: MT19937 with the 1998 reference seeding.
#pragma once

#include <orbek/orbek.h>

#include <cstdint>

void SeedRandom(uint32_t seed);
// An unseeded generator seeds itself with 4357 on the first draw.
uint32_t NextRandomWord();

// Drawing text with a font handle's glyphs. The public call is in orbek/orbek.h.
#pragma once

#include <orbek/orbek.h>

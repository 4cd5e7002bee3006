// Draw settings: target, area, blend mode, bright colour and screen colours. The public calls
// are in orbek/orbek.h.
#pragma once

#include <orbek/orbek.h>

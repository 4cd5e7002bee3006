// The Theora movie player.
#pragma once

// The colour-conversion tables of decoded frames; built once at start-up.
void BuildYUVToRGBTables();

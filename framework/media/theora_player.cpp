// Stands in for the Theora player until it exists: no frames to convert.
#include "media/theora_player.h"

void BuildYUVToRGBTables() {}

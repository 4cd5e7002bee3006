// The image and blend filters and their dispatcher.
#pragma once

// Runs the Invert filter on an 8x8 draw-target graph of four test colours and reports whether a
// filter pass into a draw target gives back exact values: 1 exact, 0 not.
int TestFilterResultExact();

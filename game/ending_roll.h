// The ending roll after stage 7: a scrolling background under three timed pages, until decide
// files the game in the ranking.
#pragma once

// Stage clear's last step: loads the ending's assets, starts its music once and enters scene 8.
void StartEndingRoll();
// Scene 8, one frame.
void RunEndingRoll();

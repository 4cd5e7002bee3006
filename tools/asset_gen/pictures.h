// Every picture of the game, drawn by our own code. Sizes, cell layouts and transparency
// (pure black) are those the game relies on; see each file for what a picture shows.
#pragma once

#include "image.h"

// sprites.cpp
RgbImage DrawSize32();      // 128x128: player, boxes and balls, each with its blink frame
RgbImage DrawSize16();      // 32x16: life icon and menu cursor
RgbImage DrawExplosion();   // 768x192: 16 fireball frames of 96x96, drawn additively
RgbImage DrawExplosion2();  // 768x192: 16 plasma-burst frames of 96x96, drawn additively
RgbImage DrawGoal();        // 480x64: the chequered finish line

// titles.cpp
RgbImage DrawTitle();            // 610x240: the "BROVANE" logo
RgbImage DrawGameOver();         // 350x96
RgbImage DrawCongratulations();  // 608x150
RgbImage DrawTheEnd();           // 484x200

// backgrounds.cpp: 480x480 stage backgrounds repeating every 480 pixels downwards
RgbImage DrawStarfield();  // back1.png: also repeats across, for the ending roll
RgbImage DrawCrypt();      // back3.png: haunted flagstones
RgbImage DrawSeigaiha();   // back4.png: Japanese wave pattern on indigo
RgbImage DrawLavaField();  // back5.png: basalt with glowing cracks
RgbImage DrawBoard();      // 160x480: the side panel

// patterns.cpp: 192x192 tiles that the menus turn inside 128x128 cells
RgbImage DrawSwirl();     // uzu.png
RgbImage DrawSunburst();  // entry.png
RgbImage DrawRosette();   // rank.png

// "savedata.txt" in the current directory: the two pad buttons and the ten ranking records, one
// per line ("%d" twice, then "%d,%d,%s").
#pragma once

#include <cstdio>

// Fills PadButtonConfig and ranking records 0..9 from the file; without one they keep their
// zero start values.
void LoadSaveData();
// Reads save data from an open file, a line at a time: each value must be in its range, and
// reading stops at the first line that does not match; what was not read keeps its value.
void ReadSaveData(std::FILE* file);
// Replaces the file whole, through a temporary file renamed over it; a failed write leaves the
// previous file as it was.
void WriteSaveData();

// The program's Japanese texts, kept in a source of their own that is compiled as Shift-JIS.
#pragma once

extern const char* const kFontName;
extern const char* const kGreeting;
extern const char* const kHowToPlay;

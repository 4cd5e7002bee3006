// Narrow strings given to the framework are Shift-JIS: CMakeLists.txt has this UTF-8 source
// compiled so (orbek_shift_jis_sources), and only this one, since the standard headers the
// rest of the program includes do not compile as Shift-JIS.
#include "texts.h"

const char* const kFontName = "ＭＳ ゴシック";
const char* const kGreeting = "こんにちは、Orbek！";
const char* const kHowToPlay = "矢印キーで動かし、Escで終わります。";

// Which installed font file serves a GDI face name, and the families the enumeration lists:
// fontconfig underneath, with the system's Japanese faces standing for the IPA fonts.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_fonts.h"

struct FontFaceFile {
    std::string path;
    int index = 0;
    bool bold = false;  // the file's own weight is semibold or heavier
    bool italic = false;
};

// The code page in which the charset's names and character codes are written.
UINT CodePageOfCharSet(BYTE charSet);

// The face of the name (CP932; empty for the default) nearest to the weight and slant; a name
// that is not installed gives the charset's default face. False only when fontconfig finds no
// face at all.
bool FindFontFace(const std::string& faceName, BYTE charSet, int weight, bool italic,
                  FontFaceFile* out);

struct FontFamily {
    std::string name;  // CP932
    std::vector<BYTE> charSets;
};
// The installed families of the name (CP932; empty for all) with the charsets they serve.
std::vector<FontFamily> ListFontFamilies(const std::string& faceName);

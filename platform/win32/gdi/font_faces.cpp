// Face lookup over fontconfig. The names GDI programs ask for on a Japanese system (the MS
// Gothic and Mincho faces) stand for the IPA fonts; a name that is not installed is served by
// the best face for the charset's language, as GDI falls back to a default face.
#include "font_faces.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "../../base/code_pages.h"

namespace {

struct FaceAlias {
    const char* name;  // CP932
    const char* family;
};

const FaceAlias kFaceAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"}, {"MS Gothic", "IPAGothic"},        {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},     {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},  {"MS PMincho", "IPAPMincho"},
};

struct CharSetLanguage {
    BYTE charSet;
    const char* language;
    UINT codePage;
};

const CharSetLanguage kCharSetLanguages[] = {
    {SHIFTJIS_CHARSET, "ja", 932},  {HANGUL_CHARSET, "ko", 949},
    {GB2312_CHARSET, "zh-cn", 936}, {CHINESEBIG5_CHARSET, "zh-tw", 950},
    {ANSI_CHARSET, "en", 932},
};

// The layer's ANSI code page is 932, so the default charset is Shift-JIS.
const CharSetLanguage& LanguageOfCharSet(BYTE charSet) {
    for (const CharSetLanguage& entry : kCharSetLanguages) {
        if (entry.charSet == charSet) return entry;
    }
    return kCharSetLanguages[0];
}

// fontconfig calls are serialised here; never destroyed, so that calls at exit find it.
std::mutex& FontconfigMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// fontconfig's configuration, loaded once and released at exit with fontconfig's own caches,
// which it does not free otherwise.
FcConfig* gConfig = nullptr;

void ReleaseFontconfig() {
    std::lock_guard<std::mutex> guard(FontconfigMutex());
    FcConfigDestroy(gConfig);
    gConfig = nullptr;
    FcFini();
}

FcConfig* Fontconfig() {
    static bool loaded = [] {
        gConfig = FcInitLoadConfigAndFonts();
        if (gConfig != nullptr) std::atexit(ReleaseFontconfig);
        return true;
    }();
    (void)loaded;
    return gConfig;
}

bool EqualIgnoringAsciiCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The fontconfig family a GDI name asks for (UTF-8); empty when the name cannot be converted.
std::string FamilyOfFaceName(const std::string& faceName) {
    for (const FaceAlias& alias : kFaceAliases) {
        if (EqualIgnoringAsciiCase(faceName, alias.name)) return alias.family;
    }
    std::string utf8;
    return Cp932ToUtf8(faceName, &utf8) ? utf8 : std::string();
}

bool HasFamily(FcPattern* font, const std::string& family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) {
            return true;
        }
    }
    return false;
}

// fontconfig's best match for the pattern's family or language, with the weight and slant.
FcPattern* MatchFace(const std::string& family, const char* language, int weight, bool italic) {
    FcPattern* pattern = FcPatternCreate();
    if (!family.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    } else {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight <= 0 ? FW_NORMAL : weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(Fontconfig(), pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(Fontconfig(), pattern, &result);
    FcPatternDestroy(pattern);
    return match;
}

// The weight and slant of the face in the file itself. A match cannot tell them: where the face
// lacks the style asked for, fontconfig's synthetic rules write the weight and slant asked for
// into the match (with an embolden flag and a slant matrix, which this layer does not read).
void ReadOwnStyle(FcChar8* path, int index, FontFaceFile* out) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FILE, path);
    FcPatternAddInteger(pattern, FC_INDEX, index);
    FcObjectSet* objects = FcObjectSetBuild(FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet* fonts = FcFontList(Fontconfig(), pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    if (fonts != nullptr && fonts->nfont > 0) {
        FcPatternGetInteger(fonts->fonts[0], FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(fonts->fonts[0], FC_SLANT, 0, &slant);
    }
    if (fonts != nullptr) FcFontSetDestroy(fonts);
    out->bold = weight >= FC_WEIGHT_DEMIBOLD;
    out->italic = slant != FC_SLANT_ROMAN;
}

bool ReadFaceFile(FcPattern* font, FontFaceFile* out) {
    FcChar8* path = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &path) != FcResultMatch) return false;
    out->path = reinterpret_cast<const char*>(path);
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    out->index = index;
    ReadOwnStyle(path, index, out);
    return true;
}

std::vector<BYTE> CharSetsOfFont(FcPattern* font) {
    std::vector<BYTE> charSets;
    FcLangSet* languages = nullptr;
    if (FcPatternGetLangSet(font, FC_LANG, 0, &languages) != FcResultMatch) return charSets;
    for (const CharSetLanguage& entry : kCharSetLanguages) {
        const auto* language = reinterpret_cast<const FcChar8*>(entry.language);
        if (FcLangSetHasLang(languages, language) == FcLangEqual) {
            charSets.push_back(entry.charSet);
        }
    }
    return charSets;
}

void AddFamily(std::vector<FontFamily>* families, const std::string& name,
               const std::vector<BYTE>& charSets) {
    // Names longer than a LOGFONTA holds cannot be asked for by name.
    if (name.empty() || name.size() >= LF_FACESIZE) return;
    auto found = std::find_if(families->begin(), families->end(),
                              [&](const FontFamily& f) { return f.name == name; });
    if (found == families->end()) {
        families->push_back({name, {}});
        found = families->end() - 1;
    }
    for (BYTE charSet : charSets) {
        if (std::find(found->charSets.begin(), found->charSets.end(), charSet) ==
            found->charSets.end()) {
            found->charSets.push_back(charSet);
        }
    }
}

}  // namespace

UINT CodePageOfCharSet(BYTE charSet) {
    return LanguageOfCharSet(charSet).codePage;
}

bool FindFontFace(const std::string& faceName, BYTE charSet, int weight, bool italic,
                  FontFaceFile* out) {
    std::lock_guard<std::mutex> guard(FontconfigMutex());
    if (Fontconfig() == nullptr) return false;
    std::string family = FamilyOfFaceName(faceName);
    if (!family.empty()) {
        FcPattern* match = MatchFace(family, nullptr, weight, italic);
        bool found = match != nullptr && HasFamily(match, family) && ReadFaceFile(match, out);
        if (match != nullptr) FcPatternDestroy(match);
        if (found) return true;
    }
    FcPattern* match = MatchFace("", LanguageOfCharSet(charSet).language, weight, italic);
    bool found = match != nullptr && ReadFaceFile(match, out);
    if (match != nullptr) FcPatternDestroy(match);
    return found;
}

std::vector<FontFamily> ListFontFamilies(const std::string& faceName) {
    std::lock_guard<std::mutex> guard(FontconfigMutex());
    std::vector<FontFamily> families;
    if (Fontconfig() == nullptr) return families;
    std::string wanted = faceName.empty() ? std::string() : FamilyOfFaceName(faceName);
    if (!faceName.empty() && wanted.empty()) return families;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    if (!wanted.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted.c_str()));
    }
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_LANG, nullptr);
    FcFontSet* fonts = FcFontList(Fontconfig(), pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    if (fonts == nullptr) return families;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        std::vector<BYTE> charSets = CharSetsOfFont(font);
        if (!faceName.empty()) {
            // Listed under the name asked for, as GDI lists a face by the name it was given.
            AddFamily(&families, faceName, charSets);
            continue;
        }
        FcChar8* name = nullptr;
        std::string cp932;
        if (FcPatternGetString(font, FC_FAMILY, 0, &name) == FcResultMatch &&
            Utf8ToCp932(reinterpret_cast<const char*>(name), &cp932)) {
            AddFamily(&families, cp932, charSets);
        }
        for (const FaceAlias& alias : kFaceAliases) {
            if (HasFamily(font, alias.family)) AddFamily(&families, alias.name, charSets);
        }
    }
    FcFontSetDestroy(fonts);
    return families;
}

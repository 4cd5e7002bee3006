// The pixel-format table: each entry tries its candidate formats in order of preference against
// the back-buffer format and logs what it chose; the colour formats that describe how pixels of
// each entry and each Direct3D format are laid out.
#include "graphics/pixel_format_table.h"

#include <array>
#include <cstdio>
#include <vector>

#include "core/log.h"
#include "graphics/d3d_wrappers.h"

PixelFormatTable gPixelFormats = {};

namespace {

// What an entry falls back to when none of its candidates is offered.
enum class Fallback { Fail, Entry, None };

// Candidates in order of preference; unused places are D3DFMT_UNKNOWN.
using Candidates = std::array<D3DFORMAT, 4>;

struct EntryRule {
    Candidates candidates;
    Fallback fallback;
    int fallbackEntry;
    const char* label;  // logged with "は %s です"
    const char* miss;   // logged when nothing is usable and the entry fails or stays 0
};

const EntryRule kPlainRules[] = {
    {{D3DFMT_R5G6B5, D3DFMT_X1R5G5B5},
     Fallback::Fail,
     0,
     "16bit カラーフォーマット",
     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"},
    {{D3DFMT_X8R8G8B8}, Fallback::Entry, kFormat16, "32bit カラーフォーマット", nullptr},
    {{D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8},
     Fallback::Fail,
     0,
     "アルファ付き 16bit カラーフォーマット",
     "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {{D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
     Fallback::Fail,
     0,
     "アルファ付き 32bit カラーフォーマット",
     "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n"},
    {{D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
     Fallback::Fail,
     0,
     "アルファテスト用 16bit カラーフォーマット",
     "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n"},
    {{D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4},
     Fallback::Fail,
     0,
     "アルファテスト用 32bit カラーフォーマット",
     "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"},
};

const D3DFORMAT kDxtFormats[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
const char* const kDxtLabels[] = {
    "ＤＸＴ１テクスチャフォーマットは%s", "ＤＸＴ２テクスチャフォーマットは%s",
    "ＤＸＴ３テクスチャフォーマットは%s", "ＤＸＴ４テクスチャフォーマットは%s",
    "ＤＸＴ５テクスチャフォーマットは%s"};

// Entries 12 to 24; entry 11's order depends on the back buffer.
const EntryRule kDrawTargetRules[] = {
    {{D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5},
     Fallback::None,
     0,
     "描画用 32bit カラーフォーマット",
     "使用できる描画用 32bit カラーフォーマットがありませんでした\n"},
    {{D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
     Fallback::None,
     0,
     "描画用アルファ付き 32bit カラーフォーマット",
     "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n"},
    {{D3DFMT_A16B16G16R16},
     Fallback::None,
     0,
     "描画用ABGR整数16ビット型カラーフォーマット",
     "使用できる描画用ABGR整数16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_A16B16G16R16F},
     Fallback::None,
     0,
     "描画用ABGR浮動小数点16ビット型カラーフォーマット",
     "使用できる描画用ABGR浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F},
     Fallback::None,
     0,
     "描画用ABGR浮動小数点32ビット型カラーフォーマット",
     "使用できる描画用ABGR浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8R8G8B8},
     Fallback::None,
     0,
     "描画用１チャンネル整数8ビット型カラーフォーマット",
     "使用できる描画用１チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_L16, D3DFMT_G16R16, D3DFMT_A16B16G16R16},
     Fallback::None,
     0,
     "描画用１チャンネル整数16ビット型カラーフォーマット",
     "使用できる描画用１チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F},
     Fallback::None,
     0,
     "描画用１チャンネル浮動小数点16ビット型カラーフォーマット",
     "使用できる描画用１チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F},
     Fallback::None,
     0,
     "描画用１チャンネル浮動小数点32ビット型カラーフォーマット",
     "使用できる描画用１チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_V8U8, D3DFMT_A8R8G8B8},
     Fallback::None,
     0,
     "描画用２チャンネル整数8ビット型カラーフォーマット",
     "使用できる描画用２チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_G16R16, D3DFMT_A16B16G16R16},
     Fallback::None,
     0,
     "描画用２チャンネル整数16ビット型カラーフォーマット",
     "使用できる描画用２チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F},
     Fallback::None,
     0,
     "描画用２チャンネル浮動小数点16ビット型カラーフォーマット",
     "使用できる描画用２チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {{D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F},
     Fallback::None,
     0,
     "描画用２チャンネル浮動小数点32ビット型カラーフォーマット",
     "使用できる描画用２チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
};

struct FormatName {
    D3DFORMAT format;
    const char* name;
};

const FormatName kFormatNames[] = {
    {D3DFMT_R8G8B8, "D3DFMT_R8G8B8"},
    {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8"},
    {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"},
    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},
    {D3DFMT_X1R5G5B5, "D3DFMT_X1R5G5B5"},
    {D3DFMT_A1R5G5B5, "D3DFMT_A1R5G5B5"},
    {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"},
    {D3DFMT_G16R16, "D3DFMT_G16R16"},
    {D3DFMT_A16B16G16R16, "D3DFMT_A16B16G16R16"},
    {D3DFMT_L8, "D3DFMT_L8"},
    {D3DFMT_A8L8, "D3DFMT_A8L8"},
    {D3DFMT_V8U8, "D3DFMT_V8U8"},
    {D3DFMT_L16, "D3DFMT_L16"},
    {D3DFMT_DXT1, "D3DFMT_DXT1"},
    {D3DFMT_DXT2, "D3DFMT_DXT2"},
    {D3DFMT_DXT3, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, "D3DFMT_DXT4"},
    {D3DFMT_DXT5, "D3DFMT_DXT5"},
    {D3DFMT_D16, "D3DFMT_D16"},
    {D3DFMT_D24X8, "D3DFMT_D24X8"},
    {D3DFMT_D32, "D3DFMT_D32"},
    {D3DFMT_R16F, "D3DFMT_R16F"},
    {D3DFMT_G16R16F, "D3DFMT_G16R16F"},
    {D3DFMT_A16B16G16R16F, "D3DFMT_A16B16G16R16F"},
    {D3DFMT_R32F, "D3DFMT_R32F"},
    {D3DFMT_G32R32F, "D3DFMT_G32R32F"},
    {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F"},
};

bool Offered(D3DFORMAT backBuffer, DWORD usage, D3DFORMAT format) {
    return Direct3DCheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, backBuffer, usage,
                                     D3DRTYPE_TEXTURE, format) == D3D_OK;
}

D3DFORMAT FirstOffered(D3DFORMAT backBuffer, DWORD usage, const Candidates& candidates) {
    for (D3DFORMAT format : candidates) {
        if (format != D3DFMT_UNKNOWN && Offered(backBuffer, usage, format)) return format;
    }
    return D3DFMT_UNKNOWN;
}

// Chooses one entry by its rule; false when the entry is one that every device needs.
bool ChooseEntry(int index, const EntryRule& rule, D3DFORMAT backBuffer, DWORD usage) {
    D3DFORMAT chosen = FirstOffered(backBuffer, usage, rule.candidates);
    if (chosen == D3DFMT_UNKNOWN) {
        if (rule.fallback == Fallback::Fail) {
            AppendLogText(rule.miss);
            return false;
        }
        if (rule.fallback == Fallback::None) {
            gPixelFormats.formats[index] = D3DFMT_UNKNOWN;
            AppendLogText(rule.miss);
            return true;
        }
        chosen = gPixelFormats.formats[rule.fallbackEntry];
    }
    gPixelFormats.formats[index] = chosen;
    EmitLogFormat("%sは %s です", rule.label, D3DFormatName(chosen));
    return true;
}

D3DFORMAT ChooseZBufferFormat(D3DFORMAT backBuffer) {
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}) {
        if (Direct3DCheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, backBuffer,
                                           backBuffer, format) == D3D_OK) {
            return format;
        }
    }
    return D3DFMT_UNKNOWN;
}

ColorFormat MaskFormat(int bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
    ColorFormat format;
    SetColorFormatFromMasks(&format, bits, red, green, blue, alpha, 0, 0, 0);
    return format;
}

ColorFormat ChannelFormat(int channels, int channelBits, int isFloat) {
    ColorFormat format;
    SetColorFormatFromMasks(&format, channels * channelBits, 0, 0, 0, 0, channels, channelBits,
                            isFloat);
    return format;
}

ColorFormat DxtFormat(int kind) {
    ColorFormat format = MaskFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    format.dxtKind = static_cast<uint8_t>(kind);
    format.bitsPerPixel = kind == 1 ? 4 : 8;
    return format;
}

const std::array<ColorFormat, kPixelFormatCount>& EntryColorFormats() {
    static const std::array<ColorFormat, kPixelFormatCount> formats = [] {
        std::array<ColorFormat, kPixelFormatCount> f;
        f[0] = MaskFormat(16, 0xF800, 0x07E0, 0x001F, 0);
        f[1] = MaskFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
        f[2] = MaskFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
        f[3] = MaskFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
        f[4] = MaskFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
        f[5] = f[3];
        for (int kind = 1; kind <= 5; ++kind) f[kFormatDxt1 + kind - 1] = DxtFormat(kind);
        f[11] = f[0];
        f[12] = f[1];
        f[13] = f[3];
        f[14] = ChannelFormat(4, 16, 0);
        f[15] = ChannelFormat(4, 16, 1);
        f[16] = ChannelFormat(4, 32, 1);
        f[17] = ChannelFormat(1, 8, 0);
        f[18] = ChannelFormat(1, 16, 0);
        f[19] = ChannelFormat(1, 16, 1);
        f[20] = ChannelFormat(1, 32, 1);
        f[21] = ChannelFormat(2, 8, 0);
        f[22] = ChannelFormat(2, 16, 0);
        f[23] = ChannelFormat(2, 16, 1);
        f[24] = ChannelFormat(2, 32, 1);
        return f;
    }();
    return formats;
}

struct D3DColorFormat {
    D3DFORMAT format;
    ColorFormat colorFormat;
};

const std::vector<D3DColorFormat>& D3DColorFormats() {
    static const std::vector<D3DColorFormat> formats = {
        {D3DFMT_R8G8B8, MaskFormat(24, 0xFF0000, 0xFF00, 0xFF, 0)},
        {D3DFMT_A8R8G8B8, MaskFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)},
        {D3DFMT_X8R8G8B8, MaskFormat(32, 0xFF0000, 0xFF00, 0xFF, 0)},
        {D3DFMT_R5G6B5, MaskFormat(16, 0xF800, 0x07E0, 0x001F, 0)},
        {D3DFMT_X1R5G5B5, MaskFormat(16, 0x7C00, 0x03E0, 0x001F, 0)},
        {D3DFMT_A1R5G5B5, MaskFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
        {D3DFMT_A4R4G4B4, MaskFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000)},
        {D3DFMT_R3G3B2, MaskFormat(8, 0xE0, 0x1C, 0x03, 0)},
        {D3DFMT_A8R3G3B2, MaskFormat(16, 0xE0, 0x1C, 0x03, 0xFF00)},
        {D3DFMT_X4R4G4B4, MaskFormat(16, 0x0F00, 0x00F0, 0x000F, 0)},
        {D3DFMT_A2B10G10R10, MaskFormat(32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000)},
        {D3DFMT_A8B8G8R8, MaskFormat(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000)},
        {D3DFMT_X8B8G8R8, MaskFormat(32, 0xFF, 0xFF00, 0xFF0000, 0)},
        {D3DFMT_G16R16, ChannelFormat(2, 16, 0)},
        {D3DFMT_A2R10G10B10, MaskFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)},
        {D3DFMT_A16B16G16R16, ChannelFormat(4, 16, 0)},
        {D3DFMT_L8, ChannelFormat(1, 8, 0)},
        {D3DFMT_V8U8, ChannelFormat(2, 8, 0)},
        {D3DFMT_L16, ChannelFormat(1, 16, 0)},
        {D3DFMT_R16F, ChannelFormat(1, 16, 1)},
        {D3DFMT_G16R16F, ChannelFormat(2, 16, 1)},
        {D3DFMT_A16B16G16R16F, ChannelFormat(4, 16, 1)},
        {D3DFMT_R32F, ChannelFormat(1, 32, 1)},
        {D3DFMT_G32R32F, ChannelFormat(2, 32, 1)},
        {D3DFMT_A32B32G32R32F, ChannelFormat(4, 32, 1)},
    };
    return formats;
}

}  // namespace

int ChoosePixelFormats(D3DFORMAT backBuffer, int screenBits) {
    gPixelFormats = PixelFormatTable{};
    gPixelFormats.backBufferFormat = backBuffer;
    gPixelFormats.zBufferFormat = ChooseZBufferFormat(backBuffer);
    if (gPixelFormats.zBufferFormat == D3DFMT_UNKNOWN) {
        return AppendLogText("使用できる Zバッファフォーマットが見つかりませんでした\n");
    }
    for (int i = 0; i <= kFormatAlphaTest32; ++i) {
        if (!ChooseEntry(i, kPlainRules[i], backBuffer, 0)) return -1;
    }
    for (int kind = 0; kind < 5; ++kind) {
        D3DFORMAT dxt = kDxtFormats[kind];
        bool offered = Offered(backBuffer, 0, dxt);
        gPixelFormats.formats[kFormatDxt1 + kind] =
            offered ? dxt : gPixelFormats.formats[kind == 0 ? kFormatAlphaTest16 : kFormatAlpha32];
        char text[32];
        std::snprintf(text, sizeof text, "%s です", D3DFormatName(dxt));
        EmitLogFormat(kDxtLabels[kind], offered ? text : "使えません");
    }
    // A 16-bit draw target prefers the back buffer's own 16-bit layout.
    EntryRule target16 = {{D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8},
                          Fallback::None,
                          0,
                          "描画用 16bit カラーフォーマット",
                          "使用できる描画用 16bit カラーフォーマットがありませんでした\n"};
    if (backBuffer == D3DFMT_R5G6B5) {
        target16.candidates = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8};
    }
    ChooseEntry(kFormatDrawTarget16, target16, backBuffer, D3DUSAGE_RENDERTARGET);
    for (int i = kFormatDrawTarget32; i < kPixelFormatCount; ++i) {
        ChooseEntry(i, kDrawTargetRules[i - kFormatDrawTarget32], backBuffer,
                    D3DUSAGE_RENDERTARGET);
    }
    gPixelFormats.drawTargetIndex = screenBits == 32 ? kFormatDrawTarget32 : kFormatDrawTarget16;
    gPixelFormats.alphaTestIndex = screenBits == 32 ? kFormatAlphaTest32 : kFormatAlphaTest16;
    return 0;
}

const ColorFormat* ColorFormatOfFormatIndex(int index) {
    if (index < 0 || index >= kPixelFormatCount) return nullptr;
    return &EntryColorFormats()[index];
}

const ColorFormat* ColorFormatOfD3DFormat(D3DFORMAT format) {
    for (const D3DColorFormat& entry : D3DColorFormats()) {
        if (entry.format == format) return &entry.colorFormat;
    }
    return nullptr;
}

const char* D3DFormatName(D3DFORMAT format) {
    for (const FormatName& entry : kFormatNames) {
        if (entry.format == format) return entry.name;
    }
    return "D3DFMT_UNKNOWN";
}

// Everything settled once per device: the capabilities, the pixel-format table, the back buffer,
// sub back buffer, Z buffer and brightness volume texture, and a timed choice between locking
// the back buffer and copying it through a draw target when the screen is read; the Direct3D
// objects behind graphs, and their re-creation with everything else on a new device.
#include "graphics/device_resources.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/clocks.h"
#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/memory_textures.h"
#include "graphics/pixel_format_table.h"
#include "graphics/screen_state.h"
#include "graphics/vertical_blank.h"

DeviceResourceState gDeviceResources = {};

namespace {

constexpr int kMaxRenderTargets = 16;
constexpr int kBrightnessSize = 128;
constexpr int kBrightnessWhiteCorner = 8;
constexpr int kLockTestPasses = 3;

bool IsShaderModel2(DWORD version) {
    return (version & 0xFFFF) >= 0x200;
}

template <class T>
void ReleaseAndClear(T** object) {
    ReleaseComObject(*object);
    *object = nullptr;
}

void ReadDeviceCaps() {
    D3DCAPS9 caps{};
    DeviceGetDeviceCaps(&caps);
    DeviceResourceState& r = gDeviceResources;
    r.simultaneousRenderTargets =
        std::min(static_cast<int32_t>(caps.NumSimultaneousRTs), kMaxRenderTargets);
    r.tempRegister = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
    r.nativeBlendOp = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
    r.nonPow2Conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    r.pow2Only = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    r.squareOnly = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
    r.maxTextureWidth =
        caps.MaxTextureWidth != 0 ? static_cast<int32_t>(caps.MaxTextureWidth) : 256;
    r.maxTextureHeight =
        caps.MaxTextureHeight != 0 ? static_cast<int32_t>(caps.MaxTextureHeight) : 256;
    r.maxTextureSize = std::min(r.maxTextureWidth, r.maxTextureHeight);
    r.maxPrimitiveCount = static_cast<int32_t>(caps.MaxPrimitiveCount);
    r.maxVertexIndex = static_cast<int32_t>(caps.MaxVertexIndex);
    r.vertexShaderVersion = caps.VertexShaderVersion;
    r.pixelShaderVersion = caps.PixelShaderVersion;
    r.vertexShaderModel2 = IsShaderModel2(caps.VertexShaderVersion);
    r.pixelShaderModel2 = IsShaderModel2(caps.PixelShaderVersion);
}

void LogDeviceCaps() {
    const DeviceResourceState& r = gDeviceResources;
    EmitLogFormat("一度に描画できるプリミティブの最大数:%d", r.maxPrimitiveCount);
    EmitLogFormat("対応している最大頂点インデックス:%d", r.maxVertexIndex);
    EmitLogFormat("同時にレンダリングできるバッファの数:%d", r.simultaneousRenderTargets);
    EmitLogFormat("テクスチャの最大幅:%d", r.maxTextureWidth);
    EmitLogFormat("テクスチャの最大高さ:%d", r.maxTextureHeight);
    EmitLogFormat("テクスチャステージテンポラリレジスタ：%s",
                  r.tempRegister ? "使用可" : "使用不可");
    EmitLogFormat("減算合成のハードウェア対応：%s",
                  r.nativeBlendOp ? "ネイティブ" : "エミュレート");
    if (gDirect3D.mixedVertexProcessing) {
        EmitLogFormat("ハードウェア頂点シェーダーバージョンコード：%x", r.vertexShaderVersion);
        AppendLogText("エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\n");
    } else {
        EmitLogFormat("ハードウェア頂点シェーダーバージョンコード：%x",
                      gDirect3D.vertexShaderVersion);
        EmitLogFormat("エミュレーション頂点シェーダーバージョンコード：%x", r.vertexShaderVersion);
    }
    EmitLogFormat("ピクセルシェーダーバージョンコード：%x", r.pixelShaderVersion);
}

void LogBackBufferFormat(D3DFORMAT format) {
    if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5) {
        EmitLogFormat("画面のフォーマットは %s です", D3DFormatName(format));
    } else {
        EmitLogFormat("バックバッファが対応していないフォーマット %d です",
                      static_cast<int>(format));
    }
}

// Copies `rows` rows of `rowBytes` from one lock into a buffer (or another lock).
void CopyRows(uint8_t* dest, int destPitch, const D3DLOCKED_RECT& source, int rowBytes, int rows) {
    const auto* from = static_cast<const uint8_t*>(source.pBits);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(dest + static_cast<size_t>(y) * destPitch,
                    from + static_cast<size_t>(y) * source.Pitch, static_cast<size_t>(rowBytes));
    }
}

// Microseconds to read an s x s corner of the back buffer by locking it; -1 when it cannot.
int64_t TimeBackBufferLock(int size, int pixelBytes) {
    D3DFORMAT format = gPixelFormats.backBufferFormat;
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(DeviceCreateOffscreenPlainSurface(size, size, format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr))) {
        return -1;
    }
    int64_t start = GetMicrosecondCount();
    RECT rect = {0, 0, size, size};
    D3DLOCKED_RECT to{}, from{};
    int64_t time = -1;
    if (SUCCEEDED(SurfaceLockRect(copy, &to, nullptr, 0))) {
        if (SUCCEEDED(
                SurfaceLockRect(gDeviceResources.backBuffer, &from, &rect, D3DLOCK_READONLY))) {
            CopyRows(static_cast<uint8_t*>(to.pBits), to.Pitch, from, size * pixelBytes, size);
            SurfaceUnlockRect(gDeviceResources.backBuffer);
            time = GetMicrosecondCount() - start;
        }
        SurfaceUnlockRect(copy);
    }
    ReleaseComObject(copy);
    return time;
}

// Microseconds to read the same corner through a draw target and GetRenderTargetData.
int64_t TimeBackBufferCopy(int size, int pixelBytes) {
    D3DFORMAT format = gPixelFormats.backBufferFormat;
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* copy = nullptr;
    int64_t time = -1;
    if (SUCCEEDED(DeviceCreateRenderTarget(size, size, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                           &target, nullptr)) &&
        SUCCEEDED(DeviceCreateOffscreenPlainSurface(size, size, format, D3DPOOL_SYSTEMMEM, &copy,
                                                    nullptr))) {
        int64_t start = GetMicrosecondCount();
        RECT rect = {0, 0, size, size};
        D3DLOCKED_RECT from{};
        std::vector<uint8_t> rows(static_cast<size_t>(size) * size * pixelBytes);
        if (SUCCEEDED(DeviceStretchRect(gDeviceResources.backBuffer, &rect, target, nullptr,
                                        D3DTEXF_NONE)) &&
            SUCCEEDED(DeviceGetRenderTargetData(target, copy)) &&
            SUCCEEDED(SurfaceLockRect(copy, &from, nullptr, D3DLOCK_READONLY))) {
            CopyRows(rows.data(), size * pixelBytes, from, size * pixelBytes, size);
            SurfaceUnlockRect(copy);
            time = GetMicrosecondCount() - start;
        }
    }
    ReleaseComObject(target);
    ReleaseComObject(copy);
    return time;
}

void MeasureBackBufferLock() {
    int size = 256;
    while (size > gScreen.screenWidth || size > gScreen.screenHeight) size /= 2;
    const ColorFormat* format = ColorFormatOfD3DFormat(gPixelFormats.backBufferFormat);
    int pixelBytes = format != nullptr ? format->pixelBytes : 4;
    int64_t lockTime = -1, copyTime = -1;
    for (int pass = 0; pass < kLockTestPasses && size > 0; ++pass) {
        lockTime = TimeBackBufferLock(size, pixelBytes);
        copyTime = TimeBackBufferCopy(size, pixelBytes);
    }
    gDeviceResources.useBackBufferLock = 0;
    if (lockTime < 0 || copyTime < 0) {
        AppendLogText("バックバッファロックはロックできません\n");
        return;
    }
    // The log's unit label is the system's own; the values are microseconds.
    EmitLogFormat(
        "バックバッファロック転送の時間:%dnsec  "
        "一時的な描画可能バッファを使用した転送の時間:%dnsec",
        static_cast<int>(lockTime), static_cast<int>(copyTime));
    if (lockTime < copyTime) {
        gDeviceResources.useBackBufferLock = 1;
        AppendLogText("バックバッファロックを使用します\n");
    } else {
        AppendLogText("バックバッファロックを使用しません\n");
    }
}

int SmallestPowerOfTwoAtLeast(int value) {
    int size = 1;
    while (size < value) size *= 2;
    return size;
}

}  // namespace

int SetupDeviceResources() {
    if (!HasDirect3DObject()) return -1;
    ReleaseDirect3DDevice();
    D3DCAPS9 adapterCaps{};
    Direct3DGetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &adapterCaps);
    if ((adapterCaps.PixelShaderVersion & 0xFFFF) < 0x200) {
        gDirect3D.multisampleType = 0;
        gDirect3D.multisampleQuality = 0;
    }
    int created = CreateDirect3DDevice();
    if (created < 0) return created;
    MeasureVerticalBlankPeriod();

    if (FAILED(DeviceGetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &gDeviceResources.backBuffer))) {
        return -1;
    }
    AppendLogText("成功\n");
    ReadDeviceCaps();
    D3DADAPTER_IDENTIFIER9 identifier{};
    Direct3DGetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
    EmitLogFormat("Driver:%s  Description:%s", identifier.Driver, identifier.Description);

    D3DSURFACE_DESC desc{};
    SurfaceGetDesc(gDeviceResources.backBuffer, &desc);
    LogBackBufferFormat(desc.Format);
    if (ChoosePixelFormats(desc.Format, QueryColorBitDepth()) == -1) return -1;
    LogDeviceCaps();
    MeasureBackBufferLock();
    return 0;
}

void ReleaseDeviceSurfaces() {
    DeviceResourceState& r = gDeviceResources;
    ReleaseAndClear(&r.backBuffer);
    ReleaseAndClear(&r.subBackBuffer);
    ReleaseAndClear(&r.zBuffer);
    ReleaseAndClear(&r.brightnessTexture);
}

int CreateZBuffer() {
    DeviceResourceState& r = gDeviceResources;
    ReleaseAndClear(&r.zBuffer);
    AppendLogText("Ｚバッファを作成します.... ");
    int width = r.zBufferWidth, height = r.zBufferHeight;
    if (width == 0 || height == 0) {
        width = SmallestPowerOfTwoAtLeast(gScreen.screenWidth);
        height = SmallestPowerOfTwoAtLeast(gScreen.screenHeight);
    }
    if (FAILED(DeviceCreateDepthStencilSurface(
            width, height, gPixelFormats.zBufferFormat,
            static_cast<D3DMULTISAMPLE_TYPE>(gDirect3D.multisampleType),
            static_cast<DWORD>(gDirect3D.multisampleQuality), TRUE, &r.zBuffer, nullptr)) ||
        FAILED(DeviceSetDepthStencilSurface(r.zBuffer)) ||
        FAILED(DeviceClear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0))) {
        ReleaseAndClear(&r.zBuffer);
        return AppendLogText("Ｚバッファの作成に失敗しました\n");
    }
    AppendLogText("成功\n");
    return 0;
}

int CreateSubBackBuffer() {
    DeviceResourceState& r = gDeviceResources;
    ReleaseAndClear(&r.subBackBuffer);
    if (FAILED(DeviceCreateRenderTarget(
            gScreen.screenWidth, gScreen.screenHeight, gPixelFormats.backBufferFormat,
            static_cast<D3DMULTISAMPLE_TYPE>(gDirect3D.multisampleType),
            static_cast<DWORD>(gDirect3D.multisampleQuality), FALSE, &r.subBackBuffer, nullptr))) {
        r.subBackBuffer = nullptr;
        return AppendLogText("サブバックバッファの作成に失敗しました\n");
    }
    return 0;
}

int CreateBrightnessVolumeTexture() {
    DeviceResourceState& r = gDeviceResources;
    ReleaseAndClear(&r.brightnessTexture);
    IDirect3DVolumeTexture9* source = nullptr;
    if (FAILED(DeviceCreateVolumeTexture(kBrightnessSize, kBrightnessSize, kBrightnessSize, 1, 0,
                                         D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &r.brightnessTexture,
                                         nullptr))) {
        r.brightnessTexture = nullptr;
        return AppendLogText(
            "RGBカラーを輝度を最大にしたRGB値に変換するためのボリュームテクスチャの作成に失敗しまし"
            "た\n");
    }
    if (FAILED(DeviceCreateVolumeTexture(kBrightnessSize, kBrightnessSize, kBrightnessSize, 1, 0,
                                         D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &source, nullptr))) {
        ReleaseAndClear(&r.brightnessTexture);
        return AppendLogText(
            "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャの作成に失"
            "敗"
            "しました\n");
    }
    D3DLOCKED_BOX box{};
    if (FAILED(source->LockBox(0, &box, nullptr, 0))) {
        ReleaseComObject(source);
        ReleaseAndClear(&r.brightnessTexture);
        return AppendLogText(
            "RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャのロックに"
            "失"
            "敗しました\n");
    }
    for (int z = 0; z < kBrightnessSize; ++z) {
        for (int y = 0; y < kBrightnessSize; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(box.pBits) +
                                                    static_cast<size_t>(z) * box.SlicePitch +
                                                    static_cast<size_t>(y) * box.RowPitch);
            for (int x = 0; x < kBrightnessSize; ++x) {
                int red = 255, green = 255, blue = 255;
                if (x >= kBrightnessWhiteCorner || y >= kBrightnessWhiteCorner ||
                    z >= kBrightnessWhiteCorner) {
                    MaxBrightnessColor(2 * x, 2 * y, 2 * z, &red, &green, &blue);
                }
                row[x] = D3DCOLOR_ARGB(255, red, green, blue);
            }
        }
    }
    source->UnlockBox(0);
    HRESULT updated = DeviceUpdateTexture(source, r.brightnessTexture);
    ReleaseComObject(source);
    if (FAILED(updated)) {
        ReleaseAndClear(&r.brightnessTexture);
        return -1;
    }
    return 0;
}

void MaxBrightnessColor(int red, int green, int blue, int* outRed, int* outGreen, int* outBlue) {
    int c[3] = {std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255)};
    int* out[3] = {outRed, outGreen, outBlue};
    if (c[0] == c[1] && c[1] == c[2]) {
        *outRed = *outGreen = *outBlue = 255;
        return;
    }
    // Channel indices of the largest, middle and smallest value (the volume texture calls this
    // two million times, so plain comparisons rather than a sort).
    int hi = c[0] >= c[1] ? (c[0] >= c[2] ? 0 : 2) : (c[1] >= c[2] ? 1 : 2);
    int lo = c[0] < c[1] ? (c[0] < c[2] ? 0 : 2) : (c[1] < c[2] ? 1 : 2);
    int mid = 3 - hi - lo;
    int max = c[hi], middle = c[mid], min = c[lo];
    int k = (max - min) * 255 / max;
    int t = 255 + ((min - middle) * 255) / (max - min);
    *out[hi] = 255;
    *out[mid] = 255 - (t * k) / 255;
    *out[lo] = 255 - k;
}

int CreateGraphTextureObjects(GraphTextureInfo* info, int fromAsyncWorker) {
    if (!HasDirect3DDevice()) return -1;
    if (!info->flags.useTexture || info->pieceCount == 0) return 0;
    D3DFORMAT format = gPixelFormats.formats[info->formatIndex];
    if (format == D3DFMT_UNKNOWN) {
        return AppendLogText(
            "指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
    }
    // An Ex device has no managed pool: its textures are filled through system-memory ones, and
    // are dynamic so that they can still be locked and read back as managed ones can.
    bool exDevice = gDirect3D.deviceEx != nullptr;
    if (exDevice) info->flags.managedPool = 0;
    const TextureCreateFlags& f = info->flags;
    const int w = fromAsyncWorker;
    for (int i = 0; i < info->pieceCount; ++i) {
        TexturePiece& p = info->pieces[i];
        auto width = static_cast<UINT>(p.texWidth), height = static_cast<UINT>(p.texHeight);
        int32_t type = f.multisampleCount, quality = f.multisampleQuality;
        if (f.drawTarget && type != 0) {
            ProbeMultisampleTypeMarshalled(format, &type, &quality, 0, w);
            if (type != 0 && p.multisampleSurface == nullptr &&
                FAILED(MarshalCreateRenderTarget(
                    width, height, format, static_cast<D3DMULTISAMPLE_TYPE>(type),
                    static_cast<DWORD>(quality), FALSE, &p.multisampleSurface, nullptr, w))) {
                p.multisampleSurface = nullptr;
                return AppendLogText("書き込み専用サーフェスの作成に失敗しました\n");
            }
        }
        bool needsDepth = f.drawTarget && (p.multisampleSurface != nullptr || info->drawTargetZ);
        if (!needsDepth) {
            MarshalReleaseComObject(p.depthSurface, w);
            p.depthSurface = nullptr;
        } else if (p.depthSurface == nullptr &&
                   FAILED(MarshalCreateDepthStencilSurface(
                       width, height, D3DFMT_D16,
                       static_cast<D3DMULTISAMPLE_TYPE>(p.multisampleSurface != nullptr ? type : 0),
                       static_cast<DWORD>(p.multisampleSurface != nullptr ? quality : 0), TRUE,
                       &p.depthSurface, nullptr, w))) {
            p.depthSurface = nullptr;
            return AppendLogText("書き込み専用マルチサンプル深度サーフェスの作成に失敗しました\n");
        }
        bool created = false;
        if (p.texture == nullptr) {
            D3DPOOL pool = f.managedPool && !f.drawTarget ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
            DWORD usage = f.drawTarget ? D3DUSAGE_RENDERTARGET : exDevice ? D3DUSAGE_DYNAMIC : 0;
            if (FAILED(MarshalCreateTexture(width, height, static_cast<UINT>(info->mipLevels),
                                            usage, format, pool, &p.texture, nullptr, w))) {
                p.texture = nullptr;
                return AppendLogText("テクスチャの作成に失敗しました\n");
            }
            created = true;
        }
        if (p.surface == nullptr &&
            FAILED(MarshalTextureGetSurfaceLevel(p.texture, 0, &p.surface, w))) {
            p.surface = nullptr;
            return AppendLogText("テクスチャのサーフェスアドレスの取得に失敗しました\n");
        }
        // A new draw target starts black, not with what the memory held.
        if (created && f.drawTarget) MarshalColorFill(p.surface, nullptr, 0, w);
    }
    return 0;
}

int ProbeMultisampleTypeMarshalled(D3DFORMAT format, int32_t* type, int32_t* quality, int exact,
                                   int fromWorker) {
    return MarshalToMainThread<ProbeMultisampleType>(fromWorker, format, type, quality, exact);
}

int ResolveMultisampleSurface(const TexturePiece* piece) {
    DeviceStretchRect(piece->multisampleSurface, nullptr, piece->surface, nullptr, D3DTEXF_NONE);
    return 0;
}

IDirect3DSurface9* ScreenSurface() {
    return gDeviceResources.subBackBuffer != nullptr ? gDeviceResources.subBackBuffer
                                                     : gDeviceResources.backBuffer;
}

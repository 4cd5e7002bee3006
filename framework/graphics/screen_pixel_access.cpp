// Pixel access to the screen: the back buffer (or sub back buffer) is locked directly when that
// was measured faster, else copied through a temporary draw target into system memory; in
// software mode the screen image is handed out in place.
#include "graphics/screen_pixel_access.h"

#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/pixel_format_table.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"

namespace {

struct PixelAccessState {
    int32_t open;
    IDirect3DSurface9* locked;
    IDirect3DSurface9* copy;  // the system-memory copy when one was made
};

PixelAccessState gPixelAccess = {0, nullptr, nullptr};

// Copies the rectangle of the surface into a new system-memory surface and locks it.
int LockCopy(IDirect3DSurface9* surface, D3DFORMAT format, const RECT& rect, D3DLOCKED_RECT* lock) {
    UINT width = static_cast<UINT>(rect.right - rect.left);
    UINT height = static_cast<UINT>(rect.bottom - rect.top);
    IDirect3DSurface9* target = nullptr;
    if (FAILED(DeviceCreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                        &target, nullptr))) {
        return AppendLogText("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
    }
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(DeviceCreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr))) {
        ReleaseComObject(target);
        return AppendLogText(
            "バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
    }
    bool done = SUCCEEDED(DeviceStretchRect(surface, &rect, target, nullptr, D3DTEXF_NONE)) &&
                SUCCEEDED(DeviceGetRenderTargetData(target, copy)) &&
                SUCCEEDED(SurfaceLockRect(copy, lock, nullptr, 0));
    ReleaseComObject(target);
    if (!done) {
        ReleaseComObject(copy);
        return -1;
    }
    gPixelAccess.locked = gPixelAccess.copy = copy;
    return 0;
}

int OpenDeviceScreen(const RECT& rect, GraphImage* image, int readOnly) {
    IDirect3DSurface9* surface = gDeviceResources.subBackBuffer != nullptr
                                     ? gDeviceResources.subBackBuffer
                                     : gDeviceResources.backBuffer;
    D3DFORMAT format = gPixelFormats.backBufferFormat;
    const ColorFormat* colorFormat = ColorFormatOfD3DFormat(format);
    if (surface == nullptr || colorFormat == nullptr) return -1;
    D3DLOCKED_RECT lock{};
    if (gDeviceResources.useBackBufferLock &&
        SUCCEEDED(SurfaceLockRect(surface, &lock, &rect, readOnly ? D3DLOCK_READONLY : 0))) {
        gPixelAccess.locked = surface;
    } else if (LockCopy(surface, format, rect, &lock) == -1) {
        return -1;
    }
    image->format = *colorFormat;
    image->pitch = lock.Pitch;
    image->pixels = lock.pBits;
    return 0;
}

int OpenSoftwareScreen(const RECT& rect, GraphImage* image) {
    const MEMIMG& screen = gSoftwareScreen.screen;
    if (!IsMemImgValid(&screen)) return -1;
    const ColorFormat& format = *screen.body->format;
    image->format = format;
    image->pitch = screen.body->pitch;
    image->pixels = screen.pixels + static_cast<size_t>(rect.top) * screen.body->pitch +
                    static_cast<size_t>(rect.left) * format.pixelBytes;
    return 0;
}

}  // namespace

int OpenScreenPixelAccess(const RECT* rect, GraphImage* image, int readOnly) {
    if (rect == nullptr || image == nullptr || gPixelAccess.open) return -1;
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (rect->left < 0 || rect->left >= rect->right || rect->right > gScreen.screenWidth ||
        rect->top < 0 || rect->top >= rect->bottom || rect->bottom > gScreen.screenHeight) {
        return -1;
    }
    int opened = IsDirect3DMode() ? OpenDeviceScreen(*rect, image, readOnly)
                                  : OpenSoftwareScreen(*rect, image);
    if (opened == -1) return -1;
    image->width = rect->right - rect->left;
    image->height = rect->bottom - rect->top;
    image->mipCount = 0;
    gPixelAccess.open = 1;
    return 0;
}

int CloseScreenPixelAccess() {
    if (gPixelAccess.locked != nullptr) SurfaceUnlockRect(gPixelAccess.locked);
    ReleaseComObject(gPixelAccess.copy);
    gPixelAccess = PixelAccessState{0, nullptr, nullptr};
    return 0;
}

// Main-thread marshalling of Direct3D calls: loading code that may run on an asynchronous-loading
// worker calls these with fromWorker set, and the call is handed to the main thread (which alone
// touches the device) and its result returned; with fromWorker 0 the call is made at once.
#pragma once

#include <platform/d3d9.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "core/async_load.h"

namespace marshal_detail {

template <class T>
uintptr_t ToWord(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<uintptr_t>(value);
    } else {
        return static_cast<uintptr_t>(value);
    }
}

template <class T>
T FromWord(uintptr_t word) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(word);
    } else {
        return static_cast<T>(word);
    }
}

template <auto Function>
struct MainThreadCall;

// The call of Function with the request's words as its arguments, each a whole word so that
// pointers keep their full width.
template <class Result, class... Args, Result (*Function)(Args...)>
struct MainThreadCall<Function> {
    static_assert(sizeof...(Args) <= kMainThreadRequestWords);
    static_assert(sizeof(Result) <= sizeof(int32_t));

    static int32_t Run(MainThreadRequest* request) {
        return RunWith(request->arguments, std::index_sequence_for<Args...>{});
    }

    template <size_t... I>
    static int32_t RunWith(const uintptr_t* words, std::index_sequence<I...>) {
        return static_cast<int32_t>(Function(FromWord<Args>(words[I])...));
    }

    static Result Call(int fromWorker, Args... args) {
        if (!fromWorker) return Function(args...);
        MainThreadRequest request{};
        request.function = Run;
        size_t i = 0;
        ((request.arguments[i++] = ToWord(args)), ...);
        return static_cast<Result>(CallOnMainThread(&request));
    }
};

}  // namespace marshal_detail

// Function(args...) on the main thread when fromWorker is set (from a loading worker only),
// else at once; its result either way.
template <auto Function, class... Args>
auto MarshalToMainThread(int fromWorker, Args... args) {
    return marshal_detail::MainThreadCall<Function>::Call(fromWorker, args...);
}

ULONG MarshalReleaseComObject(IUnknown* object, int fromWorker);
HRESULT MarshalCreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                  D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                  IDirect3DSurface9** surface, HANDLE* shared, int fromWorker);
HRESULT MarshalCreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                         D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                                         BOOL discard, IDirect3DSurface9** surface, HANDLE* shared,
                                         int fromWorker);
HRESULT MarshalCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                             D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared,
                             int fromWorker);
HRESULT MarshalColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color,
                         int fromWorker);
HRESULT MarshalCreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DSurface9** surface, HANDLE* shared,
                                           int fromWorker);
HRESULT MarshalUpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                             IDirect3DSurface9* dest, const POINT* destPoint, int fromWorker);
HRESULT MarshalUpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest,
                             int fromWorker);
HRESULT MarshalCreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader,
                                  int fromWorker);
HRESULT MarshalCreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader, int fromWorker);
// -1 without a device or when the buffer cannot be made, else 0.
int MarshalCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                              IDirect3DVertexBuffer9** buffer, int fromWorker);
int MarshalCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                             IDirect3DIndexBuffer9** buffer, int fromWorker);
HRESULT MarshalTextureGetSurfaceLevel(IDirect3DTexture9* texture, UINT level,
                                      IDirect3DSurface9** surface, int fromWorker);
HRESULT MarshalTextureLockRect(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                               const RECT* rect, DWORD flags, int fromWorker);
HRESULT MarshalTextureUnlockRect(IDirect3DTexture9* texture, UINT level, int fromWorker);
HRESULT MarshalSurfaceLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                               DWORD flags, int fromWorker);
HRESULT MarshalSurfaceUnlockRect(IDirect3DSurface9* surface, int fromWorker);
HRESULT MarshalBufferLock(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data,
                          DWORD flags, int fromWorker);
HRESULT MarshalBufferLock(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data,
                          DWORD flags, int fromWorker);
HRESULT MarshalBufferUnlock(IDirect3DVertexBuffer9* buffer, int fromWorker);
HRESULT MarshalBufferUnlock(IDirect3DIndexBuffer9* buffer, int fromWorker);

// 1 when the DirectDraw object and the main window both exist, else 0.
int IsDirectDrawWindowReady();

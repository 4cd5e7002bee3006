// The software Direct3D 9 device: its state, its implicit swap chain and the methods the
// framework calls. Drawing is in draw.cpp, copies and clears in copies.cpp.
#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "resources.h"

constexpr int kTextureStages = 8;
constexpr int kSamplers = 16;
constexpr int kMaxRenderTargets = 4;
constexpr int kRenderStateCount = 256;
constexpr int kStageStateCount = 29;
constexpr int kSamplerStateCount = 14;
constexpr int kVertexFloatConstants = 256;
constexpr int kPixelFloatConstants = 224;
constexpr int kIntConstants = 16;
constexpr int kBoolConstants = 16;
constexpr UINT kMaxFrameLatency = 16;
constexpr UINT kDefaultFrameLatency = 3;

struct LightSlot {
    D3DLIGHT9 light;
    bool enabled;
};

struct DeviceState {
    DWORD renderStates[kRenderStateCount];
    DWORD stageStates[kTextureStages][kStageStateCount];
    DWORD samplerStates[kSamplers][kSamplerStateCount];
    IDirect3DBaseTexture9* textures[kSamplers];
    Surface* renderTargets[kMaxRenderTargets];
    Surface* depthStencil;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    D3DMATRIX view;
    D3DMATRIX projection;
    D3DMATRIX world[256];
    D3DMATRIX textureMatrices[8];
    D3DMATERIAL9 material;
    std::vector<LightSlot> lights;
    DWORD fvf;
    VertexDeclaration* declaration;
    VertexShader* vertexShader;
    PixelShader* pixelShader;
    ShaderFloat4 vertexFloats[kVertexFloatConstants];
    int vertexInts[kIntConstants][4];
    BOOL vertexBools[kBoolConstants];
    ShaderFloat4 pixelFloats[kPixelFloatConstants];
    int pixelInts[kIntConstants][4];
    BOOL pixelBools[kBoolConstants];
    bool inScene;
    BOOL dialogBoxMode;
};

class Device;
struct DrawCache;

// Swap chain 0: shares the device's reference count, as in Direct3D 9.
struct SwapChain final : ComObject<IDirect3DSwapChain9, gD3d9Objects, IID_IDirect3DSwapChain9> {
    explicit SwapChain(Device* device) : device(device) {}
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow,
                    const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    Device* device;
};

class Device final : public ResourceDevice {
public:
    // D3DERR_INVALIDCALL for parameters the device cannot honour, E_OUTOFMEMORY. `ex` makes
    // an Ex device: no managed pool, hangs instead of being lost, answers its interface.
    static HRESULT Create(IDirect3D9* direct3d, HWND focusWindow, DWORD behavior,
                          D3DPRESENT_PARAMETERS* parameters, bool ex, Device** device);
    ~Device() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow,
                    const RGNDATA* dirtyRegion) override;
    HRESULT SetDialogBoxMode(BOOL enable) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                               D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                               IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                      IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;

    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                          IDirect3DSurface9* dest, const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;

    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT SetScissorRect(const RECT* rect) override;

    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                            UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                   UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                   const void* vertices, UINT stride) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT SetFVF(DWORD fvf) override;

    HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count) override;
    HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
    HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count) override;
    HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override;

    HRESULT SetMaximumFrameLatency(UINT maxLatency) override;

    // Presents through the implicit swap chain (both Present methods end here).
    HRESULT PresentBackBuffer(const RECT* sourceRect, const RECT* destRect, HWND destWindow);
    // Drops the bindings of an object that is going away.
    void Forget(const void* object) override;
    // Test hook: the device becomes lost (an Ex device hangs).
    void Lose();

    DeviceState state{};
    D3DPRESENT_PARAMETERS presentParams{};
    std::unique_ptr<SwapChain> swapChain;
    std::unique_ptr<Surface> backBuffer;
    std::unique_ptr<Surface> autoDepthStencil;  // with EnableAutoDepthStencil
    // The last draw's pipeline and vertex memory (draw.cpp); shared_ptr because only draw.cpp
    // knows the type.
    std::shared_ptr<DrawCache> drawCache;
    UINT maximumFrameLatency = kDefaultFrameLatency;

protected:
    bool Answers(REFIID iid) const override;

private:
    Device() = default;
    // Direct3D devices belong to the thread that made them; other threads are refused.
    bool WrongThread() const { return std::this_thread::get_id() != thread_; }
    // A pool no resource of this device may live in.
    bool IsPoolRefused(D3DPOOL pool) const;
    // The checks shared by the creation methods; D3D_OK when the request can be met.
    HRESULT CheckSurfaceRequest(UINT width, UINT height, D3DFORMAT format, DWORD usage,
                                D3DRESOURCETYPE type, HANDLE* shared) const;
    void ResetState();
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride,
                 const void* indices, D3DFORMAT indexFormat, UINT minVertexIndex, UINT vertexCount);

    IDirect3D9* direct3d_ = nullptr;
    HWND focusWindow_ = nullptr;
    std::thread::id thread_;
    bool ex_ = false;
    enum class LossState { None, Lost, NotReset, Hung } loss_ = LossState::None;
};

// The device's object behind an interface pointer it handed out; null for objects of
// another device.
Surface* OwnSurface(Device* device, IDirect3DSurface9* surface);

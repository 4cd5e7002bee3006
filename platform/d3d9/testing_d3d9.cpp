// Test hooks of the software Direct3D device: the reported profile, forced loss, pitch
// padding, live objects and read-back of surfaces and of the last presented frame.
#include "platform/testing_d3d9.h"

#include "device.h"

namespace {

std::vector<DWORD> DecodeImage(D3DFORMAT format, const BYTE* bits, UINT pitch, UINT width,
                               UINT height) {
    const FormatInfo* info = FindFormatInfo(format);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y) * width + x] = DecodePixel(
                format, bits + static_cast<size_t>(y) * pitch + x * info->bytesPerPixel);
        }
    }
    return pixels;
}

Surface* AsSurface(IDirect3DSurface9* surface) {
    return dynamic_cast<Surface*>(surface);
}

const DeviceState& StateOf(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->state;
}

}  // namespace

void TestD3d9SetProfile(const TestD3d9Profile& profile) {
    gD3d9.profile = profile;
}

void TestD3d9Reset() {
    gD3d9.profile = TestD3d9DefaultProfile();
    gD3d9.pitchPadding = 0;
    gD3d9.generalSpansOnly = GeneralSpansWanted();
    gD3d9.keepPixels = true;
    gD3d9.pathCounts = {};
    gD3d9.keepPresents = false;
    gD3d9.presentCount = 0;
    gD3d9.lastPresent = {};
    gD3d9.presentedBits.clear();
    gD3d9.recordCalls = false;
    gD3d9.calls.clear();
}

void TestD3d9SetGeneralSpansOnly(bool on) {
    gD3d9.generalSpansOnly = on;
}

void TestD3d9KeepPixels(bool on) {
    gD3d9.keepPixels = on;
}

TestD3d9PathCounts TestD3d9CountPaths() {
    return gD3d9.pathCounts;
}

void TestD3d9LoseDevices() {
    for (Device* device : gD3d9.devices) device->Lose();
}

// Whole 32-bit words, as real pitches are.
void TestD3d9SetPitchPadding(UINT bytes) {
    gD3d9.pitchPadding = (bytes + 3) / 4 * 4;
}

int TestD3d9LiveObjects() {
    return gD3d9Objects.live.load();
}

std::vector<DWORD> TestD3d9ReadSurface(IDirect3DSurface9* surface, UINT* width, UINT* height) {
    Surface* s = AsSurface(surface);
    if (s == nullptr || s->IsDepth()) return {};
    if (width != nullptr) *width = s->width;
    if (height != nullptr) *height = s->height;
    if (s->info->blockBytes != 0) {
        UINT stride;
        DWORD orMask;
        const DWORD* texels = s->Texels(&stride, &orMask);
        return std::vector<DWORD>(texels, texels + static_cast<size_t>(s->width) * s->height);
    }
    return DecodeImage(s->format, s->bits.get(), s->pitch, s->width, s->height);
}

DWORD TestD3d9ReadPixel(IDirect3DSurface9* surface, UINT x, UINT y) {
    UINT width = 0, height = 0;
    std::vector<DWORD> pixels = TestD3d9ReadSurface(surface, &width, &height);
    if (x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * width + x];
}

float TestD3d9ReadDepth(IDirect3DSurface9* surface, UINT x, UINT y) {
    Surface* s = AsSurface(surface);
    if (s == nullptr || !s->IsDepth() || x >= s->width || y >= s->height) return -1.0f;
    return static_cast<float>(static_cast<double>(ReadDepth(s->format, s->At(x, y))) /
                              DepthMaxValue(s->format));
}

void TestD3d9KeepPresents(bool on) {
    gD3d9.keepPresents = on;
}

bool TestD3d9LastPresent(TestD3d9Frame* frame) {
    if (gD3d9.presentCount == 0) return false;
    const D3d9PresentedFrame& last = gD3d9.lastPresent;
    frame->window = last.window;
    frame->format = last.format;
    frame->width = last.width;
    frame->height = last.height;
    frame->pixels =
        DecodeImage(last.format, last.bits, static_cast<UINT>(last.pitch), last.width, last.height);
    frame->source = last.source;
    frame->dest = last.dest;
    frame->wholeClientArea = last.wholeClientArea;
    frame->presentCount = gD3d9.presentCount;
    return true;
}

DWORD TestD3d9ReadRenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state) {
    return state < kRenderStateCount ? StateOf(device).renderStates[state] : 0;
}

DWORD TestD3d9ReadStageState(IDirect3DDevice9* device, DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
    return stage < kTextureStages && type < kStageStateCount
               ? StateOf(device).stageStates[stage][type]
               : 0;
}

DWORD TestD3d9ReadSamplerState(IDirect3DDevice9* device, DWORD sampler, D3DSAMPLERSTATETYPE type) {
    return sampler < kSamplers && type < kSamplerStateCount
               ? StateOf(device).samplerStates[sampler][type]
               : 0;
}

IDirect3DBaseTexture9* TestD3d9ReadTexture(IDirect3DDevice9* device, DWORD stage) {
    return stage < kSamplers ? StateOf(device).textures[stage] : nullptr;
}

D3DMATRIX TestD3d9ReadTransform(IDirect3DDevice9* device, D3DTRANSFORMSTATETYPE state) {
    const DeviceState& s = StateOf(device);
    if (state == D3DTS_VIEW) return s.view;
    if (state == D3DTS_PROJECTION) return s.projection;
    if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
        return s.textureMatrices[state - D3DTS_TEXTURE0];
    if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) return s.world[state - D3DTS_WORLD];
    return D3DMATRIX{};
}

UINT TestD3d9ReadMaximumFrameLatency(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->maximumFrameLatency;
}

bool TestD3d9InScene(IDirect3DDevice9* device) {
    return StateOf(device).inScene;
}

void RecordTestCall(TestD3d9CallKind kind, DWORD index, DWORD type, DWORD value) {
    if (gD3d9.recordCalls) gD3d9.calls.push_back({kind, index, type, value});
}

void TestD3d9RecordCalls(bool on) {
    gD3d9.recordCalls = on;
    gD3d9.calls.clear();
}

std::vector<TestD3d9Call> TestD3d9RecordedCalls() {
    return gD3d9.calls;
}

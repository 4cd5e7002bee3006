// The light table and ApplyLights. Device light indices go to the enabled lights, directional
// ones first, then spot lights, then point lights; the built-in shaders read the lights from
// seven constant registers each.
#include "graphics/lights.h"

#include <algorithm>
#include <cmath>

#include "core/fatal_error.h"
#include "core/handle_registry.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/draw_state.h"
#include "graphics/render_state_cache.h"
#include "graphics/shader_constants.h"
#include "graphics/shaders.h"

LightTable gLights = {};

namespace {

constexpr int32_t kLightCheckLimit = 1023;
// The kind in the upper bits of the check-number field: (check | 0x2C00) << 16 | slot.
constexpr int32_t kLightHandleTag = kHandleKindLight << (kHandleKindShift - kHandleCheckShift);

constexpr int32_t kVertexFloatRegisters = 256;
constexpr int32_t kPixelFloatRegisters = 224;
constexpr int32_t kRegistersPerLight = 7;
// The first registers of light 0; light i's follow at 7 i.
constexpr int32_t kVertexLightPosition = 14;
constexpr int32_t kVertexLightDirection = 15;
constexpr int32_t kVertexLightAmbient = 18;
constexpr int32_t kPixelLightPosition = 32;
constexpr int32_t kPixelLightDirection = 33;
constexpr int32_t kPixelLightAmbient = 36;
// A second copy of each light's ambient in the pixel constants, three registers apart; it
// runs into light 0's position from light 7 on, so it stops before that.
constexpr int32_t kPixelLightAmbientCopy = 11;
constexpr int32_t kPixelLightAmbientCopyStep = 3;
constexpr int32_t kGlobalAmbientRegister = 1;

// The types in the order device indices are given out.
constexpr D3DLIGHTTYPE kIndexOrder[] = {D3DLIGHT_DIRECTIONAL, D3DLIGHT_SPOT, D3DLIGHT_POINT};

void StoreFloatConstant(int kind, int registerIndex, const float value[4]) {
    int limit = kind == kShaderConstVertexFloat ? kVertexFloatRegisters : kPixelFloatRegisters;
    if (registerIndex < limit) {
        StoreShaderConstants(&gShaderConstCache, kind, 0, registerIndex, value, 1, 1);
    }
}

void StoreVertexAndPixel(int vertexRegister, int pixelRegister, const float value[4]) {
    StoreFloatConstant(kShaderConstVertexFloat, vertexRegister, value);
    StoreFloatConstant(kShaderConstPixelFloat, pixelRegister, value);
}

void SetDefaults(D3DLIGHT9* l) {
    l->Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    l->Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    l->Ambient = {0.33f, 0.33f, 0.33f, 0.33f};
    l->Range = 2000.0f;
    l->Falloff = 1.0f;
    l->Attenuation0 = 0.1f;
    l->Theta = 2.0f;
    l->Phi = 2.0f;
}

int FindFreeSlot() {
    if (gLights.highMark < kMaxLights) return gLights.highMark;
    for (int slot = 0; slot < kMaxLights; ++slot) {
        if (gLights.slots[slot] == nullptr) return slot;
    }
    return -1;
}

// The ambient registers of every listed light and the global ambient register.
void StoreAmbientConstants(const LightRecord* const* listed, int count) {
    const D3DMATERIAL9& m = gDrawSettings.lighting.material;
    for (int i = 0; i < count; ++i) {
        const D3DCOLORVALUE& a = listed[i]->light.Ambient;
        const float value[4] = {a.r * m.Ambient.r, a.g * m.Ambient.g, a.b * m.Ambient.b,
                                a.a * m.Ambient.a};
        StoreVertexAndPixel(kVertexLightAmbient + kRegistersPerLight * i,
                            kPixelLightAmbient + kRegistersPerLight * i, value);
        int copy = kPixelLightAmbientCopy + kPixelLightAmbientCopyStep * i;
        if (copy < kPixelLightPosition) StoreFloatConstant(kShaderConstPixelFloat, copy, value);
    }
    D3DCOLOR g = gRenderStates.ambient;
    const float global[4] = {
        static_cast<float>((g >> 16) & 0xFF) / 255.0f, static_cast<float>((g >> 8) & 0xFF) / 255.0f,
        static_cast<float>(g & 0xFF) / 255.0f, static_cast<float>(g >> 24) / 255.0f};
    const float value[4] = {
        global[0] * m.Ambient.r + m.Emissive.r, global[1] * m.Ambient.g + m.Emissive.g,
        global[2] * m.Ambient.b + m.Emissive.b, global[3] * m.Ambient.a + m.Emissive.a};
    StoreVertexAndPixel(kGlobalAmbientRegister, kGlobalAmbientRegister, value);
}

}  // namespace

int SwitchLighting(int on) {
    LightingSettings& l = gDrawSettings.lighting;
    l.lightingOff = on ? 0 : 1;
    SetCachedLighting(on ? 1 : 0);
    l.lightsChanged = 1;
    ComputeShaderVariantIndex();
    return 0;
}

int CreateLight() {
    int slot = FindFreeSlot();
    if (slot == -1) {
        AppendLogText("ライトの数が上限に達しているため新しいライトを作成できませんでした\n");
        return -1;
    }
    auto* r =
        static_cast<LightRecord*>(AllocClearedMemory(sizeof(LightRecord), __FILE__, __LINE__));
    if (r == nullptr) ExitOnFatalError("ライト用のメモリの確保に失敗しました");
    SetDefaults(&r->light);
    r->deviceIndex = -1;
    r->checkNumber = gLights.checkCounter;
    gLights.checkCounter =
        gLights.checkCounter + 1 >= kLightCheckLimit ? 0 : gLights.checkCounter + 1;
    r->handle = ((r->checkNumber | kLightHandleTag) << kHandleCheckShift) | slot;
    gLights.slots[slot] = r;
    ++gLights.count;
    gLights.highMark = std::max(gLights.highMark, slot + 1);
    r->enabled = 1;
    r->changed = 1;
    gDrawSettings.lighting.lightsChanged = 1;
    return r->handle;
}

int CreateDirectionalLight(float x, float y, float z) {
    float length = std::sqrt(x * x + y * y + z * z);
    // A light towards nowhere has no direction to normalise.
    if (!(length > 0.0f)) return -1;
    int handle = CreateLight();
    if (handle == -1) return -1;
    LightRecord* r = FindLight(handle);
    r->light.Type = D3DLIGHT_DIRECTIONAL;
    r->light.Direction = {x / length, y / length, z / length};
    return handle;
}

LightRecord* FindLight(int light) {
    if (light < 0 || (light & kHandleKindBitsMask) != HandleKindBits(kHandleKindLight)) {
        return nullptr;
    }
    int slot = light & kHandleSlotBitsMask;
    if (slot >= kMaxLights) return nullptr;
    LightRecord* r = gLights.slots[slot];
    if (r == nullptr || r->checkNumber != ((light & kHandleCheckBitsMask) >> kHandleCheckShift)) {
        return nullptr;
    }
    return r;
}

int DeleteLight(int light) {
    LightRecord* r = FindLight(light);
    if (r == nullptr) return -1;
    int slot = light & kHandleSlotBitsMask;
    --gLights.count;
    gLights.slots[slot] = nullptr;
    if (slot + 1 == gLights.highMark) {
        while (gLights.highMark > 0 && gLights.slots[gLights.highMark - 1] == nullptr) {
            --gLights.highMark;
        }
    }
    FreeMemory(r);
    gDrawSettings.lighting.lightsChanged = 1;
    return 0;
}

int DeleteAllLightsButDefault() {
    for (int slot = 0; slot < gLights.highMark; ++slot) {
        LightRecord* r = gLights.slots[slot];
        if (r != nullptr && r->handle != gDrawSettings.lighting.defaultLight)
            DeleteLight(r->handle);
    }
    return 0;
}

int ApplyLights() {
    LightingSettings& l = gDrawSettings.lighting;
    SetCachedLighting(l.lightingOff == 0 ? 1 : 0);
    if (l.materialChanged != 0 && SetCachedMaterial(&l.material) == 0) l.materialChanged = 0;
    if (l.lightsChanged == 0) return 0;

    const LightRecord* listed[kMaxDeviceLights];
    int count = 0;
    bool firstThreeChanged = false;
    for (D3DLIGHTTYPE type : kIndexOrder) {
        for (int slot = 0; slot < gLights.highMark; ++slot) {
            LightRecord* r = gLights.slots[slot];
            if (r == nullptr || !r->enabled || r->light.Type != type) continue;
            if (count == kMaxDeviceLights) {
                r->deviceIndex = -1;
                continue;
            }
            if (r->deviceIndex != count || r->changed) {
                if (count < 3) firstThreeChanged = true;
                SetCachedLight(count, &r->light);
                SetCachedLightEnable(count, 1);
                r->deviceIndex = count;
                r->changed = 0;
            }
            listed[count++] = r;
        }
    }
    for (int slot = 0; slot < gLights.highMark; ++slot) {
        LightRecord* r = gLights.slots[slot];
        if (r != nullptr && !r->enabled) r->deviceIndex = -1;
    }
    for (int index = count; index <= gLights.highestDeviceIndex; ++index) {
        SetCachedLightEnable(index, 0);
    }
    if (count != gLights.deviceLightCount && std::min(count, gLights.deviceLightCount) < 3) {
        firstThreeChanged = true;
    }
    gLights.deviceLightCount = count;
    gLights.highestDeviceIndex = count - 1;
    StoreAmbientConstants(listed, count);
    // The view setter sends these, but the lights behind indices 0 to 3 may have changed since.
    StoreLightViewConstants(&gDrawSettings.viewMatrix);
    if (firstThreeChanged) ComputeShaderVariantIndex();
    l.lightsChanged = 0;
    return 0;
}

void MarkLightsForResend() {
    for (int slot = 0; slot < gLights.highMark; ++slot) {
        if (gLights.slots[slot] != nullptr) gLights.slots[slot]->changed = 1;
    }
    gDrawSettings.lighting.lightsChanged = 1;
}

void StoreLightViewConstants(const Matrix4x4* view) {
    for (int slot = 0; slot < gLights.highMark; ++slot) {
        const LightRecord* r = gLights.slots[slot];
        if (r == nullptr || r->deviceIndex < 0 || r->deviceIndex >= kViewSpaceConstantLights) {
            continue;
        }
        int i = r->deviceIndex;
        Vector3 position = {r->light.Position.x, r->light.Position.y, r->light.Position.z};
        Vector3 direction = {r->light.Direction.x, r->light.Direction.y, r->light.Direction.z};
        Vector3 p, d;
        MultiplyPointByMatrix(&p, &position, view);
        MultiplyDirectionByMatrix(&d, &direction, view);
        const float pv[4] = {p.x, p.y, p.z, 1.0f};
        const float dv[4] = {d.x, d.y, d.z, 0.0f};
        StoreVertexAndPixel(kVertexLightPosition + kRegistersPerLight * i,
                            kPixelLightPosition + kRegistersPerLight * i, pv);
        StoreVertexAndPixel(kVertexLightDirection + kRegistersPerLight * i,
                            kPixelLightDirection + kRegistersPerLight * i, dv);
    }
}

// Shaders: set-up and release of the built-in shaders (the two 3D variants here, the 2D ones
// through the built-in draw shaders), the vertex declarations of the model formats, and shader
// handles made from code, with their constant table, their selection and shader textures, and
// their device objects over a device re-creation.
#include "graphics/shaders.h"

#include <algorithm>
#include <cstring>

#include "core/async_load.h"
#include "core/log.h"
#include "core/tracked_memory.h"
#include "graphics/builtin_shaders.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/graph_records.h"
#include "graphics/graphics_state.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/shader_pack.h"
#include "graphics/vertex_batch.h"

HandleRegistry gShaderRegistry = {};
ShaderSystemState gShaders = {};
UserShaderState gUserShaders = {0, 0, {-1, -1, -1, -1, -1, -1, -1, -1,
                                       -1, -1, -1, -1, -1, -1, -1, -1}, 0};

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kCommentToken = 0xFFFE;
// The constant table: a comment block tagged "CTAB" right after the version token, its entry
// count at byte 24 of the code and its 20-byte entries from byte 40.
constexpr uint32_t kConstantCountOffset = 24;
constexpr uint32_t kFirstConstantOffset = 40;
constexpr uint32_t kConstantEntryBytes = 20;
const uint8_t kConstantTableTag[4] = {'C', 'T', 'A', 'B'};

// The 3D variants created so far, by slot.
IDirect3DVertexShader9* gVertexVariants[kVertexVariantSlots];
IDirect3DPixelShader9* gPixelVariants[kPixelVariantSlots];

ShaderRecord* FindShader(Handle shader, int acceptPending) {
    HandleHeader* header = acceptPending ? FindHandleRecord(&gShaderRegistry, shader)
                                         : FindUsableHandleRecord(&gShaderRegistry, shader);
    return reinterpret_cast<ShaderRecord*>(header);
}

DWORD ReadWord(const uint8_t* code, uint32_t offset) {
    DWORD word;
    std::memcpy(&word, code + offset, sizeof word);
    return word;
}

// The code's version token and comment blocks lie within size and end in the end token or
// an instruction (which the device judges), so that neither the device's walk over the code
// nor a later re-creation from the kept copy reads beyond it.
bool TokensFit(const uint8_t* code, uint32_t size) {
    if (code == nullptr || size < 8 || size % 4 != 0) return false;
    uint32_t words = size / 4;
    for (uint32_t i = 1; i < words;) {
        DWORD token = ReadWord(code, i * 4);
        if (token == kEndToken || (token & 0xFFFF) != kCommentToken) return true;
        i += 1 + ((token >> 16) & 0x7FFF);
    }
    return false;
}

// The constant table of the code, when its first comment block is one and its entries lie
// within that block; none otherwise.
void ReadConstantTable(ShaderRecord* record, const uint8_t* code, uint32_t size) {
    record->constantCount = 0;
    record->firstConstant = nullptr;
    if (code[4] != 0xFE || code[5] != 0xFF) return;
    uint64_t blockEnd = 8 + uint64_t{ReadWord(code, 4) >> 16} * 4;
    if (blockEnd > size || blockEnd < kFirstConstantOffset ||
        std::memcmp(code + 8, kConstantTableTag, sizeof kConstantTableTag) != 0) {
        return;
    }
    uint32_t count = ReadWord(code, kConstantCountOffset);
    if (count > (blockEnd - kFirstConstantOffset) / kConstantEntryBytes) return;
    record->constantCount = static_cast<int32_t>(count);
    record->firstConstant = code + kFirstConstantOffset;
}

HRESULT CreateShaderObject(int isVertex, const void* code, IUnknown** object, int fromWorker) {
    const DWORD* tokens = static_cast<const DWORD*>(code);
    if (isVertex) {
        IDirect3DVertexShader9* shader = nullptr;
        HRESULT result = MarshalCreateVertexShader(tokens, &shader, fromWorker);
        *object = shader;
        return result;
    }
    IDirect3DPixelShader9* shader = nullptr;
    HRESULT result = MarshalCreatePixelShader(tokens, &shader, fromWorker);
    *object = shader;
    return result;
}

void ReleaseShaderObject(ShaderRecord* record, int fromWorker) {
    if (record->shader != nullptr) MarshalReleaseComObject(record->shader, fromWorker);
    record->shader = nullptr;
}

void FreeCallerCode(void* code, int freeCode) {
    if (freeCode && code != nullptr) FreeMemory(code);
}

// A worker's set-up of a shader handle that stays pending until it ends; a failure deletes it.
void SetupShaderJob(AsyncLoadRequest* request) {
    const uint8_t* args = AsyncLoadArguments(request);
    uint32_t offset = 0;
    Handle shader = UnpackAsyncArgInt(args, &offset);
    int isVertex = UnpackAsyncArgInt(args, &offset);
    void* code;
    std::memcpy(&code, UnpackAsyncArgBytes(args, &offset, nullptr), sizeof code);
    int size = UnpackAsyncArgInt(args, &offset);
    int freeCode = UnpackAsyncArgInt(args, &offset);
    int result = SetupShaderHandle(shader, 1, isVertex, code, size, freeCode);
    EndHandleAsyncLoad(&gShaderRegistry, shader, result != 0 ? 1 : 0);
}

int CreateVariantShaders() {
    const void* code;
    uint32_t size;
    if (GetPackedVariantShader(1, kBuiltinVertexVariant, &code, &size) != 0 ||
        FAILED(DeviceCreateVertexShader(static_cast<const DWORD*>(code),
                                        &gVertexVariants[kBuiltinVertexVariant]))) {
        AppendLogText("頂点シェーダーオブジェクトの作成に失敗しました\n");
        return -1;
    }
    if (GetPackedVariantShader(0, kBuiltinPixelVariant, &code, &size) != 0 ||
        FAILED(DeviceCreatePixelShader(static_cast<const DWORD*>(code),
                                       &gPixelVariants[kBuiltinPixelVariant]))) {
        AppendLogText("ピクセルシェーダーオブジェクトの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

template <class T, size_t N>
void ReleaseAll(T* (&objects)[N]) {
    for (T*& object : objects) {
        if (object != nullptr) ReleaseComObject(object);
        object = nullptr;
    }
}

struct ElementKind {
    BYTE type, usage, index;
};

BYTE ElementBytes(BYTE type) {
    switch (type) {
        case D3DDECLTYPE_FLOAT2:
            return 8;
        case D3DDECLTYPE_FLOAT3:
            return 12;
        case D3DDECLTYPE_FLOAT4:
            return 16;
        default:  // D3DCOLOR, UBYTE4
            return 4;
    }
}

// The elements one after the other from offset 0, then the end marker.
int LayOutElements(const ElementKind* kinds, int count, D3DVERTEXELEMENT9* out) {
    WORD offset = 0;
    for (int i = 0; i < count; i++) {
        out[i] = {0, offset, kinds[i].type, D3DDECLMETHOD_DEFAULT, kinds[i].usage, kinds[i].index};
        offset = static_cast<WORD>(offset + ElementBytes(kinds[i].type));
    }
    out[count] = D3DDECL_END();
    return count;
}

}  // namespace

int TerminateShaderRecord(HandleHeader* header) {
    auto* record = reinterpret_cast<ShaderRecord*>(header);
    // A shader whose set-up failed (maybe on a loading worker) was never selectable.
    if (record->code == nullptr) return 0;
    Handle handle = record->header.handle;
    if (gUserShaders.vertexShader == handle) gUserShaders.vertexShader = 0;
    if (gUserShaders.pixelShader == handle) gUserShaders.pixelShader = 0;
    // The device must not keep an object that is about to go.
    if (gRenderStates.userVertexShader == handle) ApplyUserVertexShader(0);
    if (gRenderStates.userPixelShader == handle) ApplyUserPixelShader(0);
    FreeMemory(record->code);
    record->code = nullptr;
    ReleaseShaderObject(record, 0);
    return 0;
}

IUnknown* GetShaderObject(Handle shader, int isVertex) {
    const ShaderRecord* record = FindShader(shader, 0);
    if (record == nullptr || (record->isVertex != 0) != (isVertex != 0)) return nullptr;
    return record->shader;
}

int AreBuiltinShadersOn() {
    return gShaders.builtinOn;
}

int GetUsableShaderVersion() {
    // The versions are those of the last device made while the graphics are up (a device lost
    // to deactivation is made again), which does not draw for the software renderer.
    if (!IsGraphicsInitialized() || !IsDirect3DMode()) return 0;
    DWORD vertex = gDeviceResources.vertexShaderVersion & 0xFFFF;
    DWORD pixel = gDeviceResources.pixelShaderVersion & 0xFFFF;
    if ((HasDirect3DDevice() && !gShaders.builtinOn) || (vertex < 0x200 && pixel < 0x200)) return 0;
    if (vertex < 0x300 || pixel < 0x300) return 200;
    return 300;
}

void ComputeShaderVariantIndex() {
    if (!gShaders.builtinOn) return;
    const RenderStateCache& c = gRenderStates;
    int lighting = c.lighting != 0 ? 1 : 0;
    int anyEnabled = 0;
    int types[3], kinds[3];
    for (int i = 0; i < 3; i++) {
        types[i] = c.lightEnabled[i] ? static_cast<int>(c.lights[i].Type) : 0;
        // 0 none, 1 point or spot, 2 directional.
        kinds[i] = types[i] == D3DLIGHT_DIRECTIONAL ? 2 : types[i] != 0 ? 1 : 0;
        anyEnabled |= types[i] != 0;
    }
    int fog = c.fogEnable ? c.fogMode : 0;
    gShaders.vertexVariantIndex =
        (types[2] + (types[1] + (types[0] + (fog + (anyEnabled + lighting * 6) * 8) * 4) * 4) * 4) *
        8;
    gShaders.pixelVariantIndex =
        (kinds[2] + (kinds[1] + (kinds[0] + (anyEnabled + lighting * 4) * 6) * 3) * 3) * 8;
}

int SetupBuiltinShaders() {
    ReleaseBuiltinShaders();
    if (HasDirect3DDevice() && gDeviceResources.vertexShaderModel2 &&
        gDeviceResources.pixelShaderModel2) {
        gShaders.builtinOn = 1;
        if (OpenBuiltinShaderPack() == 0) {
            AppendLogText("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
            gShaders.builtinOn = 0;
        } else if (CreateVariantShaders() != 0 || CreateBuiltinDrawShaders() != 0) {
            ReleaseBuiltinShaders();
        }
    }
    AppendLogText(gShaders.builtinOn ? "プログラマブルシェーダーを使用します\n"
                                     : "プログラマブルシェーダーを使用しません\n");
    static constexpr float kVertexConstant0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    static constexpr float kPixelConstant0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    StoreShaderConstants(&gShaderConstCache, kShaderConstVertexFloat, 0, 0, kVertexConstant0, 1, 1);
    StoreShaderConstants(&gShaderConstCache, kShaderConstPixelFloat, 0, 0, kPixelConstant0, 1, 1);
    return 0;
}

int ReleaseBuiltinShaders() {
    gShaders.builtinOn = 0;
    if (HasDirect3DDevice()) {
        DeviceSetVertexShader(nullptr);
        DeviceSetPixelShader(nullptr);
    }
    gRenderStates.userVertexShader = 0;
    gRenderStates.userPixelShader = 0;
    ReleaseBuiltinDrawShaders();
    ReleaseAll(gVertexVariants);
    ReleaseAll(gPixelVariants);
    return 0;
}

int MakeVertexElements(int index, D3DVERTEXELEMENT9* out) {
    constexpr BYTE kFloat2 = D3DDECLTYPE_FLOAT2, kFloat3 = D3DDECLTYPE_FLOAT3,
                   kFloat4 = D3DDECLTYPE_FLOAT4, kColor = D3DDECLTYPE_D3DCOLOR,
                   kUbyte4 = D3DDECLTYPE_UBYTE4;
    ElementKind kinds[MAXD3DDECLLENGTH];
    int count = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE usageIndex) {
        kinds[count++] = {type, usage, usageIndex};
    };
    if (index >= kModelVertexDeclarations && index < kVertexDeclarations) {
        add(kFloat3, D3DDECLUSAGE_POSITION, 0);
        if (index == kModelVertexDeclarations + 1) add(kFloat4, D3DDECLUSAGE_POSITION, 1);
        add(kFloat3, D3DDECLUSAGE_NORMAL, 0);
        if (index == kModelVertexDeclarations + 1) {
            add(kFloat3, D3DDECLUSAGE_TANGENT, 0);
            add(kFloat3, D3DDECLUSAGE_BINORMAL, 0);
        }
        add(kColor, D3DDECLUSAGE_COLOR, 0);
        add(kColor, D3DDECLUSAGE_COLOR, 1);
        add(kFloat2, D3DDECLUSAGE_TEXCOORD, 0);
        add(kFloat2, D3DDECLUSAGE_TEXCOORD, 1);
        return LayOutElements(kinds, count, out);
    }
    if (index < 0 || index >= kModelVertexDeclarations) return -1;
    int texCoordCount = index % 9;
    int skinning = index / 9 % 3;  // 0 rigid, 1 four bones, 2 eight bones
    int tangentFrame = index / 27;
    add(kFloat3, D3DDECLUSAGE_POSITION, 0);
    for (int i = 0; i < skinning; i++) add(kUbyte4, D3DDECLUSAGE_BLENDINDICES, 0);
    for (int i = 0; i < skinning; i++) add(kFloat4, D3DDECLUSAGE_BLENDWEIGHT, 0);
    if (skinning == 2) {
        // The second of each pair is usage index 1.
        kinds[2].index = 1;
        kinds[4].index = 1;
    }
    if (tangentFrame) {
        add(kFloat3, D3DDECLUSAGE_TANGENT, 0);
        add(kFloat3, D3DDECLUSAGE_BINORMAL, 0);
    }
    add(kFloat3, D3DDECLUSAGE_NORMAL, 0);
    add(kColor, D3DDECLUSAGE_COLOR, 0);
    add(kColor, D3DDECLUSAGE_COLOR, 1);
    for (int i = 0; i < texCoordCount; i++) {
        add(kFloat4, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i));
    }
    return LayOutElements(kinds, count, out);
}

int BuildVertexDeclarations() {
    ReleaseVertexDeclarations();
    for (int i = 0; i < kVertexDeclarations; i++) {
        D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
        MakeVertexElements(i, elements);
        if (FAILED(DeviceCreateVertexDeclaration(elements, &gShaders.vertexDeclarations[i]))) {
            gShaders.vertexDeclarations[i] = nullptr;
        }
    }
    return 0;
}

int ReleaseVertexDeclarations() {
    ReleaseAll(gShaders.vertexDeclarations);
    return 0;
}

Handle CreateShaderFromCode(int isVertex, void* code, int size, int freeCode, int async,
                            int fromAsyncWorker) {
    if (!HasDirect3DDevice() || !gShaders.builtinOn || !IsGraphicsInitialized()) {
        FreeCallerCode(code, freeCode);
        return -1;
    }
    Handle shader = IssueHandle(&gShaderRegistry, -1);
    if (shader == -1) {
        FreeCallerCode(code, freeCode);
        return -1;
    }
    if (async && !fromAsyncWorker) {
        AsyncLoadRequest* request =
            PackAsyncLoadRequest(SetupShaderJob, 1, [&](uint8_t* buffer, uint32_t* offset) {
                return PackAsyncArgInt(buffer, offset, shader) |
                       PackAsyncArgInt(buffer, offset, isVertex) |
                       PackAsyncArgBytes(buffer, offset, &code, sizeof code) |
                       PackAsyncArgInt(buffer, offset, size) |
                       PackAsyncArgInt(buffer, offset, freeCode);
            });
        if (request == nullptr) {
            RetireHandle(&gShaderRegistry, shader);
            FreeCallerCode(code, freeCode);
            return -1;
        }
        RaiseHandleAsyncCount(&gShaderRegistry, shader, QueueAsyncLoadRequest(request));
        return shader;
    }
    if (SetupShaderHandle(shader, fromAsyncWorker, isVertex, code, size, freeCode) != 0) {
        RetireHandle(&gShaderRegistry, shader);
        return -1;
    }
    return shader;
}

Handle CreateShaderFromCode(int32_t isVertex, const void* code, int32_t size) {
    // The set-up copies the code before it returns.
    return CreateShaderFromCode(isVertex, const_cast<void*>(code), size, 0, 0, 0);
}

int DeleteShaderHandle(Handle shader) {
    return RetireHandle(&gShaderRegistry, shader);
}

int SetupShaderHandle(Handle shader, int fromAsyncWorker, int isVertex, void* code, int size,
                      int freeCode) {
    ShaderRecord* record = FindShader(shader, fromAsyncWorker);
    const auto* bytes = static_cast<const uint8_t*>(code);
    IUnknown* object = nullptr;
    if (record == nullptr || size <= 0 || !TokensFit(bytes, static_cast<uint32_t>(size)) ||
        FAILED(CreateShaderObject(isVertex, code, &object, fromAsyncWorker))) {
        if (record != nullptr) AppendLogText("頂点シェーダーの作成に失敗しました\n");
        FreeCallerCode(code, freeCode);
        return -1;
    }
    void* copy = AllocMemory(static_cast<uint32_t>(size), __FILE__, __LINE__);
    if (copy == nullptr) {
        AppendLogText("メモリの確保に失敗しました");
        MarshalReleaseComObject(object, fromAsyncWorker);
        FreeCallerCode(code, freeCode);
        return -1;
    }
    std::memcpy(copy, code, static_cast<size_t>(size));
    if (record->code != nullptr) FreeMemory(record->code);
    ReleaseShaderObject(record, fromAsyncWorker);
    record->isVertex = isVertex ? 1 : 0;
    record->code = copy;
    record->shader = object;
    ReadConstantTable(record, static_cast<const uint8_t*>(copy), static_cast<uint32_t>(size));
    FreeCallerCode(code, freeCode);
    return 0;
}

int BindShaderTexture(int stage, Handle graph) {
    if (stage < 0 || stage >= kShaderTextureStages) return -1;
    if (graph != -1 && GetGraphRecord(graph, 0) == nullptr) return -1;
    UserShaderState& u = gUserShaders;
    u.textures[stage] = graph;
    u.textureCount = 0;
    for (int i = 0; i < kShaderTextureStages; i++) {
        if (u.textures[i] != -1) u.textureCount = i + 1;
    }
    return 0;
}

int SelectUserVertexShader(Handle shader) {
    if (shader > 0 && GetShaderObject(shader, 1) == nullptr) return -1;
    gUserShaders.vertexShader = shader > 0 ? shader : 0;
    if (HasDirect3DDevice()) ApplyUserVertexShader(gUserShaders.vertexShader);
    return 0;
}

int SelectUserPixelShader(Handle shader) {
    if (shader > 0 && GetShaderObject(shader, 0) == nullptr) return -1;
    gUserShaders.pixelShader = shader > 0 ? shader : 0;
    if (HasDirect3DDevice()) ApplyUserPixelShader(gUserShaders.pixelShader);
    return 0;
}

void SendShaderTextures(int firstStage) {
    for (int stage = std::max(firstStage, 0); stage < kCachedStages; ++stage) {
        const GraphRecord* graph = stage < gUserShaders.textureCount
                                       ? GetGraphRecord(gUserShaders.textures[stage], 0)
                                       : nullptr;
        IDirect3DBaseTexture9* texture = graph != nullptr ? GetGraphFirstTexture(graph) : nullptr;
        CachedStage& cached = gRenderStates.blend.stages[stage];
        if (cached.texture == texture) continue;
        // What the batch holds was meant for the stage's old texture.
        FlushVertexBatchNow();
        DeviceSetTexture(static_cast<DWORD>(stage), texture);
        cached.texture = texture;
        gShaders.stagesTaken = 1;
    }
}

int TakeBackShaderTextureStages() {
    const int taken = gShaders.stagesTaken;
    gShaders.stagesTaken = 0;
    return taken;
}

void SaveUserShaderState(UserShaderState* state) {
    *state = gUserShaders;
    SelectShaderConstSets(&gShaderConstCache, (1 << 0) | (1 << kProgramConstSet));
}

void RestoreUserShaderState(const UserShaderState* state, int textureCount) {
    if (textureCount > kShaderTextureStages) textureCount = kShaderTextureStages;
    for (int stage = 0; stage < textureCount; stage++) {
        if (BindShaderTexture(stage, state->textures[stage]) != 0) BindShaderTexture(stage, -1);
    }
    if (SelectUserVertexShader(state->vertexShader) != 0) SelectUserVertexShader(0);
    if (SelectUserPixelShader(state->pixelShader) != 0) SelectUserPixelShader(0);
}

int ReleaseUserShaderObjects() {
    ForEachHandleRecord(&gShaderRegistry, [](HandleHeader* header) {
        ReleaseShaderObject(reinterpret_cast<ShaderRecord*>(header), 0);
    });
    return 0;
}

int RecreateUserShaders() {
    ForEachHandleRecord(&gShaderRegistry, [](HandleHeader* header) {
        auto* record = reinterpret_cast<ShaderRecord*>(header);
        if (record->code == nullptr || record->shader != nullptr) return;
        if (FAILED(CreateShaderObject(record->isVertex, record->code, &record->shader, 0))) {
            record->shader = nullptr;
            AppendLogText("頂点シェーダーの作成に失敗しました\n");
        }
    });
    return 0;
}

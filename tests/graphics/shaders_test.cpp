// Shaders on the software device: set-up and its log lines, a device without shaders, the
// vertex declarations, and shader handles made from kernel records (at once and on a loading
// worker), selected, bound, saved and restored, deleted while in use, parsed for their constant
// table and made again after the device is rebuilt.
#include "graphics/shaders.h"

#include <gtest/gtest.h>
#include <platform/d3d9_kernels.h>

#include <cstring>
#include <string>
#include <vector>

#include "async/async_wait.h"
#include "core/async_load.h"
#include "core/tracked_memory.h"
#include "draw_fixture.h"
#include "graphics/graphics_system.h"
#include "graphics/shader_pack.h"

namespace {

constexpr const char* kRedKernel = "test_shaders_red";

bool PaintRed(const PixelShaderInput&, const PixelShaderContext&, ShaderFloat4* out) {
    *out = {1.0f, 0.0f, 0.0f, 1.0f};
    return true;
}

// Code in framework memory (for handing over with freeCode) or in a vector.
void* CopyToMemory(const std::vector<DWORD>& code) {
    void* memory = AllocMemory(static_cast<uint32_t>(code.size() * 4), __FILE__, __LINE__);
    std::memcpy(memory, code.data(), code.size() * 4);
    return memory;
}

int CodeBytes(const std::vector<DWORD>& code) {
    return static_cast<int>(code.size() * 4);
}

// A kernel record with a constant-table comment block in front: `stored` entries of 20 bytes,
// of which the table claims `claimed`.
std::vector<DWORD> WithConstantTable(const char* kernel, DWORD stored, DWORD claimed) {
    std::vector<DWORD> record = MakeShaderKernelRecord(false, kernel);
    DWORD body = 8 + 5 * stored;  // "CTAB", size, creator, version, count, info, flags, target
    std::vector<DWORD> code = {record[0], 0xFFFE | (body << 16)};
    std::vector<DWORD> table = {0x42415443 /* "CTAB" */, 28, 0, 0xFFFF0200, claimed, 28, 0, 0};
    for (DWORD i = 0; i < stored * 5; i++) table.push_back(0x1000 + i);
    code.insert(code.end(), table.begin(), table.end());
    code.insert(code.end(), record.begin() + 1, record.end());
    return code;
}

class ShadersTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        RegisterPixelShaderKernel(kRedKernel, PaintRed);
    }

    void TearDown() override {
        TestFailNthCall("CreatePixelShader", 0);
        TestFailNthCall("HeapAlloc", 0);
        SwitchAsyncLoad(0);
        DrawFixture::TearDown();
    }

    // The framework on the default device, which offers shaders.
    void StartWithShaders() {
        StartDrawing(32);
        ASSERT_EQ(AreBuiltinShadersOn(), 1);
    }

    static Handle MakePixelShader(const char* kernel = kRedKernel) {
        std::vector<DWORD> code = MakeShaderKernelRecord(false, kernel);
        return CreateShaderFromCode(0, code.data(), CodeBytes(code), 0, 0, 0);
    }

    // An untextured box drawn with whatever user shader is selected.
    static DWORD DrawBoxWithUserShaders(D3DCOLOR colour) {
        PrepareDrawStates(nullptr, nullptr, kDrawModulateColor | kDrawKeepUserShaders);
        auto* v = static_cast<ColoredVertex*>(ReserveBatchVertices(0, D3DPT_TRIANGLELIST, 6));
        const float corners[6][2] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}, {0, 8}, {8, 0}};
        for (int i = 0; i < 6; ++i) {
            v[i].x = corners[i][0];
            v[i].y = corners[i][1];
            v[i].z = gDrawSettings.z2D;
        }
        v[0].diffuse = v[3].diffuse = colour;
        return BackBufferPixel(4, 4) & 0xFFFFFF;
    }
};

TEST_F(ShadersTest, ADeviceWithoutShadersUsesTheTextureStages) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    TestD3d9SetProfile(profile);
    StartDrawing(32);
    EXPECT_EQ(AreBuiltinShadersOn(), 0);
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    EXPECT_EQ(gShaders.vertexDeclarations[0], nullptr);
    std::vector<DWORD> code = MakeShaderKernelRecord(false, kRedKernel);
    EXPECT_EQ(CreateShaderFromCode(0, code.data(), CodeBytes(code), 0, 0, 0), -1);
    // Handed-over code is freed even so (the leak check at exit would see it otherwise).
    EXPECT_EQ(CreateShaderFromCode(0, CopyToMemory(code), CodeBytes(code), 1, 0, 0), -1);
    EXPECT_TRUE(InOrder(ReadLog(), {"プログラマブルシェーダーを使用しません\r\n"}));
}

// A rebuilt device has the built-in shaders again, and the user's shaders made anew.
TEST_F(ShadersTest, ADeviceWithShadersDrawsThroughTheBuiltinShaders) {
    StartWithShaders();
    EXPECT_EQ(GetUsableShaderVersion(), 200);
    EXPECT_NE(gShaders.vertexDeclarations[0], nullptr);
    EXPECT_NE(gDeviceResources.brightnessTexture, nullptr);
    Handle shader = MakePixelShader();
    ASSERT_NE(shader, -1);
    ReleaseDeviceForDeactivation();
    EXPECT_EQ(GetShaderObject(shader, 0), nullptr);
    EXPECT_NE(FindHandleRecord(&gShaderRegistry, shader), nullptr);
    RecreateDeviceKeepingMode();
    EXPECT_EQ(AreBuiltinShadersOn(), 1);
    EXPECT_NE(gShaders.vertexDeclarations[kVertexDeclarations - 1], nullptr);
    EXPECT_NE(GetShaderObject(shader, 0), nullptr);
    ASSERT_EQ(SelectUserPixelShader(shader), 0);
    EXPECT_EQ(DrawBoxWithUserShaders(0x0000FF), 0xFF0000u);
    EXPECT_TRUE(InOrder(ReadLog(), {"プログラマブルシェーダーを使用します\r\n",
                                    "プログラマブルシェーダーを使用します\r\n"}));
}

TEST_F(ShadersTest, FailuresDuringSetUpAreLoggedAndLeaveShadersOff) {
    StartDrawing(32);
    // The pixel variant is the first pixel shader set-up makes.
    TestFailNthCall("CreatePixelShader", 1);
    SetupBuiltinShaders();
    EXPECT_EQ(AreBuiltinShadersOn(), 0);
    // A pack that cannot be expanded.
    CloseBuiltinShaderPack();
    TestFailNthCall("HeapAlloc", 1);
    SetupBuiltinShaders();
    TestFailNthCall("HeapAlloc", 0);
    EXPECT_EQ(AreBuiltinShadersOn(), 0);
    EXPECT_EQ(IsBuiltinShaderPackOpen(), 0);
    // A 2D shader after the variants.
    TestFailNthCall("CreatePixelShader", 2);
    SetupBuiltinShaders();
    EXPECT_EQ(AreBuiltinShadersOn(), 0);
    // Nothing of a failed set-up stands in the way of the next.
    SetupBuiltinShaders();
    EXPECT_EQ(AreBuiltinShadersOn(), 1);
    EXPECT_TRUE(InOrder(ReadLog(), {"ピクセルシェーダーオブジェクトの作成に失敗しました\r\n",
                                    "プログラマブルシェーダーを使用しません\r\n",
                                    "シェーダーコードを展開するメモリ領域の確保に失敗しました\r\n",
                                    "プログラマブルシェーダーを使用しません\r\n",
                                    "基本シェーダーオブジェクトの作成に失敗しました\r\n",
                                    "プログラマブルシェーダーを使用しません\r\n",
                                    "プログラマブルシェーダーを使用します\r\n"}));
}

// Every declaration lays its elements end to end in stream 0; a model format's index names
// its coordinate sets (index % 9), bones (none, four, eight) and tangent frame.
TEST_F(ShadersTest, VertexDeclarationsFollowTheModelFormats) {
    auto bytes = [](int type) {
        return type == D3DDECLTYPE_D3DCOLOR || type == D3DDECLTYPE_UBYTE4 ? 4 : 4 * (type + 1);
    };
    // The type of each usage: coordinate sets of four floats in the model formats, two in the
    // others; the second position four floats.
    auto typeOf = [](int d, const D3DVERTEXELEMENT9& e) -> int {
        switch (e.Usage) {
            case D3DDECLUSAGE_COLOR:
                return D3DDECLTYPE_D3DCOLOR;
            case D3DDECLUSAGE_BLENDINDICES:
                return D3DDECLTYPE_UBYTE4;
            case D3DDECLUSAGE_BLENDWEIGHT:
                return D3DDECLTYPE_FLOAT4;
            case D3DDECLUSAGE_TEXCOORD:
                return d < kModelVertexDeclarations ? D3DDECLTYPE_FLOAT4 : D3DDECLTYPE_FLOAT2;
            case D3DDECLUSAGE_POSITION:
                return e.UsageIndex ? D3DDECLTYPE_FLOAT4 : D3DDECLTYPE_FLOAT3;
            default:
                return D3DDECLTYPE_FLOAT3;
        }
    };
    for (int d = 0; d < kVertexDeclarations; d++) {
        D3DVERTEXELEMENT9 out[MAXD3DDECLLENGTH + 1];
        int count = MakeVertexElements(d, out);
        ASSERT_GT(count, 0) << d;
        int offset = 0, texSets = 0, weights = 0, tangents = 0;
        for (int i = 0; i < count; i++) {
            EXPECT_EQ(out[i].Stream, 0) << d << " " << i;
            EXPECT_EQ(out[i].Offset, offset) << d << " " << i;
            EXPECT_EQ(out[i].Method, D3DDECLMETHOD_DEFAULT) << d << " " << i;
            EXPECT_EQ(out[i].Type, typeOf(d, out[i])) << d << " " << i;
            offset += bytes(out[i].Type);
            texSets += out[i].Usage == D3DDECLUSAGE_TEXCOORD;
            weights += out[i].Usage == D3DDECLUSAGE_BLENDWEIGHT;
            tangents += out[i].Usage == D3DDECLUSAGE_TANGENT;
            // Elements of one usage come in rising usage index.
            for (int j = 0; j < i; j++) {
                if (out[j].Usage == out[i].Usage) {
                    EXPECT_LT(out[j].UsageIndex, out[i].UsageIndex) << d;
                }
            }
        }
        EXPECT_EQ(out[count].Stream, 0xFF) << d;
        if (d < kModelVertexDeclarations) {
            EXPECT_EQ(texSets, d % 9) << d;
            EXPECT_EQ(weights, d / 9 % 3) << d;
            EXPECT_EQ(tangents, d / 27) << d;
        }
    }
    D3DVERTEXELEMENT9 out[MAXD3DDECLLENGTH + 1];
    EXPECT_EQ(MakeVertexElements(-1, out), -1);
    EXPECT_EQ(MakeVertexElements(kVertexDeclarations, out), -1);

    // All are made on the device, and made again without leaving the old ones.
    StartDrawing(32);
    ReleaseVertexDeclarations();
    int before = TestD3d9LiveObjects();
    BuildVertexDeclarations();
    BuildVertexDeclarations();
    EXPECT_EQ(TestD3d9LiveObjects(), before + kVertexDeclarations);
    for (IDirect3DVertexDeclaration9* declaration : gShaders.vertexDeclarations) {
        EXPECT_NE(declaration, nullptr);
    }
    ReleaseVertexDeclarations();
    EXPECT_EQ(TestD3d9LiveObjects(), before);
}

TEST_F(ShadersTest, ShaderHandlesAreMadeSelectedAndDeleted) {
    StartWithShaders();
    Handle pixel = MakePixelShader();
    ASSERT_NE(pixel, -1);
    EXPECT_EQ(pixel & kHandleKindBitsMask, HandleKindBits(kHandleKindShader));
    std::vector<DWORD> vertexCode = MakeShaderKernelRecord(true, "test_shaders_vertex");
    Handle vertex =
        CreateShaderFromCode(1, CopyToMemory(vertexCode), CodeBytes(vertexCode), 1, 0, 0);
    ASSERT_NE(vertex, -1);
    EXPECT_NE(GetShaderObject(pixel, 0), nullptr);
    EXPECT_EQ(GetShaderObject(pixel, 1), nullptr);
    EXPECT_NE(GetShaderObject(vertex, 1), nullptr);

    // Each selector takes only its own kind.
    EXPECT_EQ(SelectUserPixelShader(vertex), -1);
    EXPECT_EQ(SelectUserVertexShader(pixel), -1);
    EXPECT_EQ(SelectUserPixelShader(0x30000000 | 77), -1);
    EXPECT_EQ(SelectUserVertexShader(vertex), 0);
    EXPECT_EQ(gUserShaders.vertexShader, vertex);
    EXPECT_EQ(gRenderStates.userVertexShader, vertex);
    // Vertex shaders never run on the device: the boxes are drawn without one.
    EXPECT_EQ(SelectUserVertexShader(0), 0);
    EXPECT_EQ(gRenderStates.userVertexShader, 0);

    EXPECT_EQ(DrawBoxWithUserShaders(0x0000FF), 0x0000FFu);
    ASSERT_EQ(SelectUserPixelShader(pixel), 0);
    EXPECT_EQ(gUserShaders.pixelShader, pixel);
    EXPECT_EQ(DrawBoxWithUserShaders(0x0000FF), 0xFF0000u);
    EXPECT_EQ(SelectUserPixelShader(-5), 0);
    EXPECT_EQ(gUserShaders.pixelShader, 0);
    EXPECT_EQ(DrawBoxWithUserShaders(0x00FF00), 0x00FF00u);

    // Deleted while selected: the device lets it go before the object does.
    ASSERT_EQ(SelectUserPixelShader(pixel), 0);
    EXPECT_EQ(RetireHandle(&gShaderRegistry, pixel), 0);
    EXPECT_EQ(gUserShaders.pixelShader, 0);
    EXPECT_EQ(gRenderStates.userPixelShader, 0);
    EXPECT_EQ(DrawBoxWithUserShaders(0x00FF00), 0x00FF00u);
    EXPECT_EQ(SelectUserPixelShader(pixel), -1);
}

TEST_F(ShadersTest, BadCodeOrFailingCreationGivesNoHandle) {
    StartWithShaders();
    int handles = gShaderRegistry.liveCount;
    int objects = TestD3d9LiveObjects();
    // Foreign bytecode, an unknown kernel, and comment blocks running past the given size.
    std::vector<DWORD> foreign = {0xFFFF0200, 0x02000001, 0x800F0800, 0xB0E40000, 0x0000FFFF};
    EXPECT_EQ(CreateShaderFromCode(0, foreign.data(), CodeBytes(foreign), 0, 0, 0), -1);
    EXPECT_EQ(MakePixelShader("test_shaders_not_registered"), -1);
    std::vector<DWORD> record = MakeShaderKernelRecord(false, kRedKernel);
    EXPECT_EQ(CreateShaderFromCode(0, record.data(), CodeBytes(record) - 4, 0, 0, 0), -1);
    EXPECT_EQ(CreateShaderFromCode(0, record.data(), 0, 0, 0, 0), -1);
    // The device refuses, or the code's copy cannot be had.
    TestFailNthCall("CreatePixelShader", 1);
    EXPECT_EQ(CreateShaderFromCode(0, CopyToMemory(record), CodeBytes(record), 1, 0, 0), -1);
    for (int n = 1;; n++) {
        ASSERT_LT(n, 10);
        TestFailNthCall("HeapAlloc", n);
        Handle shader = CreateShaderFromCode(0, record.data(), CodeBytes(record), 0, 0, 0);
        TestFailNthCall("HeapAlloc", 0);
        if (shader != -1) {
            RetireHandle(&gShaderRegistry, shader);
            break;
        }
    }
    EXPECT_EQ(gShaderRegistry.liveCount, handles);
    EXPECT_EQ(TestD3d9LiveObjects(), objects);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"頂点シェーダーの作成に失敗しました\r\n", "メモリの確保に失敗しました"}));
}

TEST_F(ShadersTest, TheConstantTableIsReadOnlyWithinItsBlock) {
    StartWithShaders();
    auto table = [](const std::vector<DWORD>& code) {
        Handle shader =
            CreateShaderFromCode(0, const_cast<DWORD*>(code.data()), CodeBytes(code), 0, 0, 0);
        EXPECT_NE(shader, -1);
        auto* record = reinterpret_cast<ShaderRecord*>(FindHandleRecord(&gShaderRegistry, shader));
        return record;
    };
    const ShaderRecord* whole = table(WithConstantTable(kRedKernel, 2, 2));
    EXPECT_EQ(whole->constantCount, 2);
    EXPECT_EQ(whole->firstConstant, static_cast<const uint8_t*>(whole->code) + 40);
    DWORD firstWord;
    std::memcpy(&firstWord, whole->firstConstant, 4);
    EXPECT_EQ(firstWord, 0x1000u);
    // A count beyond the block's entries, and a record without a table.
    const ShaderRecord* truncated = table(WithConstantTable(kRedKernel, 2, 3));
    EXPECT_EQ(truncated->constantCount, 0);
    EXPECT_EQ(truncated->firstConstant, nullptr);
    const ShaderRecord* none = table(MakeShaderKernelRecord(false, kRedKernel));
    EXPECT_EQ(none->constantCount, 0);
    EXPECT_EQ(table(WithConstantTable(kRedKernel, 0, 0))->constantCount, 0);
}

TEST_F(ShadersTest, ShadersAreMadeOnALoadingWorker) {
    StartWithShaders();
    SwitchAsyncLoad(1);
    std::vector<DWORD> record = MakeShaderKernelRecord(false, kRedKernel);
    std::vector<DWORD> foreign = {0xFFFF0200, 0x02000001, 0x0000FFFF};
    Handle good = CreateShaderFromCode(0, CopyToMemory(record), CodeBytes(record), 1, 1, 0);
    Handle bad = CreateShaderFromCode(0, CopyToMemory(foreign), CodeBytes(foreign), 1, 1, 0);
    ASSERT_NE(good, -1);
    ASSERT_NE(bad, -1);
    ASSERT_TRUE(WaitFor([] {
        RunMainThreadRequests();
        return CountQueuedAsyncLoads() == 0;
    }));
    EXPECT_EQ(IsHandleLoadPending(&gShaderRegistry, good), 0);
    EXPECT_NE(GetShaderObject(good, 0), nullptr);
    // The failed one is gone, with its code.
    EXPECT_EQ(FindHandleRecord(&gShaderRegistry, bad), nullptr);
    EXPECT_EQ(SelectUserPixelShader(good), 0);
    EXPECT_EQ(DrawBoxWithUserShaders(0x0000FF), 0xFF0000u);
}

TEST_F(ShadersTest, ShaderTexturesAndShadersAreSavedAndRestored) {
    StartWithShaders();
    Handle first = MakeTargetGraph(8, 8), second = MakeTargetGraph(8, 8);
    Handle shader = MakePixelShader();
    EXPECT_EQ(BindShaderTexture(16, first), -1);
    EXPECT_EQ(BindShaderTexture(-1, first), -1);
    EXPECT_EQ(BindShaderTexture(0, 0x04000000 | 999), -1);
    ASSERT_EQ(BindShaderTexture(0, first), 0);
    ASSERT_EQ(BindShaderTexture(3, second), 0);
    EXPECT_EQ(gUserShaders.textureCount, 4);
    ASSERT_EQ(SelectUserPixelShader(shader), 0);

    SelectShaderConstSets(&gShaderConstCache, 1 << 2);
    UserShaderState saved;
    SaveUserShaderState(&saved);
    EXPECT_EQ(gShaderConstCache.live[0] + gShaderConstCache.live[1], 2);
    EXPECT_EQ(gShaderConstCache.live[2], 0);

    BindShaderTexture(0, second);
    BindShaderTexture(3, -1);
    EXPECT_EQ(gUserShaders.textureCount, 1);
    SelectUserPixelShader(0);
    RestoreUserShaderState(&saved, 4);
    EXPECT_EQ(gUserShaders.textures[0], first);
    EXPECT_EQ(gUserShaders.textures[3], second);
    EXPECT_EQ(gUserShaders.textureCount, 4);
    EXPECT_EQ(gUserShaders.pixelShader, shader);
    EXPECT_EQ(gRenderStates.userPixelShader, shader);

    // What is gone by the restore comes back as none.
    DisposeGraph(second);
    RetireHandle(&gShaderRegistry, shader);
    RestoreUserShaderState(&saved, 4);
    EXPECT_EQ(gUserShaders.textures[3], -1);
    EXPECT_EQ(gUserShaders.textureCount, 1);
    EXPECT_EQ(gUserShaders.pixelShader, 0);
    BindShaderTexture(0, -1);
}

}  // namespace

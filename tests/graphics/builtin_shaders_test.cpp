#include "graphics/builtin_shaders.h"

#include <gtest/gtest.h>
#include <platform/d3d9_kernels.h>

#include <vector>

#include "draw_fixture.h"
#include "graphics/shader_pack.h"

namespace {

class BuiltinShadersTest : public DrawFixture {};

// The shaders come from the pack by name; a shader that cannot be made leaves none of them,
// and the mask shader fails with its own line.
TEST_F(BuiltinShadersTest, AFailedCreationKeepsNothing) {
    StartDrawing(32);
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    ReleaseBuiltinDrawShaders();
    const int live = TestD3d9LiveObjects();
    TestFailNthCall("CreatePixelShader", 30);
    EXPECT_EQ(CreateBuiltinDrawShaders(), -1);
    EXPECT_EQ(GetUntexturedShader(0), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
    TestFailNthCall("CreatePixelShader", kUntexturedShaderCount + kTexturedShaderCount + 1);
    EXPECT_EQ(CreateBuiltinDrawShaders(), -1);
    EXPECT_EQ(GetTexturedShader(3, 3, 1, 1), nullptr);
    EXPECT_EQ(GetMaskBlendShader(), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
    EXPECT_TRUE(InOrder(ReadLog(), {"基本シェーダーオブジェクトの作成に失敗しました\r\n",
                                    "マスク処理用シェーダーオブジェクトの作成に失敗しました\r\n"}));

    ASSERT_EQ(CreateBuiltinDrawShaders(), 0);
    EXPECT_NE(GetUntexturedShader(3), nullptr);
    EXPECT_NE(GetTexturedShader(3, 3, 1, 1), nullptr);
    EXPECT_NE(GetMaskBlendShader(), nullptr);
    EXPECT_EQ(GetTexturedShader(4, 0, 0, 0), nullptr);
    // The 3D variant's kernel came with them.
    std::vector<DWORD> variant = MakeShaderKernelRecord(false, "ps_3d_variant");
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(DeviceCreatePixelShader(variant.data(), &shader), D3D_OK);
    ReleaseComObject(shader);
    ReleaseBuiltinDrawShaders();
    EXPECT_EQ(GetUntexturedShader(0), nullptr);
    EXPECT_EQ(TestD3d9LiveObjects(), live);
}

}  // namespace

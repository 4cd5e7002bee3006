#include "graphics/builtin_shaders.h"

int CreateBuiltinDrawShaders() {
    return -1;
}

void ReleaseBuiltinDrawShaders() {}

IDirect3DPixelShader9* GetUntexturedShader(int kind) {
    return nullptr;
}

IDirect3DPixelShader9* GetTexturedShader(int blendIndex, int kind, int ignoreColor,
                                         int ignoreTextureAlpha) {
    return nullptr;
}

IDirect3DPixelShader9* GetMaskBlendShader() {
    return nullptr;
}

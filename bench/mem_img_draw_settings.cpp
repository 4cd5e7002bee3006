#include "mem_img_draw_settings.h"

#include <platform/cpu.h>

#include "core/system_info.h"
#include "softrender/mem_img.h"

MemImgDrawSettings::MemImgDrawSettings(int width, int height, int mode, int param)
    : drawArea_(gMemImgDraw.drawArea),
      blendMode_(gMemImgDraw.blendMode),
      blendParam_(gMemImgDraw.blendParam),
      bright_(gMemImgDraw.bright),
      mmxUsable_(gSystemInfo.mmxUsable) {
    SetupMemImgTables();
    unsigned regs[4];
    CpuId(1, regs);
    gSystemInfo.mmxUsable = regs[3] >> 23 & 1;  // as start-up sets it
    const RECT area{0, 0, width, height};
    SetMemImgDrawArea(&area);
    SetMemImgBright(0xFFFFFF);
    SetMemImgBlendMode(mode, param);
}

MemImgDrawSettings::~MemImgDrawSettings() {
    SetMemImgDrawArea(&drawArea_);
    SetMemImgBlendMode(blendMode_, blendParam_);
    SetMemImgBright(bright_);
    gSystemInfo.mmxUsable = mmxUsable_;
}

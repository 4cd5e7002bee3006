// The classes the layer's COM servers implement, each made by its module; CoCreateInstance
// looks them up here. Listing them names every server, so this table stands above them all.
#include "../ddraw/direct_draw.h"
#include "../dinput/dinput_objects.h"
#include "../dshow/filter_base.h"
#include "../dsound/direct_sound.h"
#include "../ole32/com_classes.h"
#include "platform/ddraw.h"
#include "platform/dsound.h"

static const ComClass kComClasses[] = {
    {CLSID_DirectSound, CreateDirectSoundObject},  {CLSID_DirectDraw7, CreateDirectDraw7Object},
    {CLSID_DirectInput, CreateDirectInput7Object}, {CLSID_DirectInput8, CreateDirectInput8Object},
    {CLSID_FilterGraph, CreateFilterGraphObject},  {CLSID_NullRenderer, CreateNullRendererObject},
};

std::span<const ComClass> RegisteredComClasses() {
    return kComClasses;
}

#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_public_calls: one script for each section of orbek/orbek.h,
in the layout fuzz/public_calls.cpp reads (its opening comment). The call numbers come from the
list of calls there (ORBEK_FUZZ_CALLS). Usage: public_calls_seeds.py [corpus directory]"""

import math
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = open(os.path.join(HERE, "public_calls.cpp"), encoding="utf-8").read()
CALLS = re.findall(r"X\((\w+)\)", re.search(r"#define ORBEK_FUZZ_CALLS\(X\)(.*?)\n//",
                                              SOURCE, re.S).group(1))
NUMBER = {name: i for i, name in enumerate(CALLS)}

# Handles: the latest of the call's own kind, the one before; fixed values.
LATEST, EARLIER, NO_HANDLE, BACK_SCREEN = 0x00, 0x01, 0xA0, 0xA2
# Follows a set-up or screen-mode change that is to go ahead; a device profile of shaders.
KEY = bytes([int(re.search(r"kCostlyKey = (0x[0-9A-Fa-f]+)", SOURCE).group(1), 16)])
SHADERS = bytes([1])
NAN = float("nan")
INF = float("inf")


class Seed:
    def __init__(self):
        self.out = bytearray()

    def call(self, name, *arguments):
        self.out.append(NUMBER[name])
        for argument in arguments:
            self.out += argument
        return self


def byte(value):
    return bytes([value & 0xFF])


def i(value):
    """An int: one byte for -32..159, else four that follow."""
    if -32 <= value <= 159:
        return byte(value + 32)
    return b"\xf0" + struct.pack("<i", value)


def f(value):
    if float(value).is_integer() and -32 <= value <= 159:
        return byte(int(value) + 32)
    return b"\xf0" + struct.pack("<f", value)


def d(value):
    if not math.isnan(value) and float(value).is_integer() and -32 <= value <= 159:
        return byte(int(value) + 32)
    return b"\xf0" + struct.pack("<d", value)


def word(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def h(choice=LATEST):
    return byte(choice)


def p(value):
    """A filter parameter that is an int."""
    return b"\x02" + i(value)


def text(value):
    """A text (or path) of its own bytes, no terminator in the script."""
    data = value.encode("latin-1") if isinstance(value, str) else value
    return byte(0x80 + len(data)) + data


def seeds():
    s = {}
    s["start_up"] = (Seed()
        .call("PumpMessages")
        .call("ShutdownLibrary", KEY)
        .call("SetNoSwitch", byte(2), i(1))
        .call("SetupLibrary", KEY, byte(0))
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("ShutdownLibrary", KEY)
        .call("SetNoSwitch", byte(2), i(0))
        .call("SwitchHardwareRendering", i(0))
        .call("SetupLibrary", KEY, byte(3))
        .call("PumpMessages")
        .call("GetUsableShaderVersion"))
    s["screen"] = (Seed()
        .call("SetWindowTitle", text("\x82\xb1\x82\xf1"))
        .call("ChangeScreenMode", KEY, i(128), i(96), i(16), i(1), i(0))
        .call("SwitchVSyncWait", i(0))
        .call("SetWindowScale", d(2.5), d(NAN))
        .call("QueryScreenSizeAndDepth", byte(0))
        .call("GetDesktopMode", byte(5))
        .call("ChangeWindowMode", KEY, i(0))
        .call("PutBoxFilled", i(0), i(0), i(40), i(40), word(0xFFFF))
        .call("FlipScreen"))
    s["log_clock"] = (Seed()
        .call("AppendLogText", byte(9))
        .call("AppendLogText", text("%d%s\n"))
        .call("GetMillisecondCount", i(0))
        .call("RandomUpTo", i(2**31 - 1))
        .call("RandomUpTo", i(-5))
        .call("AdvanceClock", word(40000)))
    s["input"] = (Seed()
        .call("HostEvent", byte(5), i(0), i(0), i(0), byte(0x41), byte(0x1E), byte(0), byte(1))
        .call("TestKeyDown", i(0x1E))
        .call("CopyAllKeyStates", byte(0))
        .call("Joypads", i(1))
        .call("JoypadRumble", i(1), byte(0), i(5000), i(100))
        .call("JoypadRumble", i(2), byte(1))
        .call("JoystickState", i(-32768), i(32767), i(0), i(0), i(0), i(0), word(5), i(90),
              byte(0))
        .call("Joypads", i(1 | 0x1000))
        .call("HostEvent", byte(9), i(50), i(40), i(0), byte(0), byte(0), byte(0), byte(1))
        .call("ReadMousePosition", byte(0))
        .call("HostEvent", byte(16), i(700), i(100))
        .call("ReadMousePosition", byte(0))
        .call("HostEvent", byte(10), i(50), i(40), i(1), byte(0), byte(0), byte(0), byte(1))
        .call("GetMouseButtonBits")
        .call("HostFocusLost", byte(1), byte(20))
        .call("PumpMessages")
        .call("HostEvent", byte(7), i(0), i(0), i(0), byte(0), byte(0), byte(0), text("\xe3\x81\x82"))
        .call("PumpMessages")
        .call("HostEvent", byte(0), KEY, i(0), i(0), i(0), byte(0), byte(0), byte(0), byte(1))
        .call("PumpMessages")
        .call("FlipScreen")
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0)))
    s["draw_settings"] = (Seed()
        .call("SelectDrawScreen", h(BACK_SCREEN))
        .call("EraseDrawScreen", i(-1), i(0), i(0), i(0), byte(0))
        .call("SetDrawRegion", i(80), i(50), i(10), i(5))
        .call("ChangeBlendMode", i(1), i(128))
        .call("SetDrawBright", i(255), i(-1), i(300))
        .call("ChangeAlphaTestState", i(5), i(128))
        .call("SetDrawSamplingMode", i(2))
        .call("PackScreenColor", i(255), i(128), i(-1))
        .call("InstallGraphRestoreHandler", byte(1))
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("PutBoxFilled", i(0), i(0), i(40), i(40), word(0xFFFF))
        .call("FlipScreen")
        .call("LoseDevice")
        .call("PumpMessages")
        .call("PutGraph", i(1), i(1), h(), i(0))
        .call("FlipScreen"))
    s["graphs"] = (Seed()
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("LoadImageFileAsDivGraphs", text("cells.bmp"), i(8), i(4), i(2), i(8), i(8),
              byte(0), i(0))
        .call("LoadImageMemoryAsGraph", byte(1), byte(1), byte(2), i(0))
        .call("QueryGraphSize", h(), byte(0))
        .call("AttachGraphLostFlag", h(), byte(1))
        .call("ColorFillGraph", h(), i(255), i(0), i(128), i(255))
        .call("PutBoxFilled", i(0), i(0), i(40), i(40), word(0xFFFF))
        .call("CopyScreenRectToGraph", h(BACK_SCREEN), i(0), i(0), i(8), i(8), i(0), i(0), h(2))
        .call("CopyDrawScreenToGraph", i(0), i(0), i(8), i(8), h(3))
        .call("DisposeGraph", h(3))
        .call("PutGraph", i(0), i(0), h(3), i(0))
        .call("LoadImageFileAsGraph", text("arc\\sub\\c.bgra"), i(0)))
    s["blend_graphs"] = (Seed()
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("LoadImageFileAsGraph", text("grey.bmp"), i(0))
        .call("SetBlendGraph", h(), i(1), i(128), i(20))
        .call("PutGraph", i(0), i(0), h(EARLIER), i(1))
        .call("AttachBlendGraph", h(), i(128), i(0))
        .call("PutGraph", i(8), i(0), h(EARLIER), i(0))
        .call("DisposeGraph", h())
        .call("PutGraph", i(16), i(0), h(EARLIER), i(0))
        .call("FlipScreen"))
    draw = (Seed()
        .call("LoadImageFileAsGraph", text("b.bgra"), i(0))
        .call("PutGraph", i(2), i(3), h(), i(1))
        .call("PutGraphRotated", f(30), f(30.5), d(1.5), d(0.7), h(), i(1), i(1))
        .call("PutGraphStretched", i(50), i(0), i(10), i(40), h(), i(0))
        .call("PutGraphStretchedFloat", f(0.5), f(0.5), f(60.25), f(20.75), h(), i(1))
        .call("PutGraphMirrored", i(40), i(40), h(), i(0))
        .call("PutGraphPart", i(0), i(0), i(4), i(4), i(8), i(8), h(), i(1), i(1))
        .call("PutGraphOnQuad", h(), f(0), f(0), f(50), f(5), f(60), f(60), f(3), f(40),
              i(1), i(0))
        .call("PutGraphOnQuadFloat", h(), f(0), f(0), f(50), f(5), f(60), f(60), f(3), f(40),
              i(0))
        .call("ChangeBlendMode", i(2), i(200))
        .call("PutBox", i(5), i(5), i(30), i(30), word(0xF800), i(0))
        .call("PutBoxFilled", i(5), i(5), i(30), i(30), word(0x07E0))
        .call("PutBoxOutline", i(30), i(30), i(5), i(5), word(0x001F))
        .call("PutGraphVertexList", i(3),
              f(0), f(0), f(0), f(1), word(0xFFFF0000), f(0), f(0),
              f(40), f(0), f(0), f(1), word(0xFF00FF00), f(1), f(0),
              f(0), f(40), f(0), f(1), word(0xFF0000FF), f(0), f(1),
              i(4), h(), byte(0), i(0))
        .call("FlipScreen"))
    s["drawing"] = draw
    software = Seed().call("ShutdownLibrary", KEY).call("SwitchHardwareRendering", i(0)) \
        .call("SetupLibrary", KEY, byte(0)).call("SelectDrawScreen", h(BACK_SCREEN))
    software.out += draw.out
    s["drawing_software"] = software
    s["movies"] = (Seed()
        .call("LoadImageFileAsGraph", text("m.ogv"), i(0))
        .call("GetGraphMovie", h())
        .call("PlayMovieHandle", h(), i(1))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("AdvanceClock", word(500000))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("IsMovieHandlePlaying", h())
        .call("PauseMovieHandle", h())
        .call("PlayMovieHandle", h(), i(3))
        .call("AdvanceClock", word(4000000))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("DisposeGraph", h())
        .call("IsMovieHandlePlaying", h())
        .call("LoadImageFileAsGraph", text("ms.ogv"), i(0))
        .call("PlayMovieHandle", h(), i(1))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("AdvanceClock", word(300000))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("HostFocusLost", byte(0), byte(10))
        .call("PutGraph", i(0), i(0), h(), i(0)))
    s["fonts"] = (Seed()
        .call("MakeFontHandle", byte(0), i(16), i(4), i(0), i(-1), i(-1), i(0), h(NO_HANDLE))
        .call("DrawStringWithFont", i(2), i(2), text("Abc"), word(0xFFFF), h(), word(0), i(0))
        .call("MeasureStringWidth", byte(7), h(), b"abc")
        .call("MeasureStringWidth", byte(2), h(), byte(4), i(3))
        .call("GetFontHandleSize", h())
        .call("SetFontHandleSpacing", i(3), h())
        .call("BindFontLostFlag", h(), byte(2))
        .call("MakeFontHandle", byte(3), i(10), i(9), i(2), i(-1), i(2), i(1), h())
        .call("DrawStringWithFont", i(2), i(20), byte(4), word(0xFFFF), h(), word(0xF800), i(1))
        .call("DeleteFontHandle", h(EARLIER)))
    s["shaders"] = (Seed()
        .call("ShutdownLibrary", KEY)
        .call("SetupLibrary", KEY, SHADERS)
        .call("SelectDrawScreen", h(BACK_SCREEN))
        .call("RegisterPixelShaderFunction", byte(0))
        .call("MakeShaderCode", i(0), byte(0), byte(0))
        .call("CreateShaderFromCode", i(0), byte(0))
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("SelectUserShader", byte(0), h())
        .call("BindShaderTexture", i(1), h())
        .call("StoreShaderConstants", i(3), i(0), i(2), byte(1),
              f(0.25), f(0), f(0), f(0), f(1), f(NAN), f(INF), f(-1), byte(0))
        .call("PutGraph", i(0), i(0), h(), i(0))
        .call("ClearShaderConstRange", i(3), i(0), i(1))
        .call("PutBoxFilled", i(0), i(0), i(9), i(9), word(0xFFFF))
        .call("DeleteShaderHandle", h())
        .call("GetUsableShaderVersion"))
    s["filters"] = (Seed()
        .call("LoadImageFileAsGraph", text("b.bgra"), i(0))
        .call("LoadImageFileAsGraph", text("grey.bmp"), i(0))
        .call("ApplyFilterInPlace", h(EARLIER), i(1), p(16), p(150), p(0), p(0), p(0))
        .call("ApplyFilterInPlace", h(), i(4), p(0), p(90), p(10), p(-10), p(0))
        .call("ApplyFilterOrBlend", i(0), h(EARLIER), h(NO_HANDLE), h(), i(255), i(6),
              i(0), i(0), i(16), i(16), i(0), i(0), i(0), i(0), i(0),
              p(10), p(200), p(120), p(0), p(255))
        .call("ApplyFilterOrBlend", i(1), h(EARLIER), h(), h(EARLIER), i(128), i(6),
              i(0), i(0), i(16), i(16), i(2), i(2), i(1), i(0), i(0),
              p(0), p(0), p(0), p(0), p(0))
        .call("ApplyFilterOrBlend", i(0), h(EARLIER), h(NO_HANDLE), h(), i(255), i(8),
              i(0), i(0), i(16), i(16), i(0), i(0), i(0), i(0), i(0),
              b"\x00" + h(), p(1), p(0), p(0), p(0)))
    s["sounds"] = (Seed()
        .call("LoadSoundHandle", text("s.wav"), i(2), h(NO_HANDLE))
        .call("PlaySoundHandle", h(), i(1), i(1))
        .call("SoundQueries", h())
        .call("AdvanceClock", word(20000))
        .call("StopSoundHandle", h())
        .call("PlaySoundHandle", h(), i(0), i(0))
        .call("LoadSoundHandle", text("arc/s.wav"), i(1), h())
        .call("PlaySoundHandle", h(), i(3), i(1))
        .call("DeleteSoundHandle", h(EARLIER))
        .call("SoundQueries", h(EARLIER))
        .call("LoadSoundHandle", text("s8.wav"), i(10), h(NO_HANDLE))
        .call("LoadSoundHandle", text("tone.mp3"), i(1), h(NO_HANDLE))
        .call("PlaySoundHandle", h(), i(1), i(1))
        .call("LoadSoundHandle", text("tone.ogg"), i(3), h(NO_HANDLE))
        .call("PlaySoundHandle", h(), i(3), i(1))
        .call("LoadSoundHandle", text("adpcm.wav"), i(1), h(NO_HANDLE))
        .call("PlaySoundHandle", h(), i(1), i(1))
        .call("AdvanceClock", word(50000))
        .call("SoundQueries", h(EARLIER)))
    s["async_loads"] = (Seed()
        .call("SwitchAsyncLoad", i(1))
        .call("LoadImageFileAsGraph", text("a.bmp"), i(0))
        .call("LoadSoundHandle", text("s.wav"), i(1), h(NO_HANDLE))
        .call("MakeFontHandle", byte(0), i(12), i(-1), i(0), i(-1), i(-1), i(0), h(NO_HANDLE))
        .call("LoadImageFileAsDivGraphs", text("cells.bmp"), i(8), i(4), i(2), i(8), i(8),
              byte(0), i(0))
        .call("LoadQueries", h(), h(), h())
        .call("ChangeScreenMode", KEY, i(64), i(48), i(32), i(0), i(0))
        .call("LoadImageFileAsGraph", text("b.bgra"), i(0))
        .call("WaitForLoads")
        .call("PutGraph", i(0), i(0), h(), i(0)))
    s["data_files"] = (Seed()
        .call("OpenDataFile", text("t.txt"), i(1), i(1), i(0))
        .call("ReadDataFile", byte(0), byte(0x35), byte(0))
        .call("SeekDataFile", byte(0), byte(0), i(2))
        .call("TellDataFile", byte(0))
        .call("EofDataFile", byte(0))
        .call("SeekDataFile", byte(0), byte(5), i(1))
        .call("ReadDataFile", byte(0), byte(0x31), byte(0))
        .call("EofDataFile", byte(0))
        .call("OpenDataFile", text("arc\\t.txt"), i(0), i(1), i(1))
        .call("ReadDataFile", byte(0), byte(0x71), byte(0))
        .call("IsDataFileIdle", byte(0))
        .call("CloseDataFile", byte(1))
        .call("TellDataFile", byte(1))
        .call("SetDataCurrentDir", text("sub"))
        .call("GetDataCurrentDir", byte(0))
        .call("LoadImageFileAsGraph", text("c.bmp"), i(0)))
    s["archives"] = (Seed()
        .call("SetArchiveExtension", byte(0))
        .call("SetArchiveKeyString", byte(1))
        .call("OpenDataFile", text("pak\\t.txt"), i(0), i(1), i(0))
        .call("ReadDataFile", byte(0), byte(0x71), byte(0))
        .call("LoadImageFileAsGraph", text("pak/a.bmp"), i(0))
        .call("SetPlainFileFirst", i(1))
        .call("SetArchiveExtension", byte(7))
        .call("SetArchiveKeyString", byte(0x80), byte(10))
        .call("ShutdownLibrary", KEY)
        .call("SetNoArchiveSwitch", i(1))
        .call("SetupLibrary", KEY, byte(0))
        .call("OpenDataFile", text("t.txt"), i(0), i(1), i(0))
        .call("TellDataFile", byte(0))
        .call("CloseDataFile", byte(0)))
    findings(s)
    return s


def findings(s):
    """The faults the target found, each as the calls that found it, kept once mended."""
    s["finding_disk_file_values"] = (Seed()
        .call("ShutdownLibrary", KEY)
        .call("SetNoArchiveSwitch", i(1))
        .call("SetupLibrary", KEY, byte(0))
        .call("OpenDataFile", text("t.txt"), i(1), i(1), i(0))
        .call("CloseDataFile", byte(0))
        .call("TellDataFile", byte(0))
        .call("IsDataFileIdle", byte(0))
        .call("ReadDataFile", byte(0xE0) + word(0) + word(0x1000), byte(0x31), byte(0)))
    s["finding_font_extremes"] = (Seed()
        .call("MakeFontHandle", byte(0), i(16), i(1075904512), i(0), i(-1), i(-1), i(0),
              h(NO_HANDLE))
        .call("MakeFontHandle", byte(0), i(16), i(-1), i(1), i(-1), i(1114701824), i(0),
              h(NO_HANDLE)))
    s["finding_rumble_pad"] = (Seed()
        .call("JoypadRumble", i(-2**31), byte(1))
        .call("JoypadRumble", i(-2**31), byte(0), i(5000), i(100))
        .call("Joypads", i(-2**31)))
    # The user comes back 121 ms into a switch to full screen, before the leaving is handled.
    s["finding_return_during_switch"] = (Seed()
        .call("HostFocusLost", byte(0), byte(30))
        .call("ChangeWindowMode", KEY, i(0)))
    # The user leaves full screen and comes back while the library shuts down.
    s["finding_return_during_shutdown"] = (Seed()
        .call("ChangeWindowMode", KEY, i(0))
        .call("HostFocusLost", byte(0), byte(0))
        .call("ShutdownLibrary", KEY))
    # A window scale set after the user closed the window.
    s["finding_scale_after_close"] = (Seed()
        .call("HostEvent", byte(0), KEY, i(0), i(0), i(0), byte(0), byte(0), byte(0), text(""))
        .call("SetWindowScale", d(2), d(0)))
    # Frames at a scale far beyond any display: the window is held to 16384 pixels wide, and
    # the picture was stretched onto 960,000,000.
    s["finding_huge_window_scale"] = (Seed()
        .call("SetWindowScale", d(1e7), d(0.02))
        .call("FlipScreen")
        .call("FlipScreen"))
    # Sounds looping while the clock leaps on by seconds: the output mixes at most a bounded
    # span at each service, as a device that resumes after a stall.
    stall = (Seed()
        .call("LoadSoundHandle", text("s.wav"), i(10), h(NO_HANDLE)))
    for _ in range(8):
        stall.call("PlaySoundHandle", h(), i(3), i(0))
    for _ in range(16):
        stall.call("AdvanceClock", word(4999999))
    s["finding_clock_leap_while_looping"] = stall.call("SoundQueries", h())


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus", "public_calls")
    os.makedirs(directory, exist_ok=True)
    for name, seed in seeds().items():
        with open(os.path.join(directory, name), "wb") as out:
            out.write(seed.out)


if __name__ == "__main__":
    main()

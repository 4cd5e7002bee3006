// Fuzz target: a script of calls through orbek/orbek.h alone, as a program of one's own makes
// them, on the platform layer's headless host with its virtual clock. Each input is a list of
// calls whose arguments it chooses: handles live, deleted, of another kind and forged; ints and
// floats at their extremes, NaN and infinities; null pointers and buffers of exactly the length
// passed, with no terminator; set-up, shutdown and set-up again, screen-mode changes and
// asynchronous loads in between. Setting up is costly, so the framework is set up once and kept;
// each input ends by deleting what it made and putting the settings back (starting again only
// when it shut down, or changing the screen mode back), the user letting go of what they held
// and the window coming back where it stood, so that an input leaves nothing behind but what a
// start-up keeps, and a finding reproduces alone. What an input may cost is bounded too: its
// calls, its costly ones, its loops and how far it moves the clock.
//
// The script's layout (fuzz/public_calls_seeds.py writes seeds in it): a byte chooses the call
// (modulo the calls below), the call's arguments follow; a set-up, shutdown, screen-mode change
// or close first needs the byte kCostlyKey. An int is one byte: 0x00..0xBF the small value byte -
// 32, 0xC0..0xEF an extreme from kInts, 0xF0..0xFF four bytes that follow (little endian); a float
// or double likewise, from kFloats, its raw bits following. A handle is one byte: 0x00..0x7F a
// handle of the kind the call takes made by this input (0 the latest), 0x80..0x9F one of another
// kind, 0xA0..0xBF a fixed value, 0xC0..0xDF one of this input's forged into a near miss,
// 0xE0..0xFF four raw bytes. A text is one byte: below 0x80 a fixed text, else that byte - 0x80
// bytes that follow; a path likewise from the paths. ORBEK_FUZZ_TRACE=1 names each call on
// standard error, with its time, and shows what the input logged.
#include <math.h>
#include <orbek/orbek.h>
#include <platform/mmsystem.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_host.h>
#include <platform/win32_fonts.h>
#include <platform/win32_user.h>
#include <sanitizer/lsan_interface.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cfloat>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each input's calls. A set-up or a screen-mode change starts the graphics, which costs as much
// as hundreds of calls (a device that runs shaders builds a large texture), and so does the new
// start after a shutdown or a close: each is made only when the byte after its call is
// kCostlyKey, and at most kMaxCostly times an input.
constexpr int kMaxCalls = 64;
constexpr uint8_t kCostlyKey = 0xA5;
constexpr int kMaxCostly = 4;
// The screen every input starts on; screen-mode changes keep to small screens.
// The most pixels a window-mode window of the script is given: those of a 640 x 480 window.
constexpr int64_t kAffordableWindowPixels = 640 * 480;
constexpr int kScreenWidth = 96;
constexpr int kScreenHeight = 72;
constexpr int kLargestSide = 256;
// The sound output mixes what the clock's moves make due (up to a second at each service), for
// every sound that plays: an input's loops and the time it moves the clock on are bounded so
// that the mixing costs little, however the input asks.
constexpr size_t kMaxLoops = 8;
constexpr uint32_t kClockMicroseconds = 8'000'000;
// Loads that have not ended after this much real time count as hung: the loading threads run at
// a low priority, and a busy machine may hold them up for long.
constexpr int kLoadSeconds = 60;

// The calls, in the order of the header's sections. fuzz/public_calls_seeds.py reads the names.
// clang-format off
#define ORBEK_FUZZ_CALLS(X) \
    /* Start-up, shutdown and the message pump */ \
    X(SetupLibrary) X(ShutdownLibrary) X(PumpMessages) X(ChangeWindowMode) \
    /* Screen and window */ \
    X(SetWindowTitle) X(ChangeScreenMode) X(SwitchVSyncWait) X(SwitchHardwareRendering) \
    X(SetNoSwitch) X(SetWindowScale) X(QueryScreenSizeAndDepth) X(GetDesktopMode) \
    /* Log, clock and random numbers */ \
    X(AppendLogText) X(GetMillisecondCount) X(RandomUpTo) \
    /* Keyboard, joypads and mouse */ \
    X(TestKeyDown) X(CopyAllKeyStates) X(Joypads) X(JoypadRumble) X(ReadMousePosition) \
    X(GetMouseButtonBits) \
    /* What the host and the device do to the program: events, the clock, a lost device */ \
    X(HostEvent) X(HostFocusLost) X(JoystickState) X(AdvanceClock) X(LoseDevice) \
    /* Screens and draw settings */ \
    X(SelectDrawScreen) X(EraseDrawScreen) X(FlipScreen) X(SetDrawRegion) X(ChangeBlendMode) \
    X(SetDrawBright) X(ChangeAlphaTestState) X(SetDrawSamplingMode) X(PackScreenColor) \
    X(InstallGraphRestoreHandler) \
    /* Graphs */ \
    X(LoadImageFileAsGraph) X(LoadImageFileAsDivGraphs) X(DisposeGraph) X(LoadImageMemoryAsGraph) \
    X(QueryGraphSize) X(AttachGraphLostFlag) X(ColorFillGraph) X(CopyScreenRectToGraph) \
    X(CopyDrawScreenToGraph) \
    /* Blend graphs */ \
    X(SetBlendGraph) X(AttachBlendGraph) \
    /* Drawing */ \
    X(PutGraph) X(PutGraphRotated) X(PutGraphStretched) X(PutGraphStretchedFloat) \
    X(PutGraphMirrored) X(PutGraphPart) X(PutGraphOnQuad) X(PutGraphOnQuadFloat) X(PutBox) \
    X(PutBoxFilled) X(PutBoxOutline) X(PutGraphVertexList) \
    /* Movies */ \
    X(GetGraphMovie) X(PlayMovieHandle) X(PauseMovieHandle) X(IsMovieHandlePlaying) \
    /* Fonts and text */ \
    X(MakeFontHandle) X(DeleteFontHandle) X(BindFontLostFlag) X(DrawStringWithFont) \
    X(MeasureStringWidth) X(GetFontHandleSize) X(SetFontHandleSpacing) \
    /* Shaders of the program's own */ \
    X(RegisterPixelShaderFunction) X(MakeShaderCode) X(GetUsableShaderVersion) \
    X(CreateShaderFromCode) X(DeleteShaderHandle) X(SelectUserShader) X(BindShaderTexture) \
    X(StoreShaderConstants) X(ClearShaderConstRange) \
    /* Image filters and blend filters */ \
    X(ApplyFilterOrBlend) X(ApplyFilterInPlace) \
    /* Sounds */ \
    X(LoadSoundHandle) X(PlaySoundHandle) X(StopSoundHandle) X(SoundQueries) X(DeleteSoundHandle) \
    /* Asynchronous loading */ \
    X(SwitchAsyncLoad) X(LoadQueries) X(WaitForLoads) \
    /* Data files */ \
    X(OpenDataFile) X(CloseDataFile) X(TellDataFile) X(SeekDataFile) X(ReadDataFile) \
    X(EofDataFile) X(IsDataFileIdle) X(SetDataCurrentDir) X(GetDataCurrentDir) \
    /* Archive settings */ \
    X(SetNoArchiveSwitch) X(SetPlainFileFirst) X(SetArchiveExtension) X(SetArchiveKeyString)
// clang-format on

enum Call : uint8_t {
#define ORBEK_FUZZ_CALL(name) k##name,
    ORBEK_FUZZ_CALLS(ORBEK_FUZZ_CALL)
#undef ORBEK_FUZZ_CALL
        kCallCount
};
const char* const kCallNames[] = {
#define ORBEK_FUZZ_CALL(name) #name,
    ORBEK_FUZZ_CALLS(ORBEK_FUZZ_CALL)
#undef ORBEK_FUZZ_CALL
};

enum Kind { kGraphKind, kFontKind, kSoundKind, kShaderKind, kMovieKind, kKindCount };

const int32_t kInts[] = {
    0,           1,          -1,          2,           3,          4,       7,       8,
    15,          16,         24,          32,          63,         64,      100,     127,
    128,         200,        255,         256,         1000,       4095,    4096,    8191,
    8192,        8193,       65535,       65536,       1 << 24,    INT_MAX, INT_MIN, INT_MAX - 1,
    INT_MIN + 1, 0x40000000, -0x40000000, -2,          -255,       -256,    -8192,   -65536,
    1 << 30,     0x7FFF,     -0x8000,     1 << 16 | 1, 0x10000000, 223,     224,     10000,
};
const double kFloats[] = {
    0.0,       -0.0,      1.0,         -1.0,         0.5,         2.0,     0.25,     3.14159265,
    100.0,     1e6,       1e10,        1e30,         1e300,       FLT_MAX, -FLT_MAX, FLT_MIN,
    DBL_MAX,   -DBL_MAX,  DBL_MIN,     4.9e-324,     1.4e-45,     NAN,     -NAN,     INFINITY,
    -INFINITY, 16777217., 2147483648., -2147483649., 4294967296., 9.3e18,  -9.3e18,  0.999,
    1.001,     -0.5,      6.28318531,  1e-7,         65536.0,     255.0,   256.0,    -1e30,
    8192.5,    0.1,       -100.0,      1e-30,        1e20,        -1e20,   3e9,      -3e9,
};

// Fixed texts: none, empty, plain, Shift-JIS of two whole characters and ending in a lead byte,
// control characters, bytes that lead nowhere, long ones, a format, UTF-8.
const std::string kLongTexts[] = {std::string(255, 'w'), std::string(256, 'x'),
                                  std::string(1100, 'y')};
const char* const kTexts[] = {
    nullptr,
    "",
    "abc",
    "Hello, world",
    "\x82\xb1\x82\xf1",
    "a\x82",
    "line\nnext\ttab\r",
    "\xff\xfe\x80\x81\xa0\xe0\xef\xfc",
    kLongTexts[0].c_str(),
    kLongTexts[1].c_str(),
    kLongTexts[2].c_str(),
    "%s%n%d%%",
    "\xe3\x81\x82",
    "W",
};
// Paths: the files made at start, archive entries, missing files and odd ones (the last, a
// Shift-JIS character whose second byte is '\\').
const std::string kLongPath(1100, 'p');
const char* const kPaths[] = {
    nullptr,
    "",
    "a.bmp",
    "b.bgra",
    "grey.bmp",
    "cells.bmp",
    "wide.bmp",
    "m.ogv",
    "s.wav",
    "s8.wav",
    "t.txt",
    "bad.bmp",
    "bad.wav",
    "missing.png",
    "arc\\a.bmp",
    "arc/s.wav",
    "arc\\t.txt",
    "arc\\sub\\c.bgra",
    "ARC\\MISSING.BMP",
    "pak\\a.bmp",
    "pak/t.txt",
    "sub/c.bmp",
    "sub",
    ".",
    "..",
    "/",
    "arc",
    kLongPath.c_str(),
    "arc\\..\\a.bmp",
    "m.ogv\\x",
    "./a.bmp",
    "\x95\x5c.bmp",
    "ms.ogv",
    "tone.mp3",
    "tone.ogg",
    "adpcm.wav",
};

// The device every input starts on: it runs no shaders of the program's own, since a device
// that does builds a texture of two million texels at every start of the graphics. A set-up in
// the script may choose one that does.
TestD3d9Profile StandardProfile() {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    // The display's modes, as the host's below: full screen finds the small ones a script asks
    // for.
    profile.desktop = {640, 480, 60, D3DFMT_X8R8G8B8};
    profile.modes.clear();
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        for (UINT size : {96u, 128u, 256u, 640u})
            profile.modes.push_back({size, size * 3 / 4, 60, format});
    }
    return profile;
}

// What an input made, so that it can be deleted at its end.
struct Made {
    std::vector<Handle> handles[kKindCount];  // in the order made, live or deleted
    std::vector<StreamValue> files;
    // Blocks that must outlive the calls that took them (asynchronous loads and reads): freed
    // once the loads have ended and the files are closed.
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    std::deque<std::string> texts;
    // Sounds playing in a loop: a play that waits for the end of one waits until the program
    // must end, since a looping buffer never ends.
    std::vector<Handle> looping;
};

// Flags the framework may write until the input's handles are deleted: never freed.
int gLostFlags[8];
int gRestores = 0;
void CountRestore() {
    ++gRestores;
}

// Pixel shader functions that lean on their inputs: constants as stage, coordinates and colour
// (NaN and infinities included), the pixel's position as coordinates, colours not finite.
bool ShadeFromConstants(const ShaderPixelInput& input, const ShaderPixelContext& context,
                        ShaderVector* color) {
    const float* c = context.floatConstants;
    const ShaderVector texel = SampleShaderTexture(
        context, context.intConstants[0], input.texcoord[0].x + c[0], input.texcoord[0].y + c[1]);
    *color = {texel.x * c[4] + input.diffuse.x, texel.y * c[5], texel.z * c[6], texel.w * c[7]};
    return context.boolConstants[0] == 0;
}
bool ShadeAtPosition(const ShaderPixelInput& input, const ShaderPixelContext& context,
                     ShaderVector* color) {
    *color = SampleShaderTexture(context, 1, input.x, input.y);
    return true;
}
bool ShadeNotFinite(const ShaderPixelInput&, const ShaderPixelContext&, ShaderVector* color) {
    *color = {NAN, INFINITY, -INFINITY, -NAN};
    return true;
}
bool ShadeNothing(const ShaderPixelInput&, const ShaderPixelContext&, ShaderVector*) {
    return false;
}

// An asynchronous read into a block of the input ends before its file closes.
void WaitForRead(StreamValue file) {
    for (int i = 0; i < 100000 && IsDataFileIdle(file) == 0; ++i) usleep(100);
}

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return at_ >= size_; }
    size_t At() const { return at_; }
    const uint8_t* Data() const { return data_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word() {
        uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= static_cast<uint32_t>(Byte()) << shift;
        return value;
    }
    int32_t Int() {
        const uint8_t choice = Byte();
        if (choice >= 0xF0) return static_cast<int32_t>(Word());
        if (choice >= 0xC0) return kInts[(choice - 0xC0) % std::size(kInts)];
        return choice - 32;
    }
    double Double() {
        const uint8_t choice = Byte();
        if (choice >= 0xF0) {
            const uint64_t bits = Word() | static_cast<uint64_t>(Word()) << 32;
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        if (choice >= 0xC0) return kFloats[(choice - 0xC0) % std::size(kFloats)];
        return choice - 32;
    }
    float Float() {
        const uint8_t choice = Byte();
        if (choice >= 0xF0) {
            const uint32_t bits = Word();
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        if (choice >= 0xC0)
            return static_cast<float>(kFloats[(choice - 0xC0) % std::size(kFloats)]);
        return static_cast<float>(choice - 32);
    }
    // n bytes of the input (fewer at its end).
    std::string Bytes(size_t n) {
        const size_t taken = std::min(n, size_ - std::min(at_, size_));
        std::string bytes(reinterpret_cast<const char*>(data_) + at_, taken);
        at_ += taken;
        return bytes;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct Fuzzer {
    std::string directory;
    Script* script = nullptr;
    Made made;
    int costly = 0;
    uint32_t clockMoved = 0;    // microseconds the input moved the clock on
    bool setUp = false;         // between a SetupLibrary that succeeded and a shutdown
    bool restart = false;       // the input shut down, set up or made the program end
    bool modeChanged = false;   // the input changed the screen mode or the window mode
    bool windowPlaced = false;  // the input moved or sized the window as a user would
    double scaleX = 1, scaleY = 1;  // the window scale the input set
    // Events the input scheduled, all due by the millisecond scheduledUntil.
    bool scheduled = false;
    uint32_t scheduledUntil = 0;
    // Where the standard start puts the window and the pointer.
    RECT standardWindow{};
    POINT standardPointer{};
    // The way to read a finding's script.
    const bool trace = getenv("ORBEK_FUZZ_TRACE") != nullptr;

    // Whether a window-mode window of the screen size at the scale, as the framework sizes it,
    // has at most kAffordableWindowPixels: each frame costs its pixels in the platform's pixel
    // loops, which the fuzzer's instrumentation slows a hundredfold, and a window 16384 pixels
    // a side would take a gigabyte. Sizes the framework refuses change nothing.
    static bool Affordable(double x, double y, int32_t width, int32_t height) {
        if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return true;
        if (y <= 0) y = x;
        const auto side = [](int32_t screen, double scale) {
            const double scaled = screen * (scale > 0 ? scale : 1.0);
            return static_cast<int64_t>(std::clamp(scaled, 1.0, 16384.0));
        };
        return side(width, x) * side(height, y) <= kAffordableWindowPixels;
    }

    // A set-up or screen-mode change goes ahead when its key follows, within the input's share.
    bool Costly() {
        if (Byte() != kCostlyKey || costly >= kMaxCostly) return false;
        ++costly;
        return true;
    }

    // ---- Arguments ----

    int32_t Int() { return script->Int(); }
    float Float() { return script->Float(); }
    double Double() { return script->Double(); }
    uint8_t Byte() { return script->Byte(); }
    // A side of a screen: kept small where the framework takes it.
    int32_t Side() {
        const int32_t side = Int();
        return side >= 1 && side <= 8192 ? 1 + (side - 1) % kLargestSide : side;
    }

    // A size the framework renders at its cost (a font's, an edge's): those up to `largest` as
    // they are, the rest of the thousands folded below it, the far ones kept, to be refused.
    int32_t Fold(int32_t value, int32_t largest) const {
        return value > largest && value < (1 << 20) ? 1 + value % largest : value;
    }

    Handle Pick(const std::vector<Handle>& handles, uint8_t choice) const {
        return handles.empty() ? -1 : handles[handles.size() - 1 - choice % handles.size()];
    }
    Handle HandleOf(Kind kind) {
        const uint8_t choice = Byte();
        const std::vector<Handle>& own = made.handles[kind];
        switch (choice >> 5) {
            case 0:
            case 1:
            case 2:
            case 3:
                return Pick(own, choice);
            case 4:
                return Pick(made.handles[(kind + 1 + choice % (kKindCount - 1)) % kKindCount],
                            choice / 4);
            case 5: {
                const Handle fixed[] = {
                    -1,         0,          kBackScreen, kFrontScreen, kUntexturedList, INT_MAX,
                    INT_MIN,    1,          -3,          0xFFFF,       0x7C000000,      0x04000000,
                    0x08010000, 0x0C000001, 0x10000000,  0x14000000};
                return fixed[choice % std::size(fixed)];
            }
            case 6: {
                // A near miss of a real handle: another check number, kind or slot.
                const auto base = static_cast<uint32_t>(Pick(own, choice / 8));
                const uint32_t misses[] = {base ^ 0x10000,    base ^ 0x4000000,  base + 1,
                                           base & 0x03FFFFFF, base | 0x80000000, base | 0xFFFF,
                                           base ^ 0x3FF0000,  base - 1};
                return static_cast<Handle>(misses[choice % 8]);
            }
            default:
                return static_cast<Handle>(script->Word());
        }
    }
    const char* Keep(std::string text) { return made.texts.emplace_back(std::move(text)).c_str(); }
    const char* Text() {
        const uint8_t choice = Byte();
        return choice < 0x80 ? kTexts[choice % std::size(kTexts)]
                             : Keep(script->Bytes(choice - 0x80));
    }
    const char* Path() {
        const uint8_t choice = Byte();
        return choice < 0x80 ? kPaths[choice % std::size(kPaths)]
                             : Keep(script->Bytes(choice - 0x80));
    }
    // A block of exactly `bytes` bytes that lives until the input ends.
    uint8_t* Block(size_t bytes) {
        made.blocks.push_back(std::make_unique<uint8_t[]>(bytes == 0 ? 1 : bytes));
        return made.blocks.back().get();
    }
    uint8_t* BlockOf(const std::string& bytes) {
        uint8_t* block = Block(bytes.size());
        std::memcpy(block, bytes.data(), bytes.size());
        return block;
    }
    void Record(Kind kind, Handle handle) {
        if (handle != -1) made.handles[kind].push_back(handle);
    }

    // ---- The calls ----

    void Run(Call call);
    void Draw(Call call);
    void Shaders(Call call);
    void Filter(Call call);
    void DataFiles(Call call);

    // ---- Between inputs ----

    void StartStandard();
    std::string LogPath() const;
    void WaitForLoads();
    void ReleaseInput();
    void PlaceWindowBack();
    void EndInput();
};

Fuzzer gFuzzer;
std::vector<uint8_t> gImages[4];  // a.bmp, b.bgra, grey.bmp, cells.bmp as bytes

void Fuzzer::Run(Call call) {
    switch (call) {
        case kSetupLibrary: {
            // The device's profile changes only while nothing is set up, as another machine's
            // would: one that runs shaders, or not; with small textures; without native
            // subtraction; with textures of powers of two.
            if (setUp) {
                SetupLibrary();
                return;
            }
            if (!Costly()) return;
            const uint8_t profile = Byte();
            TestD3d9Profile chosen = StandardProfile();
            if (profile & 1) chosen.shaders = true;
            if (profile & 2) chosen.maxTextureSize = 64;
            if (profile & 4) chosen.nativeSubtract = false;
            if (profile & 8) chosen.textureCaps |= D3DPTEXTURECAPS_POW2;
            TestD3d9SetProfile(chosen);
            setUp = SetupLibrary() == 0;
            return;
        }
        case kShutdownLibrary:
            // The start the next input needs costs as a set-up does.
            if (setUp && !Costly()) return;
            restart = true;
            setUp = false;
            ShutdownLibrary();
            return;
        case kPumpMessages:
            PumpMessages();
            return;
        case kChangeWindowMode: {
            // Set up, a change starts the graphics again; before, it is only recorded.
            if (setUp && !Costly()) return;
            const int32_t windowed = Int();
            modeChanged |= windowed != 1;
            ChangeWindowMode(windowed);
            return;
        }
        case kSetWindowTitle:
            SetWindowTitle(Text());
            return;
        case kChangeScreenMode: {
            if (setUp && !Costly()) return;
            modeChanged = true;
            const int32_t width = Side(), height = Side(), bits = Int(), force = Int();
            const int32_t rate = Int();
            if (Affordable(scaleX, scaleY, width, height)) {
                ChangeScreenMode(width, height, bits, force, rate);
            }
            return;
        }
        case kSwitchVSyncWait:
            SwitchVSyncWait(Int());
            IsVSyncWaitOn();
            return;
        case kSwitchHardwareRendering:
            SwitchHardwareRendering(Int());
            return;
        case kSetNoSwitch: {
            const uint8_t which = Byte();
            const int32_t on = Int();
            (which % 3 == 0   ? SetNoSoundSwitch
             : which % 3 == 1 ? SetNoInputSwitch
                              : SetNoGraphicsSwitch)(on);
            return;
        }
        case kSetWindowScale: {
            // Any scale whose window is affordable: the long thin windows of extreme scales
            // are, and the picture is stretched onto them as onto any other.
            const double x = Double(), y = Double();
            int width = 0, height = 0;
            QueryScreenSizeAndDepth(&width, &height, nullptr);
            if (!std::isfinite(x) || !std::isfinite(y) || Affordable(x, y, width, height)) {
                SetWindowScale(x, y);
                if (std::isfinite(x) && std::isfinite(y)) scaleX = x, scaleY = y;
            }
            return;
        }
        case kQueryScreenSizeAndDepth: {
            int width = 0, height = 0, bits = 0;
            const uint8_t nulls = Byte();
            QueryScreenSizeAndDepth(nulls & 1 ? nullptr : &width, nulls & 2 ? nullptr : &height,
                                    nulls & 4 ? nullptr : &bits);
            return;
        }
        case kGetDesktopMode: {
            int32_t width = 0, height = 0, bits = 0;
            const uint8_t nulls = Byte();
            GetDesktopMode(nulls & 1 ? nullptr : &width, nulls & 2 ? nullptr : &height,
                           nulls & 4 ? nullptr : &bits);
            return;
        }
        case kAppendLogText:
            AppendLogText(Text());
            return;
        case kGetMillisecondCount:
            GetMillisecondCount(Int());
            return;
        case kRandomUpTo:
            RandomUpTo(Int());
            return;
        case kTestKeyDown:
            TestKeyDown(Int());
            return;
        case kCopyAllKeyStates: {
            uint8_t states[256];
            CopyAllKeyStates(Byte() & 1 ? nullptr : states);
            return;
        }
        case kJoypads:
            CountJoypads();
            GetJoypadBits(Int());
            return;
        case kJoypadRumble: {
            const int32_t pad = Int();
            if (Byte() & 1) {
                StopJoypadRumble(pad);
            } else {
                const int32_t power = Int();
                StartJoypadRumble(pad, power, Int());
            }
            return;
        }
        case kReadMousePosition: {
            int32_t x = 0, y = 0;
            const uint8_t nulls = Byte();
            ReadMousePosition(nulls & 1 ? nullptr : &x, nulls & 2 ? nullptr : &y);
            return;
        }
        case kGetMouseButtonBits:
            GetMouseButtonBits();
            return;
        case kHostEvent: {
            // What a host may report: positions within a few screens, sizes within reason.
            HostEvent event;
            const HostEventKind kinds[] = {
                HostEventKind::Close,           HostEventKind::Shown,
                HostEventKind::Resized,         HostEventKind::Moved,
                HostEventKind::Exposed,         HostEventKind::KeyDown,
                HostEventKind::KeyUp,           HostEventKind::Text,
                HostEventKind::TextEditing,     HostEventKind::MouseMove,
                HostEventKind::MouseButtonDown, HostEventKind::MouseButtonUp,
                HostEventKind::MouseWheel,      HostEventKind::DropFile,
                HostEventKind::DisplayChanged,  HostEventKind::FocusGained};
            // One more choice than the kinds: the user puts the pointer somewhere on the display,
            // over no window of the program.
            const uint8_t kind = Byte() % (std::size(kinds) + 1);
            if (kind == std::size(kinds)) {
                const int32_t x = Int() % 100000;
                TestHostPlacePointer(x, Int() % 100000);
                return;
            }
            event.kind = kinds[kind];
            // A program told to end is started again for the next input, at a set-up's cost.
            if (event.kind == HostEventKind::Close) {
                if (!Costly()) return;
                restart = true;
            }
            event.x = Int() % 100000;
            event.y = Int() % 100000;
            windowPlaced |=
                event.kind == HostEventKind::Moved || event.kind == HostEventKind::Resized;
            if (event.kind == HostEventKind::Resized) {
                event.x = abs(event.x % 1024);
                event.y = abs(event.y % 1024);
            }
            event.button = Int();
            event.virtualKey = Byte();
            event.scanCode = Byte();
            event.repeat = Byte() & 1;
            const char* text = Text();
            event.text = text != nullptr ? text : "";
            HWND window = FindWindowA(nullptr, nullptr);
            if (window != nullptr) TestHostPushEvent(window, event);
            PumpMessages();
            return;
        }
        case kHostFocusLost: {
            // The window loses the focus, or is minimised, and is restored with the focus once
            // the clock has moved on, as a user brings it back: calls in between wait for it.
            // (A full-screen window that loses the focus minimises itself.)
            HWND window = FindWindowA(nullptr, nullptr);
            const bool minimise = Byte() & 1;
            // On the host's clock, which the framework's 31-bit count leaves once the clock
            // passes 2^31 ms, and which runs when the framework is not set up.
            const uint32_t back = timeGetTime() + 1 + Byte() * 4;
            if (window == nullptr) return;
            HostEvent lost, restored, found;
            lost.kind = minimise ? HostEventKind::Minimised : HostEventKind::FocusLost;
            restored.kind = HostEventKind::Restored;
            found.kind = HostEventKind::FocusGained;
            TestHostPushEvent(window, lost);
            TestHostScheduleEvent(window, restored, back);
            TestHostScheduleEvent(window, found, back);
            if (!scheduled || static_cast<int32_t>(back - scheduledUntil) > 0)
                scheduledUntil = back;
            scheduled = true;
            return;
        }
        case kJoystickState: {
            HostJoystickState state;
            for (int32_t& axis : state.axes) axis = static_cast<int16_t>(Int());
            state.buttons = script->Word();
            const int32_t hat = Int();
            state.hat = hat < 0 ? -1 : hat % 360;
            TestHostSetJoystickState(Byte() % 2, state);
            return;
        }
        case kAdvanceClock: {
            const uint32_t step =
                std::min(script->Word() % 5000000, kClockMicroseconds - clockMoved);
            clockMoved += step;
            TestAdvanceClockMicroseconds(step);
            PumpMessages();
            return;
        }
        case kLoseDevice:
            TestD3d9LoseDevices();
            PumpMessages();
            return;
        case kSelectDrawScreen:
            SelectDrawScreen(HandleOf(kGraphKind));
            return;
        case kEraseDrawScreen: {
            RECT rect;
            rect.left = Int(), rect.top = Int(), rect.right = Int(), rect.bottom = Int();
            EraseDrawScreen(Byte() & 1 ? nullptr : &rect);
            return;
        }
        case kFlipScreen:
            FlipScreen();
            return;
        case kSetDrawRegion: {
            const int32_t x1 = Int(), y1 = Int(), x2 = Int();
            SetDrawRegion(x1, y1, x2, Int());
            return;
        }
        case kChangeBlendMode: {
            const int32_t mode = Int();
            ChangeBlendMode(mode, Int());
            return;
        }
        case kSetDrawBright: {
            const int red = Int(), green = Int();
            SetDrawBright(red, green, Int());
            return;
        }
        case kChangeAlphaTestState: {
            const int func = Int();
            ChangeAlphaTestState(func, Int());
            return;
        }
        case kSetDrawSamplingMode:
            SetDrawSamplingMode(Int());
            return;
        case kPackScreenColor: {
            const int red = Int(), green = Int();
            PackScreenColor(red, green, Int());
            return;
        }
        case kInstallGraphRestoreHandler:
            InstallGraphRestoreHandler(Byte() & 1 ? CountRestore : nullptr);
            return;
        case kLoadImageFileAsGraph: {
            const char* path = Path();
            const Handle graph = LoadImageFileAsGraph(path, Int());
            Record(kGraphKind, graph);
            Record(kMovieKind, GetGraphMovie(graph));
            return;
        }
        case kLoadImageFileAsDivGraphs: {
            const char* path = Path();
            const int32_t all = Int(), xNum = Int(), yNum = Int(), width = Int(), height = Int();
            // The cells' array holds what the call is told; a count beyond 64 gets none.
            const bool none = all <= 0 || all > 64 || (Byte() & 1);
            std::vector<Handle> cells(none ? 0 : all, -7);
            if (LoadImageFileAsDivGraphs(path, all, xNum, yNum, width, height,
                                         none ? nullptr : cells.data(), Int()) == 0) {
                for (Handle cell : cells) Record(kGraphKind, cell);
            }
            return;
        }
        case kDisposeGraph:
            DisposeGraph(HandleOf(kGraphKind));
            return;
        case kLoadImageMemoryAsGraph: {
            // Images and alpha images in blocks of exactly the size passed: whole, cut short or
            // none at all.
            auto image = [&](uint32_t* size) -> const void* {
                const uint8_t choice = Byte();
                if (choice == 0) {
                    *size = script->Word();
                    return nullptr;
                }
                const std::vector<uint8_t>& whole = gImages[choice % 4];
                const uint32_t cuts[] = {static_cast<uint32_t>(whole.size()),
                                         static_cast<uint32_t>(whole.size() - 1),
                                         0,
                                         1,
                                         14,
                                         54,
                                         16,
                                         static_cast<uint32_t>(whole.size() / 2)};
                *size = choice & 0x80 ? script->Word() % whole.size() : cuts[(choice >> 2) % 8];
                uint8_t* block = Block(*size);
                std::memcpy(block, whole.data(), *size);
                if (choice & 0x40 && *size > 60) block[60 + Byte() % (*size - 60)] ^= Byte();
                return block;
            };
            uint32_t size = 0, alphaSize = 0;
            const void* bytes = image(&size);
            const void* alpha = Byte() & 1 ? image(&alphaSize) : nullptr;
            const Handle graph = LoadImageMemoryAsGraph(bytes, size, alpha, alphaSize, Int());
            Record(kGraphKind, graph);
            return;
        }
        case kQueryGraphSize: {
            int width = 0, height = 0;
            const Handle graph = HandleOf(kGraphKind);
            const uint8_t nulls = Byte();
            QueryGraphSize(graph, nulls & 1 ? nullptr : &width, nulls & 2 ? nullptr : &height);
            return;
        }
        case kAttachGraphLostFlag: {
            const Handle graph = HandleOf(kGraphKind);
            const uint8_t flag = Byte();
            AttachGraphLostFlag(graph, flag & 8 ? nullptr : &gLostFlags[flag % 8]);
            return;
        }
        case kColorFillGraph: {
            const Handle graph = HandleOf(kGraphKind);
            const int red = Int(), green = Int(), blue = Int();
            ColorFillGraph(graph, red, green, blue, Int());
            return;
        }
        case kCopyScreenRectToGraph: {
            const Handle source = HandleOf(kGraphKind);
            const int32_t x1 = Int(), y1 = Int(), x2 = Int(), y2 = Int(), destX = Int(),
                          destY = Int();
            CopyScreenRectToGraph(source, x1, y1, x2, y2, destX, destY, HandleOf(kGraphKind));
            return;
        }
        case kCopyDrawScreenToGraph: {
            const int32_t x1 = Int(), y1 = Int(), x2 = Int(), y2 = Int();
            CopyDrawScreenToGraph(x1, y1, x2, y2, HandleOf(kGraphKind));
            return;
        }
        case kSetBlendGraph: {
            const Handle graph = HandleOf(kGraphKind);
            const int type = Int(), param1 = Int();
            SetBlendGraph(graph, type, param1, Int());
            return;
        }
        case kAttachBlendGraph: {
            const Handle graph = HandleOf(kGraphKind);
            const int threshold = Int();
            AttachBlendGraph(graph, threshold, Int());
            return;
        }
        case kGetGraphMovie:
            Record(kMovieKind, GetGraphMovie(HandleOf(kGraphKind)));
            return;
        case kPlayMovieHandle: {
            const Handle movie = HandleOf(kMovieKind);
            PlayMovieHandle(movie, Int());
            return;
        }
        case kPauseMovieHandle:
            PauseMovieHandle(HandleOf(kMovieKind));
            return;
        case kIsMovieHandlePlaying:
            IsMovieHandlePlaying(HandleOf(kMovieKind));
            return;
        case kMakeFontHandle: {
            const char* faces[] = {nullptr,
                                   "",
                                   "DejaVu Sans",
                                   "monospace",
                                   "serif",
                                   "No Such Face",
                                   "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e"};
            const uint8_t face = Byte();
            const char* name = face < 0x80 ? faces[face % std::size(faces)] : Text();
            const int size = Fold(Int(), 64), thickness = Fold(Int(), 16), type = Int(),
                      charset = Int(), edge = Fold(Int(), 8), italic = Int();
            Record(kFontKind, MakeFontHandle(name, size, thickness, type, charset, edge, italic,
                                             HandleOf(kFontKind)));
            return;
        }
        case kDeleteFontHandle:
            DeleteFontHandle(HandleOf(kFontKind));
            return;
        case kBindFontLostFlag: {
            const Handle font = HandleOf(kFontKind);
            const uint8_t flag = Byte();
            BindFontLostFlag(font, flag & 8 ? nullptr : &gLostFlags[flag % 8]);
            return;
        }
        case kDrawStringWithFont: {
            const int x = Int(), y = Int();
            const char* text = Text();
            const ScreenColor color = script->Word();
            const Handle font = HandleOf(kFontKind);
            const ScreenColor edge = script->Word();
            DrawStringWithFont(x, y, text, color, font, edge, Int());
            return;
        }
        case kMeasureStringWidth: {
            // A text of exactly `length` bytes with no terminator, or a whole text with a length
            // of its own.
            const uint8_t choice = Byte();
            const Handle font = HandleOf(kFontKind);
            if (choice & 1) {
                const std::string bytes = script->Bytes(choice >> 1);
                const char* text = reinterpret_cast<const char*>(BlockOf(bytes));
                MeasureStringWidth(text, static_cast<int32_t>(bytes.size()), font);
            } else {
                const char* text = Text();
                const int32_t length = Int();
                const size_t whole = text == nullptr ? 0 : std::strlen(text);
                const bool fits = length < 0 || static_cast<size_t>(length) <= whole;
                MeasureStringWidth(text, fits ? length : -1, font);
            }
            return;
        }
        case kGetFontHandleSize:
            GetFontHandleSize(HandleOf(kFontKind));
            return;
        case kSetFontHandleSpacing: {
            const int spacing = Int();
            SetFontHandleSpacing(spacing, HandleOf(kFontKind));
            return;
        }
        case kLoadSoundHandle: {
            const char* path = Path();
            const int32_t buffers = Int();
            Record(kSoundKind, LoadSoundHandle(path, buffers, HandleOf(kSoundKind)));
            return;
        }
        case kPlaySoundHandle: {
            const Handle sound = HandleOf(kSoundKind);
            std::vector<Handle>& looping = made.looping;
            const bool loops = std::find(looping.begin(), looping.end(), sound) != looping.end();
            // A wait for a loop's end would never end; loops beyond the input's share play once.
            const int32_t asked = Int();
            const bool waitsForLoop = asked == kPlayWait && loops;
            const bool loopTooMany = asked == kPlayLoop && looping.size() >= kMaxLoops;
            const int32_t type = waitsForLoop || loopTooMany ? kPlayBackground : asked;
            if (PlaySoundHandle(sound, type, Int()) == 0 && type == kPlayLoop) {
                looping.push_back(sound);
            }
            return;
        }
        case kStopSoundHandle: {
            const Handle sound = HandleOf(kSoundKind);
            if (StopSoundHandle(sound) == 0) std::erase(made.looping, sound);
            return;
        }
        case kSoundQueries: {
            const Handle sound = HandleOf(kSoundKind);
            IsSoundHandlePlaying(sound);
            GetSoundTotalTime(sound);
            GetSoundCurrentTime(sound);
            return;
        }
        case kDeleteSoundHandle:
            DeleteSoundHandle(HandleOf(kSoundKind));
            return;
        case kSwitchAsyncLoad:
            SwitchAsyncLoad(Int());
            IsAsyncLoadOn();
            return;
        case kLoadQueries: {
            CountQueuedAsyncLoads();
            IsGraphLoading(HandleOf(kGraphKind));
            IsSoundHandleLoading(HandleOf(kSoundKind));
            IsFontHandleLoading(HandleOf(kFontKind));
            return;
        }
        case kWaitForLoads:
            WaitForLoads();
            return;
        case kSetNoArchiveSwitch:
            SetNoArchiveSwitch(Int());
            return;
        case kSetPlainFileFirst:
            SetPlainFileFirst(Int());
            return;
        case kSetArchiveExtension: {
            const char* extensions[] = {"pak",
                                        "oba",
                                        "PaK",
                                        ".pak",
                                        "a/b",
                                        "a\\b",
                                        "abcdefghijklmnopqrstuvwxyz01234",  // 31
                                        "abcdefghijklmnopqrstuvwxyz012345"};
            const uint8_t choice = Byte();
            SetArchiveExtension(choice < 0x80 ? extensions[choice % std::size(extensions)]
                                              : Text());
            return;
        }
        case kSetArchiveKeyString: {
            const uint8_t choice = Byte();
            SetArchiveKeyString(choice < 0x80 ? (choice & 1 ? "fuzz key" : "fuzz key and more")
                                              : Text());
            return;
        }
        default:
            if (call <= kPutGraphVertexList) {
                Draw(call);
            } else if (call <= kClearShaderConstRange) {
                Shaders(call);
            } else if (call <= kApplyFilterInPlace) {
                Filter(call);
            } else {
                DataFiles(call);
            }
            return;
    }
}

void Fuzzer::Draw(Call call) {
    switch (call) {
        case kPutGraph: {
            const int32_t x = Int(), y = Int();
            const Handle graph = HandleOf(kGraphKind);
            PutGraph(x, y, graph, Int());
            return;
        }
        case kPutGraphRotated: {
            const float x = Float(), y = Float();
            const double scale = Double(), angle = Double();
            const Handle graph = HandleOf(kGraphKind);
            const int32_t trans = Int();
            PutGraphRotated(x, y, scale, angle, graph, trans, Int());
            return;
        }
        case kPutGraphStretched: {
            const int32_t x1 = Int(), y1 = Int(), x2 = Int(), y2 = Int();
            const Handle graph = HandleOf(kGraphKind);
            PutGraphStretched(x1, y1, x2, y2, graph, Int());
            return;
        }
        case kPutGraphStretchedFloat: {
            const float x1 = Float(), y1 = Float(), x2 = Float(), y2 = Float();
            const Handle graph = HandleOf(kGraphKind);
            PutGraphStretchedFloat(x1, y1, x2, y2, graph, Int());
            return;
        }
        case kPutGraphMirrored: {
            const int32_t x = Int(), y = Int();
            const Handle graph = HandleOf(kGraphKind);
            PutGraphMirrored(x, y, graph, Int());
            return;
        }
        case kPutGraphPart: {
            const int32_t x = Int(), y = Int(), srcX = Int(), srcY = Int(), w = Int(), h = Int();
            const Handle graph = HandleOf(kGraphKind);
            const int32_t trans = Int();
            PutGraphPart(x, y, srcX, srcY, w, h, graph, trans, Int());
            return;
        }
        case kPutGraphOnQuad:
        case kPutGraphOnQuadFloat: {
            const Handle graph = HandleOf(kGraphKind);
            float corner[8];
            for (float& value : corner) value = Float();
            const int32_t trans = Int();
            if (call == kPutGraphOnQuad) {
                PutGraphOnQuad(graph, corner[0], corner[1], corner[2], corner[3], corner[4],
                               corner[5], corner[6], corner[7], trans, Int());
            } else {
                PutGraphOnQuadFloat(corner[0], corner[1], corner[2], corner[3], corner[4],
                                    corner[5], corner[6], corner[7], graph, trans);
            }
            return;
        }
        case kPutBox:
        case kPutBoxFilled:
        case kPutBoxOutline: {
            const int32_t x1 = Int(), y1 = Int(), x2 = Int(), y2 = Int();
            const ScreenColor color = script->Word();
            if (call == kPutBox) {
                PutBox(x1, y1, x2, y2, color, Int());
            } else if (call == kPutBoxFilled) {
                PutBoxFilled(x1, y1, x2, y2, color);
            } else {
                PutBoxOutline(x1, y1, x2, y2, color);
            }
            return;
        }
        case kPutGraphVertexList: {
            // As many vertices as the count says (a large count folded to at most 64), or a few
            // for a count of none.
            const int32_t asked = Int();
            const int32_t count = asked > 64 ? 1 + asked % 64 : asked;
            const int32_t held = count > 0 ? count : Byte() % 4;
            auto* vertices = reinterpret_cast<GraphListVertex*>(
                Block(sizeof(GraphListVertex) * static_cast<size_t>(held)));
            for (int32_t i = 0; i < held; ++i) {
                GraphListVertex& vertex = vertices[i];
                vertex.x = Float(), vertex.y = Float(), vertex.z = Float(), vertex.rhw = Float();
                vertex.color = script->Word();
                vertex.u = Float(), vertex.v = Float();
            }
            const int32_t type = Int();
            const Handle graph = HandleOf(kGraphKind);
            PutGraphVertexList(Byte() & 1 ? nullptr : vertices, count, type, graph, Int());
            return;
        }
        default:
            return;
    }
}

void Fuzzer::Shaders(Call call) {
    const char* names[] = {"fuzz a",
                           "fuzz b",
                           "fuzz c",
                           "fuzz d",
                           nullptr,
                           "",
                           "123456789012345678901234567890123456789012345678901234567890123",
                           "12345678901234567890123456789012345678901234567890123456789012"};
    switch (call) {
        case kRegisterPixelShaderFunction: {
            const PixelShaderFunction functions[] = {ShadeFromConstants, ShadeAtPosition,
                                                     ShadeNotFinite, ShadeNothing, nullptr};
            const uint8_t choice = Byte();
            RegisterPixelShaderFunction(names[choice % std::size(names)],
                                        functions[(choice >> 3) % std::size(functions)]);
            return;
        }
        case kMakeShaderCode: {
            const int32_t isVertex = Int();
            const uint8_t choice = Byte();
            ShaderCode code{};
            MakeShaderCode(isVertex, choice < 0x80 ? names[choice % std::size(names)] : Text(),
                           Byte() & 1 ? nullptr : &code);
            return;
        }
        case kGetUsableShaderVersion:
            GetUsableShaderVersion();
            return;
        case kCreateShaderFromCode: {
            // Code made for a registered name, cut, lengthened or changed, in a block of exactly
            // the size passed; or no code at all (also for a size beyond any block).
            const int32_t isVertex = Int();
            const uint8_t choice = Byte();
            ShaderCode code{};
            MakeShaderCode(choice & 1, names[(choice >> 1) % 4], &code);
            const int32_t size = choice & 0x10 ? Int() : code.size;
            const size_t held = size >= 0 && size <= 4096 ? static_cast<size_t>(size) : 0;
            uint8_t* block = Block(held);
            std::memcpy(block, code.words, std::min(held, sizeof code.words));
            if (choice & 0x20 && held > 0) block[Byte() % held] ^= Byte();
            const bool none = choice & 0x40 || size > 4096;
            Record(kShaderKind, CreateShaderFromCode(isVertex, none ? nullptr : block, size));
            return;
        }
        case kDeleteShaderHandle:
            DeleteShaderHandle(HandleOf(kShaderKind));
            return;
        case kSelectUserShader: {
            const uint8_t which = Byte();
            const Handle shader = HandleOf(kShaderKind);
            (which & 1 ? SelectUserVertexShader : SelectUserPixelShader)(shader);
            return;
        }
        case kBindShaderTexture: {
            const int32_t stage = Int();
            BindShaderTexture(stage, HandleOf(kGraphKind));
            return;
        }
        case kClearShaderConstRange: {
            const int32_t kind = Int(), first = Int();
            ClearShaderConstRange(kind, first, Int());
            return;
        }
        case kStoreShaderConstants: {
            // Values for every register the count names, as a program must give; a count beyond
            // every kind's registers gets one register's worth.
            const int32_t kind = Int(), first = Int(), count = Int();
            const size_t registers = count > 0 && count <= 256 ? count : 1;
            auto* values = reinterpret_cast<uint32_t*>(Block(registers * 16));
            const bool floats = Byte() & 1;
            for (size_t i = 0; i < registers * 4; ++i) {
                if (floats) {
                    const float value = Float();
                    std::memcpy(&values[i], &value, sizeof value);
                } else {
                    values[i] = static_cast<uint32_t>(Int());
                }
            }
            StoreShaderConstants(kind, first, Byte() & 1 ? nullptr : values, count);
            return;
        }
        default:
            return;
    }
}

void Fuzzer::Filter(Call call) {
    FilterParameters parameters;
    auto parameter = [&]() -> int64_t {
        // A byte first: 0 a graph handle follows, 1 a value of 64 bits, else an int.
        const uint8_t choice = Byte();
        if (choice == 0) return HandleOf(kGraphKind);
        if (choice == 1) return static_cast<int64_t>(script->Word()) << 32 | script->Word();
        return Int();
    };
    if (call == kApplyFilterInPlace) {
        const Handle graph = HandleOf(kGraphKind);
        const int32_t kind = Int();
        for (int64_t& value : parameters.values) value = parameter();
        ApplyFilterInPlace(graph, kind, parameters);
        return;
    }
    FilterRequest request;
    request.isBlend = Int();
    request.sourceGraph = HandleOf(kGraphKind);
    request.blendGraph = HandleOf(kGraphKind);
    request.destGraph = HandleOf(kGraphKind);
    request.blendRatio = Int();
    request.kind = Int();
    request.srcX1 = Int(), request.srcY1 = Int(), request.srcX2 = Int(), request.srcY2 = Int();
    request.blendX = Int(), request.blendY = Int();
    request.useBlendPosition = Int();
    request.destX = Int(), request.destY = Int();
    for (int64_t& value : parameters.values) value = parameter();
    ApplyFilterOrBlend(request, parameters);
}

void Fuzzer::DataFiles(Call call) {
    // An open file of this input or a forged value. Not one it closed: the table's lowest free
    // place is taken again, so a closed value may name a file the framework itself is reading,
    // which a program must not touch and the framework cannot tell from the program's.
    auto file = [&]() -> StreamValue {
        const uint8_t choice = Byte();
        if (choice < 0xC0) {
            return made.files.empty()
                       ? 0
                       : made.files[made.files.size() - 1 - choice % made.files.size()];
        }
        if (choice < 0xE0) {
            const StreamValue fixed[] = {
                0, 1, 0x40000000, 0x40000001, 0x4000003F, static_cast<StreamValue>(-1), 0x1000, 8};
            return fixed[choice % std::size(fixed)];
        }
        return static_cast<StreamValue>(script->Word()) << 32 | script->Word();
    };
    switch (call) {
        case kOpenDataFile: {
            const char* path = Path();
            const int32_t useCache = Int(), unused = Int(), useAsync = Int();
            const StreamValue opened = OpenDataFile(path, useCache, unused, useAsync);
            if (opened != 0) made.files.push_back(opened);
            return;
        }
        case kCloseDataFile: {
            const StreamValue value = file();
            if (CloseDataFile(value) == 0) std::erase(made.files, value);
            return;
        }
        case kTellDataFile:
            TellDataFile(file());
            return;
        case kSeekDataFile: {
            const StreamValue value = file();
            const uint8_t choice = Byte();
            const int64_t offsets[] = {
                0,         1,         -1,        10,        100000,           INT64_MAX,
                INT64_MIN, INT32_MAX, INT32_MIN, 1ll << 31, -(1ll << 31) - 1, 1ll << 32,
                245,       246,       247,       3};
            const int64_t offset = choice < 0x80 ? offsets[choice % std::size(offsets)] : Int();
            SeekDataFile(value, offset, Int());
            return;
        }
        case kReadDataFile: {
            // A buffer of every byte the count asks for, up to a megabyte (the files are far
            // smaller); a total that overflows gets a few bytes, the call reading nothing.
            const StreamValue value = file();
            const size_t sizes[] = {0,
                                    1,
                                    2,
                                    3,
                                    4,
                                    7,
                                    16,
                                    100,
                                    246,
                                    1000,
                                    SIZE_MAX,
                                    SIZE_MAX / 2 + 1,
                                    size_t{1} << 32,
                                    (size_t{1} << 32) + 1,
                                    size_t{1} << 40,
                                    0x10001};
            const uint8_t choice = Byte();
            const size_t element = sizes[choice % std::size(sizes)];
            const size_t count = sizes[(choice >> 4) % std::size(sizes)];
            const bool overflows = element != 0 && count > SIZE_MAX / element;
            const size_t total = overflows ? 8 : std::min(element * count, size_t{1} << 20);
            ReadDataFile(Byte() & 1 ? nullptr : Block(total), element, count, value);
            return;
        }
        case kEofDataFile:
            EofDataFile(file());
            return;
        case kIsDataFileIdle:
            IsDataFileIdle(file());
            return;
        case kSetDataCurrentDir:
            SetDataCurrentDir(Path());
            return;
        case kGetDataCurrentDir: {
            char* buffer = reinterpret_cast<char*>(Block(kDataCurrentDirBytes));
            GetDataCurrentDir(Byte() & 1 ? nullptr : buffer);
            return;
        }
        default:
            return;
    }
}

// The loads in flight end (the pump runs their device share), or the run stops as hung. A
// program that must end (closed, or Alt+F4 typed) pumps no more: it shuts down, which ends its
// loads, and the next input starts again.
void Fuzzer::WaitForLoads() {
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (CountQueuedAsyncLoads() > 0) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec > kLoadSeconds) {
            std::fprintf(stderr, "asynchronous loads did not end in %d s\n", kLoadSeconds);
            abort();
        }
        if (PumpMessages() != 0) {
            ShutdownLibrary();
            setUp = false;
            restart = true;
            return;
        }
        // The pause leaves the processor to the loading threads.
        usleep(100);
    }
}

// The start every input meets: set up in a window on the device, a small 16-bit screen, the
// back screen selected, every other setting at its default.
void Fuzzer::StartStandard() {
    ShutdownLibrary();
    setUp = false;
    TestD3d9SetProfile(StandardProfile());
    SetNoSoundSwitch(0);
    SetNoInputSwitch(0);
    SetNoGraphicsSwitch(0);
    SwitchHardwareRendering(1);
    ChangeWindowMode(1);
    ChangeScreenMode(kScreenWidth, kScreenHeight, 16, 0, 0);
    SetWindowTitle("pubfuzz");
    SetNoArchiveSwitch(0);
    SwitchVSyncWait(1);
    if (SetupLibrary() != 0) {
        std::fprintf(stderr, "the framework did not set up\n");
        abort();
    }
    setUp = true;
    SelectDrawScreen(kBackScreen);
}

std::string Fuzzer::LogPath() const {
    return directory + "/Log.txt";
}

// The user lets go of every key and mouse button held, centres the joysticks and stops their
// rumble, and the pointer goes back where the start put it.
void Fuzzer::ReleaseInput() {
    HWND window = FindWindowA(nullptr, nullptr);
    for (int round = 0; round < 2 && window != nullptr; ++round) {
        bool held = false;
        for (int key = 1; key < 256; ++key) {
            if ((GetAsyncKeyState(key) & 0x8000) == 0) continue;
            held = true;
            HostEvent up;
            const int buttons[] = {0, 1, 2, 0, 3};  // VK_LBUTTON, VK_RBUTTON, -, VK_MBUTTON
            const int button = key <= VK_MBUTTON ? buttons[key] : 0;
            up.kind = button != 0 ? HostEventKind::MouseButtonUp : HostEventKind::KeyUp;
            up.button = button;
            up.virtualKey = static_cast<uint8_t>(key);
            TestHostPushEvent(window, up);
        }
        if (!held) break;
        PumpMessages();
    }
    for (int pad = 0; pad < 2; ++pad) TestHostSetJoystickState(pad, {});
    StopJoypadRumble(1);
    StopJoypadRumble(2);
    TestHostTakeJoystickEffects();
    SetCursorPos(standardPointer.x, standardPointer.y);
}

// A window the user moved or sized goes back to the standard place and size: a change of the
// scale and back drops the size the user asked for, and the window manager moves it back.
void Fuzzer::PlaceWindowBack() {
    SetWindowScale(2, 2);
    SetWindowScale(1, 1);
    HWND window = FindWindowA(nullptr, nullptr);
    RECT now{};
    if (window == nullptr || GetWindowRect(window, &now) == FALSE ||
        (now.left == standardWindow.left && now.top == standardWindow.top)) {
        return;
    }
    HostEvent moved;
    moved.kind = HostEventKind::Moved;
    moved.x = standardWindow.left;
    moved.y = standardWindow.top;
    TestHostPushEvent(window, moved);
    PumpMessages();
}

void Fuzzer::EndInput() {
    WaitForLoads();
    // A trace shows what the input's calls logged.
    if (trace) {
        std::ifstream file(LogPath(), std::ios::binary);
        std::fprintf(stderr, "log:\n%s",
                     std::string(std::istreambuf_iterator<char>(file), {}).c_str());
    }
    for (StreamValue file : made.files) {
        WaitForRead(file);
        CloseDataFile(file);
    }
    for (Handle shader : made.handles[kShaderKind]) DeleteShaderHandle(shader);
    for (Handle font : made.handles[kFontKind]) DeleteFontHandle(font);
    for (Handle sound : made.handles[kSoundKind]) DeleteSoundHandle(sound);
    for (Handle graph : made.handles[kGraphKind]) DisposeGraph(graph);
    made = {};
    // The user brings back the window the input left minimised or unfocused.
    const int32_t due = static_cast<int32_t>(scheduledUntil - timeGetTime());
    if (scheduled && due >= 0) {
        TestAdvanceClockMicroseconds((static_cast<uint64_t>(due) + 1) * 1000);
        if (setUp) PumpMessages();
    }
    scheduled = false;
    // Whatever else left the window minimised or without the focus (a deactivation handled after
    // the return that undid it), the user comes back to it: a program waiting for that would
    // otherwise wait through the next input.
    if (HWND window = FindWindowA(nullptr, nullptr);
        setUp && window != nullptr && (IsIconic(window) || GetForegroundWindow() != window)) {
        HostEvent restored, found;
        restored.kind = HostEventKind::Restored;
        found.kind = HostEventKind::FocusGained;
        TestHostPushEvent(window, restored);
        TestHostPushEvent(window, found);
        PumpMessages();
    }
    // With nothing left playing, the output catches up with the clock, so that the next input's
    // first sound call does not mix the span this one left.
    TestHostAudioFrames();
    // The settings that any moment may change go back to their defaults.
    SwitchAsyncLoad(0);
    SetNoArchiveSwitch(0);
    SetPlainFileFirst(0);
    SetArchiveExtension(nullptr);
    SetArchiveKeyString(nullptr);
    SetDataCurrentDir(directory.c_str());
    SetWindowTitle("pubfuzz");
    SwitchVSyncWait(1);
    InstallGraphRestoreHandler(nullptr);
    // The scale outlives a shutdown.
    SetWindowScale(1, 1);
    scaleX = scaleY = 1;
    // A screen-mode change is undone by another, cheaper than a new start.
    const bool modeBack = !restart && modeChanged && PumpMessages() == 0 &&
                          ChangeWindowMode(1) == 0 &&
                          ChangeScreenMode(kScreenWidth, kScreenHeight, 16, 0, 0) == 0;
    if (restart || (modeChanged && !modeBack) || PumpMessages() != 0) {
        StartStandard();
    } else {
        if (windowPlaced) PlaceWindowBack();
        SelectDrawScreen(kBackScreen);
        SetDrawRegion(0, 0, kScreenWidth, kScreenHeight);
        ChangeBlendMode(BlendOpaque, 255);
        SetDrawBright(255, 255, 255);
        ChangeAlphaTestState(-1, 0);
        SetDrawSamplingMode(0);
        SetBlendGraph(-1, 0, 0, 0);
        SelectUserPixelShader(0);
        SelectUserVertexShader(0);
        const int32_t registers[] = {256, 16, 16, 224, 16, 16};
        for (int32_t kind = 0; kind < 6; ++kind) ClearShaderConstRange(kind, 0, registers[kind]);
        for (int32_t stage = 0; stage < 16; ++stage) BindShaderTexture(stage, -1);
    }
    ReleaseInput();
    restart = false;
    modeChanged = false;
    windowPlaced = false;
    costly = 0;
    clockMoved = 0;
    // The log grows with every refused call; it is reopened for each line.
    truncate(LogPath().c_str(), 0);
}

// ---- The files every input may load ----

void Put(std::vector<uint8_t>* bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}
std::vector<uint8_t> Bmp(int width, int height, uint32_t (*colour)(int, int)) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file = {'B', 'M'};
    Put(&file, 54 + rowBytes * height, 4);
    Put(&file, 0, 4);
    Put(&file, 54, 4);
    Put(&file, 40, 4);
    Put(&file, width, 4);
    Put(&file, height, 4);
    Put(&file, 1, 2);
    Put(&file, 24, 2);
    for (int i = 0; i < 6; ++i) Put(&file, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) Put(&file, colour(x, y), 3);
        for (int pad = width * 3; pad < rowBytes; ++pad) file.push_back(0);
    }
    return file;
}
std::vector<uint8_t> Bgra(int width, int height) {
    std::vector<uint8_t> file = {'B', 'G', 'R', 'A', 8, 8, 8, 8};
    Put(&file, width, 4);
    Put(&file, height, 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) Put(&file, (x * 16u) << 24 | (y * 0x0F0B07u), 4);
    }
    return file;
}
std::vector<uint8_t> Wave(int bits, int channels, int rate, int frames) {
    const int block = bits / 8 * channels, bytes = block * frames;
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    Put(&file, 36 + bytes, 4);
    for (char c : std::string("WAVEfmt ")) file.push_back(c);
    Put(&file, 16, 4);
    Put(&file, 1, 2);
    Put(&file, channels, 2);
    Put(&file, rate, 4);
    Put(&file, rate * block, 4);
    Put(&file, block, 2);
    Put(&file, bits, 2);
    for (char c : std::string("data")) file.push_back(c);
    Put(&file, bytes, 4);
    for (int i = 0; i < frames * channels; ++i) {
        const double sample = sin(i * 0.3);
        if (bits == 8) {
            file.push_back(static_cast<uint8_t>(128 + 100 * sample));
        } else {
            Put(&file, static_cast<uint16_t>(static_cast<int16_t>(20000 * sample)), 2);
        }
    }
    return file;
}
void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}
void Copy(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", from.c_str(), error.message().c_str());
        abort();
    }
}

// Removes the directory of files when the process ends.
struct Directory {
    ~Directory() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string path;
};
Directory gDirectory;

void MakeFiles() {
    auto colourful = [](int x, int y) {
        return static_cast<uint32_t>(x * 0x200810 + y * 0x081020);
    };
    auto grey = [](int x, int y) { return static_cast<uint32_t>((x * 16 + y) * 0x010101); };
    gImages[0] = Bmp(8, 8, colourful);
    gImages[1] = Bgra(16, 16);
    gImages[2] = Bmp(16, 16, grey);
    gImages[3] = Bmp(32, 16, colourful);
    Write("a.bmp", gImages[0]);
    Write("b.bgra", gImages[1]);
    Write("grey.bmp", gImages[2]);
    Write("cells.bmp", gImages[3]);
    Write("wide.bmp", Bmp(80, 8, grey));
    std::vector<uint8_t> cut = gImages[0];
    cut.resize(100);
    Write("bad.bmp", cut);
    fs::create_directory("sub");
    Write("sub/c.bmp", Bmp(4, 4, colourful));
    Write("s.wav", Wave(16, 1, 22050, 1100));
    Write("s8.wav", Wave(8, 2, 11025, 300));
    std::vector<uint8_t> wave = Wave(16, 2, 44100, 10);
    wave.resize(30);
    Write("bad.wav", wave);
    Write("t.txt", std::vector<uint8_t>(246, 'T'));
    Copy(ORBEK_FUZZ_TEST_FILES "/public/files/movie_silent.ogv", "m.ogv");
    Copy(ORBEK_FUZZ_TEST_FILES "/public/files/movie_sound.ogv", "ms.ogv");
    Copy(ORBEK_FUZZ_TEST_FILES "/sound/data/tone_stereo_22k.mp3", "tone.mp3");
    Copy(ORBEK_FUZZ_TEST_FILES "/sound/data/tone2_mono_44k.ogg", "tone.ogg");
    Copy(ORBEK_FUZZ_TEST_FILES "/sound/data/tone_ima_adpcm.wav", "adpcm.wav");
    Copy(ORBEK_FUZZ_PUBLIC_FILES "/arc.oba", "arc.oba");
    Copy(ORBEK_FUZZ_PUBLIC_FILES "/pak.pak", "pak.pak");
}

// libFuzzer's own paths (the corpus, the artifacts) are taken from the directory it was started
// in, the script's from the directory of files: each input runs in the latter.
std::string gStartDirectory;

bool Start() {
    char pattern[] = "/tmp/orbek_pubfuzz_XXXXXX";
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr || mkdtemp(pattern) == nullptr ||
        chdir(pattern) != 0) {
        return false;
    }
    gStartDirectory = here;
    gDirectory.path = pattern;
    gFuzzer.directory = pattern;
    MakeFiles();
    TestResetPlatform();
    TestD3d9Reset();
    TestUseHeadlessHost(true);
    TestUseVirtualClock(true);
    TestSetClockMicroseconds(5'000'000);
    // The start-up's busy loops end only when the clock moves as they read it.
    TestSetClockStepPerRead(50);
    TestHostSetDesktopMode({640, 480, 32, 60});
    TestHostSetDisplayModes(
        {{640, 480, 32, 60}, {256, 192, 32, 60}, {128, 96, 32, 60}, {96, 72, 32, 60}});
    TestHostJoystick pad, plain;
    pad.info = {"Pad", "Pad", 6, 12, true, true};
    plain.info = {"Stick", "Stick", 2, 4, false, false};
    TestHostSetJoysticks({pad, plain});
    {
        // fontconfig keeps blocks of the configuration it loads once for the whole process where
        // the leak check does not see them: the first font's lookup loads it, here, unchecked.
        __lsan::ScopedDisabler unchecked;
        DeleteObject(CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                 "DejaVu Sans"));
    }
    gFuzzer.StartStandard();
    GetWindowRect(FindWindowA(nullptr, nullptr), &gFuzzer.standardWindow);
    GetCursorPos(&gFuzzer.standardPointer);
    truncate(gFuzzer.LogPath().c_str(), 0);
    return chdir(gStartDirectory.c_str()) == 0;
}

}  // namespace

// The check libFuzzer makes while the framework's threads run may find the record of a thread's
// thread_local destructors unreachable (the platform's threads keep their records in thread_local
// variables) when a thread starts or ends meanwhile.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__cxa_thread_atexit_impl\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!Start()) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (chdir(gFuzzer.directory.c_str()) != 0) abort();
    Script script(data, size);
    gFuzzer.script = &script;
    const bool trace = gFuzzer.trace;
    for (int calls = 0; calls < kMaxCalls && !script.AtEnd(); ++calls) {
        const Call call = static_cast<Call>(script.Byte() % kCallCount);
        // The call is named before it runs, so that a crash or a hang shows where it was; its
        // argument bytes and its time after.
        if (trace) std::fprintf(stderr, "%s\n", kCallNames[call]);
        const size_t from = script.At();
        timespec start{}, end{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        gFuzzer.Run(call);
        clock_gettime(CLOCK_MONOTONIC, &end);
        if (trace) {
            std::fprintf(stderr, "   ");
            for (size_t at = from; at < script.At(); ++at) {
                std::fprintf(stderr, " %02x", script.Data()[at]);
            }
            std::fprintf(
                stderr, " (%ld us)\n",
                (end.tv_sec - start.tv_sec) * 1000000 + (end.tv_nsec - start.tv_nsec) / 1000);
        }
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    gFuzzer.EndInput();
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (trace) {
        std::fprintf(stderr, "end of input (%ld us)\n",
                     (end.tv_sec - start.tv_sec) * 1000000 + (end.tv_nsec - start.tv_nsec) / 1000);
    }
    if (chdir(gStartDirectory.c_str()) != 0) abort();
    return 0;
}

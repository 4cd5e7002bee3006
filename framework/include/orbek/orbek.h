// Orbek's public face: the calls, types and constants that a program built on the framework uses.
// A program includes this header and nothing else of the framework. Results follow one rule:
// 0 for success and -1 for failure; calls that create something return a handle or -1; yes/no
// queries return 1 or 0, and -1 for a bad handle.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Types shared by every subsystem ----

// A resource of the framework: negative means invalid; bits 26-30 the kind, 16-25 a check
// number, 0-15 the slot index.
using Handle = int32_t;

// Where a draw target is expected: the back buffer and the front screen.
constexpr int32_t kBackScreen = -2;
constexpr int32_t kFrontScreen = -4;

// A colour in the current screen's pixel format, made by PackScreenColor.
using ScreenColor = uint32_t;

// How drawing combines with what is already there; the parameter runs from 0 to 255. The
// software renderer draws in modes 0 to 4, 10 and 11 only: in the others its drawing calls draw
// nothing and give 0.
enum BlendMode : int32_t {
    BlendOpaque = 0,                // no blending
    BlendTranslucent = 1,           // alpha blend by the parameter
    BlendAdditive = 2,              // saturating add scaled by the parameter
    BlendSubtractive = 3,           // saturating subtract
    BlendMultiply = 4,              // destination times source
    BlendAdditivePass = 5,          // additive factors
    BlendOpaqueHardwareOnly = 6,    // blending off, Direct3D only
    BlendNoFactors = 7,             // the blend state without factors
    BlendKeepDest = 8,              // destination unchanged
    BlendInvertDest = 9,            // source times inverted destination
    BlendInvertedSource = 10,       // inverted source, alpha-blended by the parameter
    BlendMultiplyTranslucent = 11,  // multiply, faded by the parameter
    BlendTranslucentShader3 = 12,   // alpha-blend factors, third built-in shader blend
    BlendAdditiveShader3 = 13,      // additive factors, third built-in shader blend
    BlendOverwrite = 14,            // source replaces destination with blending on
    BlendPremultiplied = 15,        // premultiplied alpha
    BlendSubtractiveNative = 16,    // reverse subtract, never emulated
};

// 256 bytes by key code (KeyCode below); bit 7 set while the key is down.
typedef uint8_t KeyStateTable[256];

// Bit 0 down, 1 left, 2 right, 3 up, bits 4 to 27 buttons 0 to 23.
typedef uint32_t JoypadBits;
constexpr JoypadBits kJoypadDown = 1u << 0;
constexpr JoypadBits kJoypadLeft = 1u << 1;
constexpr JoypadBits kJoypadRight = 1u << 2;
constexpr JoypadBits kJoypadUp = 1u << 3;
constexpr int32_t kJoypadFirstButtonBit = 4;
constexpr int32_t kJoypadButtons = 24;
constexpr int32_t kMaxJoypads = 16;
// ORed into a pad number for GetJoypadBits: add the pad's keyboard assignment.
constexpr int32_t kJoypadWithKeys = 0x1000;

// Play types of PlaySoundHandle: 0 waits for the end, 3 loops, anything else plays once.
constexpr int32_t kPlayWait = 0;
constexpr int32_t kPlayBackground = 1;
constexpr int32_t kPlayLoop = 3;

// A rectangle in pixels {left, top, right, bottom}, right and bottom exclusive. The platform
// layer declares the same record under the same guard, word for word, so that the framework's
// own sources may include both headers in either order.
#ifndef ORBEK_RECT_DEFINED
#define ORBEK_RECT_DEFINED
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
#endif

// Key codes of TestKeyDown and the indexes of CopyAllKeyStates: the DirectInput codes of a
// Japanese 106/109-key keyboard, named by the key's place and main legend.
// clang-format off
enum KeyCode : int32_t {
    kKeyEscape = 0x01,
    kKey1 = 0x02, kKey2 = 0x03, kKey3 = 0x04, kKey4 = 0x05, kKey5 = 0x06,
    kKey6 = 0x07, kKey7 = 0x08, kKey8 = 0x09, kKey9 = 0x0A, kKey0 = 0x0B,
    kKeyMinus = 0x0C,
    kKeyBackspace = 0x0E,
    kKeyTab = 0x0F,
    kKeyQ = 0x10, kKeyW = 0x11, kKeyE = 0x12, kKeyR = 0x13, kKeyT = 0x14,
    kKeyY = 0x15, kKeyU = 0x16, kKeyI = 0x17, kKeyO = 0x18, kKeyP = 0x19,
    kKeyLeftBracket = 0x1A,   // [
    kKeyRightBracket = 0x1B,  // ]
    kKeyReturn = 0x1C,
    kKeyLeftControl = 0x1D,
    kKeyA = 0x1E, kKeyS = 0x1F, kKeyD = 0x20, kKeyF = 0x21, kKeyG = 0x22,
    kKeyH = 0x23, kKeyJ = 0x24, kKeyK = 0x25, kKeyL = 0x26,
    kKeySemicolon = 0x27,
    kKeyLeftShift = 0x2A,
    kKeyBackslash = 0x2B,  // beside the right Shift
    kKeyZ = 0x2C, kKeyX = 0x2D, kKeyC = 0x2E, kKeyV = 0x2F, kKeyB = 0x30,
    kKeyN = 0x31, kKeyM = 0x32,
    kKeyComma = 0x33,
    kKeyPeriod = 0x34,
    kKeySlash = 0x35,
    kKeyRightShift = 0x36,
    kKeyNumPadMultiply = 0x37,
    kKeyLeftAlt = 0x38,
    kKeySpace = 0x39,
    kKeyCapsLock = 0x3A,
    kKeyF1 = 0x3B, kKeyF2 = 0x3C, kKeyF3 = 0x3D, kKeyF4 = 0x3E, kKeyF5 = 0x3F,
    kKeyF6 = 0x40, kKeyF7 = 0x41, kKeyF8 = 0x42, kKeyF9 = 0x43, kKeyF10 = 0x44,
    kKeyScrollLock = 0x46,
    kKeyNumPad7 = 0x47, kKeyNumPad8 = 0x48, kKeyNumPad9 = 0x49,
    kKeyNumPadMinus = 0x4A,
    kKeyNumPad4 = 0x4B, kKeyNumPad5 = 0x4C, kKeyNumPad6 = 0x4D,
    kKeyNumPadPlus = 0x4E,
    kKeyNumPad1 = 0x4F, kKeyNumPad2 = 0x50, kKeyNumPad3 = 0x51, kKeyNumPad0 = 0x52,
    kKeyNumPadPeriod = 0x53,
    kKeyF11 = 0x57, kKeyF12 = 0x58,
    kKeyYen = 0x7D,
    kKeyCaret = 0x90,  // ^
    kKeyAt = 0x91,     // @
    kKeyColon = 0x92,  // :
    kKeyNumPadEnter = 0x9C,
    kKeyRightControl = 0x9D,
    kKeyNumPadDivide = 0xB5,
    kKeyRightAlt = 0xB8,
    kKeyPause = 0xC5,
    kKeyHome = 0xC7,
    kKeyUp = 0xC8,
    kKeyPageUp = 0xC9,
    kKeyLeft = 0xCB,
    kKeyRight = 0xCD,
    kKeyEnd = 0xCF,
    kKeyDown = 0xD0,
    kKeyPageDown = 0xD1,
    kKeyInsert = 0xD2,
    kKeyDelete = 0xD3,
};
// clang-format on

// ---- Start-up, shutdown and the message pump ----
// While the window is inactive (another window has the focus, or it is minimised), PumpMessages
// and every call that draws, selects the draw screen or the blend mode, loads or makes a graph
// or a font, plays a sound or reads input waits until it is active again: a program whose window
// loses the focus for seven seconds stands in that call for seven seconds. EraseDrawScreen and
// FlipScreen do not wait.

// 1 window, 0 full screen; the mode in force already: 0, nothing done. Before SetupLibrary it
// only records the choice. After it the graphics start again, as ChangeScreenMode does: every
// graph and font is deleted (their lost flags become 1), the default font is made again and the
// draw settings start afresh with the front screen as draw screen, so after the call a program
// selects its draw screen, loads its graphs and makes its fonts again. -1 when full screen finds
// no display mode of the screen size (nothing changes).
int ChangeWindowMode(int32_t windowed);
// Starts the whole framework: window, input, sound, graphics, fonts. 0 also when already set up.
// -1 when the window, input or graphics cannot start, and when another program whose window has
// the same title runs (SetWindowTitle gives a program a title of its own); Log.txt says why.
// Sound that cannot start (no audio device) does not fail it: the program runs silent, every
// sound call gives -1, and standard error says so once.
int SetupLibrary();
// Ends everything SetupLibrary started. A program that returns from main or calls exit without
// it, on the thread that called SetupLibrary, has it run at exit; exit called on another thread
// ends the process at once.
int ShutdownLibrary();
// Handles pending window messages and the framework's per-frame services; 0 while the program
// may go on, -1 once it must end. Call it once per pass of every loop.
int PumpMessages();

// ---- Screen and window ----
// Settings made before SetupLibrary, each holding for every later start-up of the process;
// ChangeScreenMode and SetWindowScale also act after it.

// The window's title, which also names the program for the check against a second copy:
// SetupLibrary gives -1 (and logs why) while another program whose window has the same title
// runs, so programs with titles of their own run side by side. Empty: "Orbek". After
// SetupLibrary only the title shown changes. -1 for null or a title longer than 255 bytes.
int SetWindowTitle(const char* title);
// The screen size and colour depth (16 or 32 bits) and the full-screen refresh rate in Hz (0:
// the display's own); -1 keeps each. Before SetupLibrary it records them for the start-up
// (640 x 480 at 16 bits unless set), which starts in a window when full screen finds no
// display mode of the size. After it the graphics start again in the new mode and the window
// takes its size: every graph and font is deleted (their lost flags become 1), the default font
// is made again and the draw settings start afresh with the front screen as draw screen, so a
// program selects its draw screen, loads its graphs and makes its fonts again (with graphics
// left out by SetNoGraphicsSwitch the window takes the size and nothing starts). force 1 starts
// the graphics again even for the mode in force. -1 for a side outside 1..8192, a depth other
// than 16 or 32 or a negative refresh rate, and in full screen for a mode the display does not
// have (nothing changes); -1 too when the graphics cannot come up in the mode and the old one
// (or 640 x 480 at 16 bits) takes over again.
int ChangeScreenMode(int32_t width, int32_t height, int32_t colorBits, int32_t force,
                     int32_t refreshRate);
// 1 (the default): FlipScreen waits for the vertical blank; 0: it does not. The software
// renderer follows it at once, the Direct3D device from its making on: SetupLibrary,
// ChangeScreenMode or ChangeWindowMode.
int SwitchVSyncWait(int32_t wait);
int IsVSyncWaitOn();
// 1 (the default): draw through the Direct3D device; 0: through the software renderer. -1
// after SetupLibrary.
int SwitchHardwareRendering(int32_t useHardware);
// 1 leaves sound, input or graphics out of the start-up; 0, the default, starts them. -1 after
// SetupLibrary. Without sound every sound call gives -1; without graphics no graph or font can
// be made (-1) and nothing is drawn. Input left out is started by the first input query, which
// answers 0.
int SetNoSoundSwitch(int32_t on);
int SetNoInputSwitch(int32_t on);
int SetNoGraphicsSwitch(int32_t on);
// The window's size against the screen's in window mode, before SetupLibrary or after (in full
// screen it waits for the window): y 0 or less takes x, and a value 0 or less is 1.0. The mouse
// reads in screen pixels whatever the scale. A side of the window is at most 16384 pixels.
// -1 for a scale that is not finite.
int SetWindowScale(double x, double y);
// The screen size (320 x 240 while a 320 x 240 full screen is shown at 640 x 480) and colour
// bits; each pointer may be null. Before SetupLibrary the ones recorded: 0 x 0 at 16 bits
// unless ChangeScreenMode recorded others. In window mode the Direct3D device draws at the
// desktop's colour depth whatever was asked (16 bits come up as 32 on a 32-bit desktop), which
// this tells; the software renderer takes the depth asked.
int QueryScreenSizeAndDepth(int* width, int* height, int* bits);
// The desktop's size and bits per pixel as SetupLibrary found them (before it, as they are);
// each pointer may be null.
int GetDesktopMode(int32_t* width, int32_t* height, int32_t* bits);

// ---- Log ----

// Appends the text (Shift-JIS) to "Log.txt"; always -1, so that a failing call can return it.
int AppendLogText(const char* text);

// ---- Clock and random numbers ----

// A free-running millisecond clock, 31 bits wide; only differences of two readings mean
// anything. 0xFFFFFFFF before the framework's clock is loaded.
uint32_t GetMillisecondCount(int32_t unused = 0);
// 0..n inclusive from the framework's one random sequence; 0 for a negative n.
int RandomUpTo(int n);

// ---- Keyboard and joypads ----
// While the application is inactive each query first waits for activation. Input left out of
// the start-up (SetNoInputSwitch) is started by the first query, which reads nothing: no key
// down, no pad, no mouse button.

// 1 while the key (a KeyCode) is down, else 0.
int TestKeyDown(int32_t key);
// out[i] = 1 while the key of code i (a KeyCode) is down, else 0; -1 for a null buffer.
int CopyAllKeyStates(uint8_t out[256]);
// The number of joypads found when input was set up (0 to 16).
int CountJoypads();
// Pad number 1..16 (ORed with kJoypadWithKeys to add its keyboard assignment); 0 for a pad
// that does not exist.
JoypadBits GetJoypadBits(int32_t pad);
// Vibration of pad 1..count at `power` (0..10,000) for `durationMs` (negative: until stopped);
// -1 for a pad without force feedback.
int StartJoypadRumble(int32_t pad, int32_t power, int32_t durationMs);
int StopJoypadRumble(int32_t pad);

// ---- Mouse ----

// The cursor's position in screen pixels: in window mode from the top-left of the window's
// picture, divided by the window scale and rounded down (outside the screen while the cursor is
// off the window); in full screen the position on the display. Off the window the desktop's
// pointer is read again only when the pointing device moves: a pointer that another program
// moves there reads where it was until then. Each pointer may be null.
int ReadMousePosition(int32_t* x, int32_t* y);
// Bits of GetMouseButtonBits.
constexpr int32_t kMouseLeft = 1;
constexpr int32_t kMouseRight = 2;
constexpr int32_t kMouseMiddle = 4;
// The mouse buttons held, kMouseLeft | kMouseRight | kMouseMiddle. While the application is
// inactive it first waits for activation, as the keyboard queries do.
int GetMouseButtonBits();

// ---- Screens and draw settings ----

// kBackScreen, kFrontScreen or a draw-target graph; later drawing goes there.
int SelectDrawScreen(int32_t screen);
// Fills the draw screen with the background colour; null (or a negative left or top) for the
// whole screen.
int EraseDrawScreen(const RECT* rect);
// Presents the back buffer; with the default settings it first waits for the vertical blank.
// -1 when the framework is not set up or is quitting.
int FlipScreen();
// The clip rectangle of all later drawing, corners in any order, clamped to the screen.
int SetDrawRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// The blend mode and its parameter (clamped to 0..255) for later drawing; -1 for a mode that
// is not a BlendMode.
int ChangeBlendMode(int32_t mode, int32_t param);
// The colour every later drawing is multiplied by, each channel clamped to 0..255; white
// leaves colours unchanged.
int SetDrawBright(int red, int green, int blue);
// An alpha test of its own for later drawing (a D3DCMP function and a reference 0..255), or
// the blend mode's own test with function -1; -1 without a Direct3D device.
int ChangeAlphaTestState(int func, int ref);
// Sampling of scaled and rotated drawing: 0 nearest point, 1 linear, 2 anisotropic. The device
// alone follows it: the software renderer always takes the nearest pixel (the call still gives 0
// there).
int SetDrawSamplingMode(int32_t mode);
// The colour (each channel 0..255, taken modulo 256 so that -1 sets every bit) in the current
// screen format.
ScreenColor PackScreenColor(int red, int green, int blue);
// Called when the Direct3D device had to be made again in the same screen mode, with every
// graph's handle kept but its pixels gone: full screen left for another window and entered
// again, or a window's device lost. It fills the graphs again; null selects the built-in
// reloader, which loads each graph again from the file or memory it came from. It is not called
// at a screen-mode change (ChangeScreenMode, ChangeWindowMode), which deletes the graphs
// instead: a program loads them again after one, and a graph's lost flag tells it which.
using GraphRestoreCallback = void (*)();
int InstallGraphRestoreHandler(GraphRestoreCallback callback);

// ---- Graphs ----

// A graph of the image file, or -1 when it is missing or cannot be decoded; a movie file gives a
// graph that shows the movie (see Movies). The flag has no effect.
Handle LoadImageFileAsGraph(const char* fileName, int32_t flag);
// Fills out[0..allNum-1] with one graph per cell of width x height, row by row (cell i at
// column i mod xNum, row i / xNum); the flag has no effect.
int LoadImageFileAsDivGraphs(const char* fileName, int32_t allNum, int32_t xNum, int32_t yNum,
                             int32_t width, int32_t height, Handle* out, int32_t flag);
// Deletes the graph. A draw screen it was gives way to the front screen, a Z-buffer to the back
// screen's, and a blend graph it was is removed.
int DisposeGraph(Handle graph);
// A graph of the image file held in memory (`size` bytes of a PNG, JPEG, BMP, TGA, DDS or raw
// "BGRA" file), with the pixels LoadImageFileAsGraph gives for the same file. alphaImage (null
// for none) is a second image file in memory of the same size whose red channel becomes the
// graph's alpha; an image with an alpha channel of its own keeps it and ignores the alpha image.
// -1 when an image cannot be decoded or the two sizes differ. The blocks may be freed once the
// call returns, except while asynchronous loading is on: then they must stay until the graph has
// loaded (IsGraphLoading gives 0). The flag has no effect.
Handle LoadImageMemoryAsGraph(const void* image, uint32_t size, const void* alphaImage,
                              uint32_t alphaSize, int32_t flag);
// The graph's width and height in pixels, or the screen's for kBackScreen and kFrontScreen;
// either pointer may be null. A graph still loading answers 0 x 0 until its load has made it.
// -1 for a bad handle.
int QueryGraphSize(Handle graph, int* width, int* height);
// Sets *flag to 0 now and to 1 when the graph is deleted: by DisposeGraph, by a screen-mode
// change (ChangeWindowMode after SetupLibrary deletes every graph) or by ShutdownLibrary. The
// flag must stay valid until then, or until a null flag replaces it. -1 for a bad handle or a
// graph still loading.
int AttachGraphLostFlag(Handle graph, int* flag);
// Fills the graph with the colour, each channel clamped to 0..255. On the software renderer the
// fill is drawn over the whole graph under the current blend mode, bright and draw area, alpha
// ignored, except that a graph with an alpha channel is left as it is, with 0. On the Direct3D
// device only a graph that is a draw target takes it (a raw fill, alpha included); a loaded graph
// is left as it is, with 0. A fill is not restored after the device is lost. -1 for a bad handle
// or a graph still loading.
int ColorFillGraph(Handle graph, int red, int green, int blue, int alpha);
// Copies the rectangle (x1, y1)-(x2, y2) (right and bottom exclusive) of the source, kBackScreen,
// kFrontScreen or a graph, into the graph with its top-left at (destX, destY). -1 unless
// 0 <= x1 < x2 and 0 <= y1 < y2 lie inside the source, the copy fits inside the graph, and
// neither handle is bad or still loading; on the Direct3D device also when the rectangle of a
// source graph crosses two of its textures (a graph larger than the device's largest texture
// is made of several). Like a fill, a copy is not restored after the device is lost.
int CopyScreenRectToGraph(Handle source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          int32_t destX, int32_t destY, Handle graph);
// CopyScreenRectToGraph from the current draw screen (SelectDrawScreen) to (0, 0) of a graph of
// exactly the rectangle's size; -1 for any other size.
int CopyDrawScreenToGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Handle graph);

// ---- Blend graphs ----
// A blend graph weights all later graph drawing pixel by pixel: it is laid over each drawn graph
// from the top-left corner, and the red channel of its pixel there (a grey image's brightness)
// is that pixel's value 0..255. Every graph drawn while it is set must be no larger (drawing a
// larger one gives -1). Boxes and lines are not weighted; text, drawn from graphs of the font's
// own, is weighted or refused by their size, so remove the blend graph before drawing text.
// What weights is a copy of its pixels, made when it is set and made again only when it is set
// after a fill or a copy changed them: a wipe sets the same graph every frame at no
// cost. The weight blends the drawn pixels with what is there under every blend mode,
// BlendOpaque included, except that the Direct3D device draws what a hard-edged wipe (a width
// below 2) lets through without blending. On the software renderer a full weight stops one step
// of the screen's format short of the source's colour (one RGB565 step at 16 bits), and under
// BlendMultiply a pixel of weight 0 turns black, where the device leaves what is there.
//
// type 0: each pixel weighted by value x param1 / 255; type 1: the wipe of AttachBlendGraph
// (param1 the threshold, param2 the width); type 2: weighted by the value alone. graph -1
// removes the blend graph. -1 for a bad handle, a graph still loading or another type.
int SetBlendGraph(Handle graph, int type, int param1, int param2);
// A wipe: the blend graph with a threshold and a width, each clamped to 0..255. Pixels whose
// value is well above the threshold are drawn whole, those well below it not at all, across a
// soft edge for a width of 2 or more, else a hard edge at the threshold. The soft edge is about
// `width` values wide on the software renderer, but on the device about 64 for a width up to 64,
// 128 for one up to 128 and 256 above, so the two edges differ in width. At a hard edge a value
// equal to the threshold is drawn whole on the device and in part on the software renderer.
// Threshold 0 draws the whole graph and 255 nothing; as the threshold rises, the drawing wipes
// away from the blend graph's darkest pixels to its brightest. graph -1 removes the blend graph.
// -1 for a bad handle or a graph still loading.
int AttachBlendGraph(Handle graph, int threshold, int width);

// ---- Drawing, under the current blend mode, bright colour, sampling mode and clip ----
// A stretched or rotated graph is sampled at each drawn pixel's left-top corner by the software
// renderer and at its centre by the device: half a pixel apart, so their edges may differ by one.
// A rotated graph's centre is its exact middle on the device, but on the software renderer the
// left-top corner of texel (width / 2, height / 2), rounded down: a side of odd length lies half
// a texel (times the scale) further toward the graph's right or bottom edge there.

// The whole graph with its top-left at (x, y); a non-zero trans skips transparent pixels.
int PutGraph(int32_t x, int32_t y, Handle graph, int32_t trans);
// The graph scaled and rotated (radians) about its centre, the centre placed at (x, y); a
// non-zero turn mirrors it left to right. -1 for a position or scale that is NaN, or an angle
// that is not finite. A scale of 0 draws nothing: -1 on the device, 0 on the software renderer.
// The software renderer draws nothing either (0) when a corner of the turned graph lies outside
// -8,192..8,191 across or down, where the device shows the part on the screen.
int PutGraphRotated(float x, float y, double scale, double angle, Handle graph, int32_t trans,
                    int32_t turn);
// The graph stretched onto the rectangle (x1, y1)-(x2, y2); x1 > x2 mirrors it left to right,
// y1 > y2 top to bottom. -1 for a corner that is NaN. A rectangle with no width or height (for
// the float form, corners truncated to the same column or row) draws nothing: -1 on the device,
// 0 on the software renderer. The software renderer draws nothing either (0) for a rectangle
// 32,768 pixels or more wide or high, where the device shows the part on the screen.
int PutGraphStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Handle graph, int32_t trans);
int PutGraphStretchedFloat(float x1, float y1, float x2, float y2, Handle graph, int32_t trans);
// The whole graph mirrored left to right, with its top-left at (x, y).
int PutGraphMirrored(int32_t x, int32_t y, Handle graph, int32_t trans);
// The w x h part at (srcX, srcY) of the graph with its top-left at (x, y); a non-zero turn
// mirrors the part. -1 for a part narrower or lower than one pixel.
int PutGraphPart(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t w, int32_t h,
                 Handle graph, int32_t trans, int32_t turn);
// The graph mapped onto a quadrilateral whose corners run clockwise from the top-left: the
// graph's top-left, top-right, bottom-right and bottom-left corners go to corners 1, 2, 3 and 4.
// flag is reserved (0). -1 for a corner that is NaN.
int PutGraphOnQuad(Handle graph, float x1, float y1, float x2, float y2, float x3, float y3,
                   float x4, float y4, int32_t trans, int32_t flag);
int PutGraphOnQuadFloat(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, Handle graph, int32_t trans);
// A rectangle with corners (x1, y1) and (x2, y2): filled, or a one-pixel outline with fill 0.
int PutBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color, int32_t fill);
// The rectangle (x1, y1)-(x2, y2), right and bottom exclusive, filled or as a one-pixel outline.
int PutBoxFilled(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color);
int PutBoxOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color);

// One vertex of PutGraphVertexList: a screen position (rhw 1 for plain 2D), a colour
// 0xAARRGGBB and texture coordinates 0..1 across the graph's texture.
struct GraphListVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
// In place of a graph: the vertices are drawn untextured.
constexpr Handle kUntexturedList = -5;
// Vertices drawn as Direct3D primitives of the type (1 points, 2 line list, 3 line strip,
// 4 triangle list, 5 triangle strip, 6 triangle fan) with the graph's texture, under the
// current blend mode and bright; nothing is drawn on the software screen.
int PutGraphVertexList(const GraphListVertex* vertices, int32_t count, int32_t primitiveType,
                       Handle graph, int32_t trans);

// ---- Movies ----
// LoadImageFileAsGraph opens a movie file (Ogg Theora with its Vorbis track as the sound, and
// the formats FFmpeg's libraries read) as a graph of the movie's size that shows the movie's
// frame; the movie does not move until it is played. A Theora movie shows its first frame from
// the start. Any other movie is read through FFmpeg by a filter graph, which shows no frame while
// stopped: its graph is black until the movie is first played. Its pictures come in the colours
// of FFmpeg's own conversion to RGB: a stream of video range (luma 16 to 235, as most are) is
// expanded to full range, one marked as full range is taken as it is. A playing movie moves on,
// and its end is noticed, only as its graph is drawn: draw the graph once per frame while the
// movie plays. While the window is inactive the framework pauses every movie and then plays
// again those it paused. DisposeGraph deletes the movie with its graph.

// The movie that plays into the graph; -1 for a graph that shows none and for a bad handle.
Handle GetGraphMovie(Handle graph);
// Plays the movie, with its sound, from where it stands: kPlayBackground once (it then stops
// on its last frame), kPlayLoop over and over; any other type plays once, and -1 keeps the
// type of the last play. Played once more after it has played to its end, a Theora movie with
// sound starts over, where its sound could be started (without an audio device it behaves as a
// silent one); a silent Theora movie, and a movie read through FFmpeg with or without sound,
// stays at its end (it stops again as its graph is next drawn). 0, and nothing changes, when it
// plays already.
int PlayMovieHandle(Handle movie, int32_t playType);
// Stops the movie and its sound; its graph keeps the frame it showed, and the next play goes
// on from there. 0 also when it is stopped already.
int PauseMovieHandle(Handle movie);
// 1 while the movie plays; 0 while it stands: after loading, after a pause and after its end.
// -1 for a bad handle.
int IsMovieHandlePlaying(Handle movie);

// ---- Fonts and text ----

// A font of the face (null for the default) or -1; -1 for the charset index and the edge size
// means the defaults; `reuse` is a font handle to make again, or -1. -1 for an edge size above 16.
Handle MakeFontHandle(const char* face, int size, int thickness, int type, int charsetIndex,
                      int edgeSize, int italic, Handle reuse);
int DeleteFontHandle(Handle font);
// Sets *flag to 0 now and to 1 when the font is deleted: by DeleteFontHandle, by a screen-mode
// change (ChangeScreenMode or ChangeWindowMode after SetupLibrary deletes every font) or by
// ShutdownLibrary. The flag must stay valid until then, or until a null flag replaces it. -1
// for a bad font or one still loading.
int BindFontLostFlag(Handle font, int* flag);
// The text with its top-left corner at (x, y).
int DrawStringWithFont(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical);

// The width in pixels of the text's first `length` bytes (-1, or any negative length: all of it,
// up to its terminator) in the font: how far DrawStringWithFont moves its pen over them, the
// font's spacing after every character included (a vertical text runs as far down). No byte
// beyond the length is read, and a double-byte character that the length cuts is left out. A
// width beyond the int range gives INT_MAX or INT_MIN. Nothing is drawn. 0 for a null or empty
// text; -1 for a bad font.
int MeasureStringWidth(const char* text, int32_t length, Handle font);
// The size the font was made at (16 for MakeFontHandle's -1); -1 for a bad font.
int GetFontHandleSize(Handle font);
// Extra pixels after every character of the font's later texts, drawn and measured alike
// (negative closes them up; 0 when made), clamped to -32767..32767. -1 for a bad font.
int SetFontHandleSpacing(int spacing, Handle font);

// ---- Shaders of the program's own ----
// On a device that runs shaders (GetUsableShaderVersion not 0) a program may draw through pixel
// shaders of its own. Shader code here is not Direct3D bytecode, which is refused as on a device
// without shaders: the device runs a pixel shader as a C++ function of the program's, registered
// under a name with RegisterPixelShaderFunction, and a shader's code is a short record naming
// that function (MakeShaderCode). A selected pixel shader colours every later graph, box and
// vertex list that goes to the device, in place of the blend mode's colouring (its blend factors
// still lay the result over the target), with the drawn graph's texture on stage 0. Vertex
// shaders are made and selected, but the device never runs them. Shaders and constants go with
// the graphics when a screen-mode change starts them again, as graphs do.

struct ShaderVector {
    float x, y, z, w;
};
// What a pixel shader function is given for one pixel.
struct ShaderPixelInput {
    ShaderVector diffuse;  // the vertices' colour, (r, g, b, a) in 0..1
    ShaderVector specular;
    ShaderVector texcoord[8];  // (u, v, 0, 1) of each texture coordinate set
    float x, y;                // the pixel's position on the draw target
};
// The draw a pixel shader function runs in: its constants (StoreShaderConstants) and, through
// SampleShaderTexture, its textures.
struct ShaderPixelContext {
    const float* floatConstants;   // c0..c223, four floats a register
    const int32_t* intConstants;   // i0..i15, four ints a register
    const int32_t* boolConstants;  // b0..b15
    const void* device;            // the device's own
};
// Writes the pixel's colour ((r, g, b, a), clamped to 0..1 afterwards) and returns true, or
// returns false to leave the pixel as it was. Runs on the thread that draws.
using PixelShaderFunction = bool (*)(const ShaderPixelInput& input,
                                     const ShaderPixelContext& context, ShaderVector* color);
// The colour of the texture on stage 0..15 at (u, v), as the draw's sampling mode reads it;
// (0, 0, 0, 1) where no texture is.
ShaderVector SampleShaderTexture(const ShaderPixelContext& context, int32_t stage, float u,
                                 float v);
// Registers the function under a name of 1 to 62 bytes, replacing what the name had; shaders
// made from the name's code run the function registered last. -1 for a bad name, a null
// function, or a 65th name.
int RegisterPixelShaderFunction(const char* name, PixelShaderFunction function);

// Shader code: `size` bytes from `words`.
constexpr int32_t kShaderCodeWords = 20;
struct ShaderCode {
    uint32_t words[kShaderCodeWords];
    int32_t size;
};
// The code of a pixel shader (isVertex 0) that runs the function registered under the name, or
// of a vertex shader (1) of that name. -1 for a name that is not 1 to 62 bytes, or a null code.
int MakeShaderCode(int32_t isVertex, const char* name, ShaderCode* code);

// 200 or 300 while the device runs shaders of the program's own; 0 when it has none, when the
// software renderer draws, and while the graphics are not up (before SetupLibrary, after
// ShutdownLibrary, with graphics left out).
int GetUsableShaderVersion();
// A vertex shader (isVertex 1) or pixel shader (0) made at once from `size` bytes of code, which
// are copied. -1 before SetupLibrary, when GetUsableShaderVersion gives 0, and for code that is
// not MakeShaderCode's or, for a pixel shader, names no registered function.
Handle CreateShaderFromCode(int32_t isVertex, const void* code, int32_t size);
// Deletes the shader; a selected one is unselected first.
int DeleteShaderHandle(Handle shader);
// The shader for later drawing; 0 or less selects none. -1 for a handle that is no live shader
// of the kind, the selection staying as it was.
int SelectUserVertexShader(Handle shader);
int SelectUserPixelShader(Handle shader);
// The graph (-1: none) on shader texture stage 0..15. -1 for another stage or a bad graph.
int BindShaderTexture(int32_t stage, Handle graph);

// Register kinds of the shader constants: float registers hold four floats, int registers four
// ints, bool registers one int.
constexpr int32_t kShaderConstVertexFloat = 0;  // c0..c255
constexpr int32_t kShaderConstVertexInt = 1;    // i0..i15
constexpr int32_t kShaderConstVertexBool = 2;   // b0..b15
constexpr int32_t kShaderConstPixelFloat = 3;   // c0..c223
constexpr int32_t kShaderConstPixelInt = 4;     // i0..i15
constexpr int32_t kShaderConstPixelBool = 5;    // b0..b15
// The program's values of `count` registers of the kind from `first`, in force for every later
// draw until cleared: they stand before the framework's own values of those registers. -1 for
// another kind, registers beyond the kind's or null values.
int StoreShaderConstants(int32_t kind, int32_t first, const void* values, int32_t count);
// Drops the program's values of the registers; the framework's own, where it has any, are in
// force again. -1 as for StoreShaderConstants.
int ClearShaderConstRange(int32_t kind, int32_t first, int32_t count);

// ---- Image filters and blend filters ----
// A filter reads a rectangle of a source graph and writes the result into a destination graph;
// a blend lays a blend graph over the source's rectangle. On a device that runs shaders they
// draw through shaders, else they compute on the processor, with the same pixels. A kind keeps
// each pixel's alpha unless its comment says otherwise.

// The image filters, with their parameters in FilterParameters' order.
enum FilterKind : int32_t {
    // cb, cr (-255..255 each): grey by luminance, tinted by the two colour differences.
    kFilterMono = 0,
    // Pixel width (8, 16 or 32; others go up to the next, above 16 to 32), strength in
    // hundredths (100 = 1.0; 0 copies): a blur of colour and alpha, the edges repeated.
    kFilterGauss = 1,
    // Factor (2, 4 or 8; below 3 is 2, 3 is 4, above 4 is 8): the rectangle shrunk by it into
    // its top-left part at the destination, each pixel the average of its block, alpha too.
    kFilterDownScale = 2,
    // Compare (2 or 5), threshold (luminance 0..255), fill (0 or 1), fill colour (ScreenColor),
    // fill alpha (0..255): with compare 2 the pixels darker than the threshold, with 5 those
    // brighter, keep what the destination had, or take the fill colour and alpha with fill 1;
    // the others are copied. Another compare is -1.
    kFilterBrightClip = 3,
    // Kind (0 shifts the hue, 1 sets it; any other kind shifts it as 0 does), hue in degrees
    // (-180..180 to shift, 0..360 to set), saturation (-255..255), brightness (-255..255).
    kFilterHsb = 4,
    // No parameters: each colour channel becomes 255 minus itself.
    kFilterInvert = 5,
    // Min, max (the input range, 0..255), gamma in hundredths (100 = 1.0), out min, out max (the
    // output range, 0..255): each colour channel mapped through the ranges and the gamma curve.
    // An out min above out max is taken as out max: every colour channel becomes out max.
    kFilterLevel = 6,
    // Threshold (luminance 0..255), colour 1 (ScreenColor), alpha 1, colour 2, alpha 2 (0..255):
    // pixels darker than the threshold take colour 1 and alpha 1, the others colour 2 and alpha 2.
    kFilterTwoColor = 7,
    // Gradient graph, reverse (0 or 1): each pixel takes colour and alpha from the gradient
    // graph's first row at its luminance, darkest at the left (at the right with reverse 1).
    kFilterGradientMap = 8,
    // No parameters: each colour channel multiplied by the alpha.
    kFilterPremultipliedAlpha = 9,
};

// The blend filters: the blend graph's colour laid over the source's by the formula of the kind,
// weighted by the blend graph's alpha and the blend ratio, the source's alpha kept. RGBAMix alone
// takes parameters.
enum BlendFilterKind : int32_t {
    kBlendFilterNormal = 0,
    // Red, green, blue, alpha: each output channel is the channel a selector names, 0..3 the
    // source's red, green, blue and alpha, 4..7 the blend graph's (another value gives 0); the
    // ratio is not used.
    kBlendFilterRGBAMix = 1,
    kBlendFilterMultiple = 2,
    kBlendFilterDifference = 3,
    kBlendFilterAdd = 4,
    kBlendFilterScreen = 5,
    kBlendFilterOverlay = 6,
    kBlendFilterDodge = 7,
    kBlendFilterBurn = 8,
    kBlendFilterDarken = 9,
    kBlendFilterLighten = 10,
    kBlendFilterSoftLight = 11,
    kBlendFilterHardLight = 12,
    kBlendFilterExclusion = 13,
    // Normal and Add with the alphas composed too (pixels of no alpha become 0).
    kBlendFilterNormalAlphaChannel = 14,
    kBlendFilterAddAlphaChannel = 15,
    // The source's colour; its alpha multiplied by the blend graph's, weighted by the ratio.
    kBlendFilterMultipleAlphaOnly = 16,
};

// A kind's parameters in the order its comment gives (a colour a ScreenColor, a graph a
// Handle), each taken as a 32-bit value; those a kind does not take are not read.
struct FilterParameters {
    int64_t values[5];
};

// One filter (isBlend 0, a FilterKind) or blend (1, a BlendFilterKind) of the source's
// rectangle (right and bottom exclusive) into the destination at (destX, destY). A rectangle
// reaching beyond the source or the destination is cut to them, a corner left of or above
// either moving the source, blend and destination positions alike. Give a blend graph of the
// source's size: the processor reads it at the rectangle's own coordinates, while a device that
// runs shaders stretches it over the rectangle, or with useBlendPosition 1 reads it from
// (blendX, blendY).
struct FilterRequest {
    int32_t isBlend = 0;
    Handle sourceGraph = -1;
    Handle blendGraph = -1;
    Handle destGraph = -1;
    int32_t blendRatio = 255;  // 0..255, clamped
    int32_t kind = 0;
    int32_t srcX1 = 0, srcY1 = 0, srcX2 = 0, srcY2 = 0;
    int32_t blendX = 0, blendY = 0;
    int32_t useBlendPosition = 0;
    int32_t destX = 0, destY = 0;
};

// Runs the filter or blend: 0 when done, also when nothing of the rectangle is left to do. -1
// for a bad graph, a rectangle of no width or height, a kind out of range, or a filter that
// refused its parameters or could not run.
int ApplyFilterOrBlend(const FilterRequest& request, const FilterParameters& parameters = {});
// The image filter over the whole graph, its result written back into it; as
// ApplyFilterOrBlend.
int ApplyFilterInPlace(Handle graph, int32_t kind, const FilterParameters& parameters = {});

// ---- Sounds ----

// A sound of a WAV, MP3 or Ogg Vorbis file, or -1. With several buffers a sound can overlap
// itself: a count above 10 is taken as 10, 0 makes a sound whose every play gives -1, and a
// negative count gives -1. A sound of 181 seconds or more streams through one buffer whatever
// the count. shareSource is a stream sound whose buffer it may share, -1 for none.
Handle LoadSoundHandle(const char* path, int32_t bufferCount, Handle shareSource);
// playType kPlayWait, kPlayBackground or kPlayLoop; fromTop 1 starts at the beginning, 0 goes
// on from where it was stopped. kPlayWait pumps messages until no buffer of the handle plays, or
// the program must end: while another of its buffers loops, that is until the program must end.
int PlaySoundHandle(Handle handle, int32_t playType, int32_t fromTop);
// Stops it and keeps its position.
int StopSoundHandle(Handle handle);
// 1 while any of its buffers plays, 0 when none does, -1 for a bad handle.
int IsSoundHandlePlaying(Handle handle);
int DeleteSoundHandle(Handle handle);
// Length and play position in milliseconds; -1 for a bad handle.
int GetSoundTotalTime(Handle handle);
int GetSoundCurrentTime(Handle handle);

// ---- Asynchronous loading ----
// While the switch is on, LoadImageFileAsGraph, LoadImageMemoryAsGraph, LoadImageFileAsDivGraphs,
// LoadSoundHandle and MakeFontHandle queue their loads for the framework's loading threads and
// return at once: the handle (the cells, for divided graphs) exists but is still loading. Until its
// load ends, every call that uses it gives -1 (drawing the graph, playing the sound, drawing or
// measuring with the font) except QueryGraphSize, the loading queries below and deletion, which
// withdraws the load or waits for it. A load that fails deletes its handle, as DisposeGraph,
// DeleteSoundHandle or DeleteFontHandle would; the loading query then gives -1. The loads go on
// while the program calls PumpMessages (the device's share of each runs there), so a loading screen
// drawn frame by frame keeps them moving.

// 1 turns asynchronous loading on, 0 off; it may be set before SetupLibrary and holds across
// set-ups. 0.
int SwitchAsyncLoad(int on);
// 1 while asynchronous loading is on, else 0.
int IsAsyncLoadOn();
// The number of loads queued or running; 0 once all have ended.
int CountQueuedAsyncLoads();
// 1 while a load into the handle is queued or running, 0 once it can be used, -1 for a bad
// handle (one whose load failed included).
int IsGraphLoading(Handle graph);
int IsSoundHandleLoading(Handle sound);
int IsFontHandleLoading(Handle font);

// ---- Data files ----
// Files are read from disk or from the framework's archives. An archive stands for a directory:
// graphics.oba (in any case) beside graphics\ holds what graphics\ would. A path is read from
// the archive of the shortest of its leading directories that has one (graphics\title.png from
// graphics.oba), and a file that archive lacks is not looked for on disk; a path with no such
// archive is read from disk. '\\' and '/' both separate directories.

// An open file: non-zero; 0 means that the open failed. The calls below given a value that is
// not an open file return -1 (ReadDataFile 0).
using StreamValue = uintptr_t;
// The bytes a GetDataCurrentDir buffer holds.
constexpr uint32_t kDataCurrentDirBytes = 256;

// Opens the file for reading; 0 when it (or its archive entry) is missing, the path is null, or
// the path's full form (the current directory, '\\' and the path) exceeds 1,023 bytes, too long
// to look for its archive (a plain file that SetPlainFileFirst has read first excepted). In a
// current directory too long to be told (256 bytes or more, as a program started in one may
// be) a relative path has no full form and is not opened either, nor loaded as an image, sound
// or movie; a full path is.
// useCache 1 reads a plain file ahead through a buffer; useAsync 1 lets ReadDataFile return
// before its bytes arrive, which they have once IsDataFileIdle gives 1. The third argument is
// not read: pass 1.
StreamValue OpenDataFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
// 0, or -1 for a value that names no open file. A value is the file's place in the table of open
// files, and the next open takes the lowest free place: once its file is closed, a value may name
// the next file opened, the framework's own (an image, sound or movie being read) among them, as
// a closed descriptor does. Use a value only while its file is open.
int CloseDataFile(StreamValue file);
// The read position in bytes.
int64_t TellDataFile(StreamValue file);
// Moves the read position by offset from the start (origin 0), the position (1) or the end (2):
// in an archive the position stops at the start and the end, whatever the offset; on disk a
// position before the start or beyond 2 GB is refused (-1, the position unchanged). 0, or -1.
int SeekDataFile(StreamValue file, int64_t offset, int32_t origin);
// Reads count elements of elementSize bytes: the number of whole elements read; 0 at the end,
// for a null buffer, and for a count whose byte total (elementSize x count) does not fit a
// size_t, which reads nothing. Of a last partial element (fewer bytes left than an element) a
// file on disk reads nothing, its position staying before those bytes, while a file in an archive
// reads them into the buffer and moves past them, as fread does, without counting them: a
// program read from loose files while it is made and from archives once packed meets both.
size_t ReadDataFile(void* buffer, size_t elementSize, size_t count, StreamValue file);
// -1 once a read has found nothing left to read, else 0: a read that starts at the end sets it
// (on disk also one that starts before a last partial element), a seek clears it. A read that
// comes up short does not set it; the next read does.
int EofDataFile(StreamValue file);
// 1 when no asynchronous read is pending, else 0.
int IsDataFileIdle(StreamValue file);
// Makes path the directory that relative paths start from. 0 whether or not it could be
// entered; GetDataCurrentDir tells where it is. A directory whose full form is 256 bytes or
// longer is not entered (the current directory stays where it was): relative paths there would
// have no base to start from.
int SetDataCurrentDir(const char* path);
// Copies the current directory into a buffer of kDataCurrentDirBytes bytes: its length; a
// directory too long for the buffer writes nothing and gives the bytes it needs; 0 for a null
// buffer.
int GetDataCurrentDir(char* buffer);

// ---- Archive settings ----
// Where files are looked for: by the data-file calls and by every load of the framework
// (images, sounds, movies). A program makes its archives with the orbek_archive_pack command,
// whose --key is the key string below. A change of the extension or the key closes the
// archives that no open file reads, so that the next open looks for each archive anew; files
// already open read on as they were opened.

// 1: every file is read from disk, never from an archive; 0 (the default): archives are read.
// SetupLibrary applies it, and it holds until a later SetupLibrary applies another: call it
// before SetupLibrary (files opened before the first set-up are read from archives). 0.
int SetNoArchiveSwitch(int32_t on);
// 1: a path is read from disk when the file is there, and from its directory's archive only
// when it is not; 0 (the default): from the archive, and from disk only for a path that no
// archive stands for. Any time; later opens follow it. 0.
int SetPlainFileFirst(int32_t on);
// The extension of archive files, without the dot, in any case ("pak": graphics.pak stands
// for graphics\); null or "" restores "oba". Any time; later opens follow it. 0, or -1 (and
// nothing changed) for more than 31 characters, a leading dot, or a '\\' or '/'.
int SetArchiveExtension(const char* extension);
// The key string that archives are read with (only its first 12 characters count); null or
// "" restores the default key. Any time: files opened later are read with it, also from an
// archive that files opened earlier still read with the old key. An archive that the key does
// not open counts as missing. 0, or -1 (and nothing changed) for more than 255 characters.
int SetArchiveKeyString(const char* keyString);

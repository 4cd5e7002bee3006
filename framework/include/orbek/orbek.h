// Orbek's public face: the calls, types and constants that a game built on the framework uses.
// A game includes this header and nothing else of the framework. Results follow one rule:
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

// How drawing combines with what is already there; the parameter runs from 0 to 255.
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

// 1 window, 0 full screen; before SetupLibrary it only records the choice. -1 when a
// full-screen change finds no display mode of the screen size.
int ChangeWindowMode(int32_t windowed);
// Starts the whole framework: window, input, sound, graphics, fonts. 0 also when already set up.
int SetupLibrary();
// Ends everything SetupLibrary started. A program that returns from main or calls exit without
// it, on the thread that called SetupLibrary, has it run at exit; exit called on another thread
// ends the process at once.
int ShutdownLibrary();
// Handles pending window messages and the framework's per-frame services; 0 while the program
// may go on, -1 once it must end. Call it once per pass of every loop.
int PumpMessages();

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
// While the application is inactive each query first waits for activation.

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
// Sampling of scaled and rotated drawing: 0 nearest point, 1 linear, 2 anisotropic.
int SetDrawSamplingMode(int32_t mode);
// The colour (each channel 0..255, taken modulo 256 so that -1 sets every bit) in the current
// screen format.
ScreenColor PackScreenColor(int red, int green, int blue);
// Called after the Direct3D device had to be made again (full screen left and re-entered, a
// screen-mode change) to fill the graphs again; null selects the built-in reloader.
using GraphRestoreCallback = void (*)();
int InstallGraphRestoreHandler(GraphRestoreCallback callback);

// ---- Graphs ----

// A graph of the image file, or -1 when it is missing or cannot be decoded; the flag has no
// effect.
Handle LoadImageFileAsGraph(const char* fileName, int32_t flag);
// Fills out[0..allNum-1] with one graph per cell of width x height, row by row (cell i at
// column i mod xNum, row i / xNum); the flag has no effect.
int LoadImageFileAsDivGraphs(const char* fileName, int32_t allNum, int32_t xNum, int32_t yNum,
                             int32_t width, int32_t height, Handle* out, int32_t flag);
int DisposeGraph(Handle graph);

// ---- Drawing, under the current blend mode, bright colour, sampling mode and clip ----

// The whole graph with its top-left at (x, y); a non-zero trans skips transparent pixels.
int PutGraph(int32_t x, int32_t y, Handle graph, int32_t trans);
// The graph scaled and rotated (radians) about its centre, the centre placed at (x, y); a
// non-zero turn mirrors it left to right.
int PutGraphRotated(float x, float y, double scale, double angle, Handle graph, int32_t trans,
                    int32_t turn);
// The graph stretched onto the rectangle (x1, y1)-(x2, y2); x1 > x2 mirrors it left to right,
// y1 > y2 top to bottom.
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
// flag is reserved (0).
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

// ---- Fonts and text ----

// A font of the face (null for the default) or -1; -1 for the charset index and the edge size
// means the defaults; `reuse` is a font handle to make again, or -1.
Handle MakeFontHandle(const char* face, int size, int thickness, int type, int charsetIndex,
                      int edgeSize, int italic, Handle reuse);
int DeleteFontHandle(Handle font);
// The text with its top-left corner at (x, y).
int DrawStringWithFont(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical);

// ---- Sounds ----

// A sound of a WAV, MP3 or Ogg Vorbis file, or -1. With several buffers (at most 10) a sound
// can overlap itself; shareSource is a stream sound whose buffer it may share, -1 for none.
Handle LoadSoundHandle(const char* path, int32_t bufferCount, Handle shareSource);
// playType kPlayWait, kPlayBackground or kPlayLoop; fromTop 1 starts at the beginning, 0 goes
// on from where it was stopped.
int PlaySoundHandle(Handle handle, int32_t playType, int32_t fromTop);
// Stops it and keeps its position.
int StopSoundHandle(Handle handle);
// 1 while any of its buffers plays, 0 when none does, -1 for a bad handle.
int IsSoundHandlePlaying(Handle handle);
int DeleteSoundHandle(Handle handle);
// Length and play position in milliseconds; -1 for a bad handle.
int GetSoundTotalTime(Handle handle);
int GetSoundCurrentTime(Handle handle);

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

// Opens the file for reading; 0 when it (or its archive entry) is missing or the path is null.
// useCache 1 reads a plain file ahead through a buffer; useAsync 1 lets ReadDataFile return
// before its bytes arrive, which they have once IsDataFileIdle gives 1. The third argument is
// not read: pass 1.
StreamValue OpenDataFile(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
int CloseDataFile(StreamValue file);
// The read position in bytes.
int64_t TellDataFile(StreamValue file);
// Moves the read position by offset from the start (origin 0), the position (1) or the end (2);
// in an archive the position stops at the start and the end. 0, or -1.
int SeekDataFile(StreamValue file, int64_t offset, int32_t origin);
// Reads count elements of elementSize bytes, as fread does: the number of whole elements read;
// 0 at the end and for a null buffer.
size_t ReadDataFile(void* buffer, size_t elementSize, size_t count, StreamValue file);
// -1 once a read found the end, else 0.
int EofDataFile(StreamValue file);
// 1 when no asynchronous read is pending, else 0.
int IsDataFileIdle(StreamValue file);
// Makes path the directory that relative paths start from. 0 whether or not it could be
// entered; GetDataCurrentDir tells where it is.
int SetDataCurrentDir(const char* path);
// Copies the current directory into a buffer of kDataCurrentDirBytes bytes: its length; a
// directory too long for the buffer writes nothing and gives the bytes it needs; 0 for a null
// buffer.
int GetDataCurrentDir(char* buffer);

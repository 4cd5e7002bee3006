// The SDL2 host: a real window per layer window, its picture kept in a surface of the layout
// last shown and drawn through a streaming texture where a GPU renderer exists, else straight
// into the window's framebuffer (scaled to fit with its aspect kept in full screen); SDL's
// events as host events with keys as Windows virtual keys (Japanese layout positions), display
// modes, clipboard, cursor, screen saver, audio out, and the joysticks of sdl_joysticks.cpp.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "../keyboard/keyboard.h"
#include "host.h"
#include "host_pixels.h"
#include "platform/win32_user.h"
#include "sdl_joysticks.h"
#include "sdl_key_table.h"

namespace {

struct SdlWindow {
    SDL_Window* window = nullptr;
    // Null: the picture goes into the window's framebuffer, without SDL's render API.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // 0x00RRGGBB, the surface's size
    // The picture: the client size, in the layout of what was shown last, so that a picture
    // in the back buffer's layout is copied in as it is.
    SDL_Surface* surface = nullptr;
    // The picture in the framebuffer's layout, for scaling it there.
    SDL_Surface* converted = nullptr;
    int x = 0, y = 0;           // where the layer placed it, kept for leaving full screen
    int width = 0, height = 0;  // the surface's size: the client size the layer asked for
    bool fullScreen = false;
};

struct SdlHostState {
    std::map<uint32_t, SdlWindow> windows;
    SDL_AudioDeviceID audio = 0;
    HostAudioCallback audioCallback = nullptr;
    void* audioUser = nullptr;
    // Why the video or the sound could not start has been told: the layer asks again at
    // every query and every start of the sound.
    bool toldWhyNoVideo = false;
    bool toldWhyNoSound = false;
};

SdlHostState gSdl;

SdlWindow* FindSdl(uint32_t window) {
    auto found = gSdl.windows.find(window);
    return found == gSdl.windows.end() ? nullptr : &found->second;
}

// SDL's drivers that show nothing: SDL falls back to the offscreen one where it reaches no
// display (no X or Wayland server, no screen of its own), and a window there is never seen.
bool ShowsNothing(const char* driver) {
    return driver != nullptr &&
           (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

// Told once on standard error, as the log is not where one looks.
void TellOnce(bool* told, const char* why, const char* detail) {
    if (*told) return;
    *told = true;
    std::fprintf(stderr, "Orbek: %s%s\n", why, detail);
}

void TellWhyNoVideo(const char* why, const char* detail) {
    TellOnce(&gSdl.toldWhyNoVideo, why, detail);
}

bool Start() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Compositions longer than SDL's fixed event text arrive whole.
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        TellWhyNoVideo("the video could not be started: ", SDL_GetError());
        return false;
    }
    // Only a driver asked for by name (SDL_VIDEODRIVER) may show nothing: a window that cannot
    // be seen is a failed window, and the user is told why, as the log is not where one looks.
    if (SDL_GetHint(SDL_HINT_VIDEODRIVER) == nullptr && ShowsNothing(SDL_GetCurrentVideoDriver())) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        TellWhyNoVideo(
            "no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY "
            "reaches one); SDL_VIDEODRIVER=offscreen or ORBEK_HOST=headless runs "
            "without a display",
            "");
        return false;
    }
    return true;
}

void DestroySdlWindow(SdlWindow& w) {
    if (w.texture != nullptr) SDL_DestroyTexture(w.texture);
    if (w.renderer != nullptr) SDL_DestroyRenderer(w.renderer);
    SDL_FreeSurface(w.surface);
    SDL_FreeSurface(w.converted);
    SDL_DestroyWindow(w.window);
}

void Stop() {
    for (auto& entry : gSdl.windows) DestroySdlWindow(entry.second);
    gSdl.windows.clear();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool HintSaysSoftware(const char* name) {
    const char* value = SDL_GetHint(name);
    return value != nullptr &&
           (std::strcmp(value, "0") == 0 || SDL_strcasecmp(value, "false") == 0 ||
            SDL_strcasecmp(value, "software") == 0);
}

// Whether an OpenGL renderer draws on the CPU (Mesa's llvmpipe or softpipe, as on a virtual X
// display): SDL counts it as accelerated, yet no GPU is behind it.
bool DrawsOnTheCpu(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0) return false;
    if ((info.flags & SDL_RENDERER_SOFTWARE) != 0) return true;
    if (std::strncmp(info.name, "opengl", 6) != 0 || SDL_GL_GetCurrentContext() == nullptr) {
        return false;
    }
    using GetString = const unsigned char* (*)(unsigned int name);
    constexpr unsigned int kGlRenderer = 0x1F01;
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const auto* name = getString != nullptr ? getString(kGlRenderer) : nullptr;
    if (name == nullptr) return false;
    const char* text = reinterpret_cast<const char*>(name);
    return std::strstr(text, "llvmpipe") != nullptr || std::strstr(text, "softpipe") != nullptr ||
           std::strstr(text, "Software Rasterizer") != nullptr;
}

// A picture drawn in software goes to a GPU renderer as a streaming texture; without one, a
// renderer would only draw it into the window's framebuffer, which the host does itself at less
// cost. SDL's hint decides where it is set: SDL_FRAMEBUFFER_ACCELERATION=0 (or
// SDL_RENDER_DRIVER=software) asks for the framebuffer, =1 or a driver's name for a renderer
// even on the CPU. Null: the framebuffer.
SDL_Renderer* CreateGpuRenderer(SDL_Window* window) {
    const char* acceleration = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    if (!HintSaysSoftware(SDL_HINT_FRAMEBUFFER_ACCELERATION) &&
        !HintSaysSoftware(SDL_HINT_RENDER_DRIVER)) {
        if (SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED)) {
            if (acceleration != nullptr || !DrawsOnTheCpu(renderer)) return renderer;
            SDL_DestroyRenderer(renderer);
        }
    }
    // Else SDL would draw the window's framebuffer through a texture of a renderer of its own.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return nullptr;
}

uint32_t CreateHostWindow(const char* title, int x, int y, int width, int height) {
    SdlWindow w;
    w.window =
        SDL_CreateWindow(title, x, y, std::max(width, 1), std::max(height, 1), SDL_WINDOW_HIDDEN);
    if (w.window == nullptr) return 0;
    w.renderer = CreateGpuRenderer(w.window);
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    uint32_t id = SDL_GetWindowID(w.window);
    gSdl.windows[id] = std::move(w);
    return id;
}

void DestroyHostWindow(uint32_t window) {
    if (SdlWindow* w = FindSdl(window)) {
        DestroySdlWindow(*w);
        gSdl.windows.erase(window);
    }
}

void SetTitle(uint32_t window, const char* title) {
    if (SdlWindow* w = FindSdl(window)) SDL_SetWindowTitle(w->window, title);
}

// A window the window manager minimised counts as shown: showing it again would map it and so
// undo the minimising (restoring is restoreWindow's).
void ShowHostWindow(uint32_t window, bool show) {
    if (SdlWindow* w = FindSdl(window)) {
        bool shown =
            (SDL_GetWindowFlags(w->window) & (SDL_WINDOW_SHOWN | SDL_WINDOW_MINIMIZED)) != 0;
        if (show && !shown) SDL_ShowWindow(w->window);
        if (!show && shown) SDL_HideWindow(w->window);
    }
}

void MinimiseWindow(uint32_t window) {
    if (SdlWindow* w = FindSdl(window)) SDL_MinimizeWindow(w->window);
}

void RestoreWindow(uint32_t window) {
    if (SdlWindow* w = FindSdl(window)) SDL_RestoreWindow(w->window);
}

void RaiseWindow(uint32_t window) {
    if (SdlWindow* w = FindSdl(window)) SDL_RaiseWindow(w->window);
}

void PlaceHostWindow(uint32_t window, int x, int y, int width, int height) {
    SdlWindow* w = FindSdl(window);
    if (w == nullptr) return;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    if (w->fullScreen) return;
    int oldX, oldY, oldWidth, oldHeight;
    SDL_GetWindowPosition(w->window, &oldX, &oldY);
    SDL_GetWindowSize(w->window, &oldWidth, &oldHeight);
    if (oldX != x || oldY != y) SDL_SetWindowPosition(w->window, x, y);
    if (oldWidth != width || oldHeight != height) {
        SDL_SetWindowSize(w->window, std::max(width, 1), std::max(height, 1));
    }
}

void SetFullScreen(uint32_t window, bool on) {
    SdlWindow* w = FindSdl(window);
    if (w == nullptr) return;
    w->fullScreen = on;
    if (!on) {
        SDL_SetWindowFullscreen(w->window, 0);
        SDL_SetWindowBordered(w->window, SDL_TRUE);
        SDL_SetWindowSize(w->window, std::max(w->width, 1), std::max(w->height, 1));
        SDL_SetWindowPosition(w->window, w->x, w->y);
        return;
    }
    // Desktop full screen asks the window manager; on an X display without one the window
    // would keep its size while SDL scales for the display. Covering the display first makes
    // the picture fit either way.
    SDL_Rect display;
    if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(w->window), 0), &display) == 0) {
        SDL_SetWindowBordered(w->window, SDL_FALSE);
        SDL_SetWindowPosition(w->window, display.x, display.y);
        SDL_SetWindowSize(w->window, display.w, display.h);
    }
    SDL_SetWindowFullscreen(w->window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

Uint32 SdlFormatOf(HostPixelFormat format) {
    switch (format) {
        case HostPixelFormat::Rgb565:
            return SDL_PIXELFORMAT_RGB565;
        case HostPixelFormat::Xrgb1555:
            return SDL_PIXELFORMAT_RGB555;
        default:
            return SDL_PIXELFORMAT_RGB888;
    }
}

HostPixelFormat HostFormatOf(Uint32 format) {
    return format == SDL_PIXELFORMAT_RGB565   ? HostPixelFormat::Rgb565
           : format == SDL_PIXELFORMAT_RGB555 ? HostPixelFormat::Xrgb1555
                                              : HostPixelFormat::Xrgb8888;
}

// Copies `rect` of the picture to 0x00RRGGBB rows at `to`, each channel scaled and rounded as
// GDI shows it (SDL's own conversion takes a full 6-bit green to 254).
void CopyAsXrgb(const SDL_Surface& picture, const SDL_Rect& rect, void* to, int toPitch) {
    const HostPixelFormat format = HostFormatOf(picture.format->format);
    const auto* from = static_cast<const uint8_t*>(picture.pixels) + rect.y * picture.pitch +
                       rect.x * HostPixelBytes(format);
    for (int row = 0; row < rect.h; ++row) {
        ConvertRowToXrgb(format, from + row * picture.pitch, rect.w,
                         reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(to) + row * toPitch));
    }
}

// Copies `rect` of the picture to the same place of `to`, converted to its layout.
void CopyRect(const SDL_Surface& picture, const SDL_Rect& rect, SDL_Surface* to) {
    if (to->format->format != SDL_PIXELFORMAT_RGB888) {
        SDL_Rect from = rect, at = rect;
        SDL_BlitSurface(const_cast<SDL_Surface*>(&picture), &from, to, &at);
        return;
    }
    if (SDL_MUSTLOCK(to) && SDL_LockSurface(to) != 0) return;
    CopyAsXrgb(picture, rect, static_cast<uint8_t*>(to->pixels) + rect.y * to->pitch + rect.x * 4,
               to->pitch);
    if (SDL_MUSTLOCK(to)) SDL_UnlockSurface(to);
}

// Makes `surface` width x height in `format`; `keep`: with the picture it had, converted.
bool PrepareSurface(SDL_Surface** surface, int width, int height, Uint32 format, bool keep) {
    SDL_Surface* old = *surface;
    if (old != nullptr && old->w == width && old->h == height && old->format->format == format) {
        return true;
    }
    SDL_Surface* made =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, SDL_BITSPERPIXEL(format), format);
    if (made == nullptr) return false;
    if (old != nullptr && keep) {
        CopyRect(*old, {0, 0, std::min(old->w, made->w), std::min(old->h, made->h)}, made);
    }
    SDL_FreeSurface(old);
    *surface = made;
    return true;
}

// The whole display area of the window: a surface of the size scaled to fit it, its aspect
// kept.
SDL_Rect FitSurface(int surfaceWidth, int surfaceHeight, int areaWidth, int areaHeight) {
    double scale = std::min(static_cast<double>(areaWidth) / surfaceWidth,
                            static_cast<double>(areaHeight) / surfaceHeight);
    int width = static_cast<int>(surfaceWidth * scale + 0.5);
    int height = static_cast<int>(surfaceHeight * scale + 0.5);
    return {(areaWidth - width) / 2, (areaHeight - height) / 2, width, height};
}

// The picture through the renderer: a streaming texture of 0x00RRGGBB pixels, written
// straight from the picture where it is in that layout, else converted into the texture's
// own memory.
void ShowThroughTexture(SdlWindow& w, const SDL_Rect& changed) {
    const SDL_Surface& picture = *w.surface;
    int textureWidth = 0, textureHeight = 0;
    if (w.texture != nullptr) {
        SDL_QueryTexture(w.texture, nullptr, nullptr, &textureWidth, &textureHeight);
    }
    SDL_Rect update = changed;
    if (w.texture == nullptr || textureWidth != picture.w || textureHeight != picture.h) {
        if (w.texture != nullptr) SDL_DestroyTexture(w.texture);
        w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGB888,
                                      SDL_TEXTUREACCESS_STREAMING, picture.w, picture.h);
        if (w.texture == nullptr) return;
        update = {0, 0, picture.w, picture.h};
    }
    if (picture.format->format == SDL_PIXELFORMAT_RGB888) {
        const auto* from = static_cast<const uint8_t*>(picture.pixels);
        SDL_UpdateTexture(w.texture, &update, from + update.y * picture.pitch + update.x * 4,
                          picture.pitch);
    } else {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(w.texture, &update, &pixels, &pitch) != 0) return;
        CopyAsXrgb(picture, update, pixels, pitch);
        SDL_UnlockTexture(w.texture);
    }
    SDL_RenderSetLogicalSize(w.renderer, picture.w, picture.h);
    SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    SDL_RenderClear(w.renderer);
    SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
    SDL_RenderPresent(w.renderer);
}

// Puts the picture on the screen; `changed` is the part that differs from what was shown.
void ShowSurface(SdlWindow& w, const SDL_Rect& changed) {
    if (w.renderer != nullptr) {
        ShowThroughTexture(w, changed);
        return;
    }
    SDL_Surface* screen = SDL_GetWindowSurface(w.window);
    if (screen == nullptr) return;
    if (screen->w == w.surface->w && screen->h == w.surface->h) {
        CopyRect(*w.surface, changed, screen);
        SDL_UpdateWindowSurfaceRects(w.window, &changed, 1);
        return;
    }
    // Scaled, from a copy in the framebuffer's layout: SDL stretches only between equal layouts
    // without falling back to its per-pixel blitter.
    SDL_Surface* from = w.surface;
    if (w.surface->format->format != screen->format->format) {
        if (!PrepareSurface(&w.converted, w.surface->w, w.surface->h, screen->format->format,
                            false)) {
            return;
        }
        CopyRect(*w.surface, {0, 0, w.surface->w, w.surface->h}, w.converted);
        from = w.converted;
    }
    SDL_Rect fit = FitSurface(w.surface->w, w.surface->h, screen->w, screen->h);
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    SDL_SoftStretch(from, nullptr, screen, &fit);
    SDL_UpdateWindowSurface(w.window);
}

uint32_t* LockSurface(uint32_t window, int* width, int* height, int* pitch) {
    SdlWindow* w = FindSdl(window);
    if (w == nullptr || w->width <= 0 || w->height <= 0 ||
        !PrepareSurface(&w->surface, w->width, w->height, SDL_PIXELFORMAT_RGB888, true)) {
        return nullptr;
    }
    *width = w->width;
    *height = w->height;
    *pitch = w->surface->pitch;
    return static_cast<uint32_t*>(w->surface->pixels);
}

void UnlockSurface(uint32_t window) {
    SdlWindow* w = FindSdl(window);
    if (w == nullptr || w->surface == nullptr) return;
    ShowSurface(*w, {0, 0, w->surface->w, w->surface->h});
}

// The image's rows go into the picture as they are: it takes their layout, and is converted
// once, on its way to the screen, where the screen needs another.
bool ShowImage(uint32_t window, const HostImage& image, int x, int y) {
    SdlWindow* w = FindSdl(window);
    if (w == nullptr || w->width <= 0 || w->height <= 0) return false;
    const HostImageClip clip = ClipHostImage(image, x, y, w->width, w->height);
    const bool coversAll = clip.width == w->width && clip.height == w->height;
    if (!PrepareSurface(&w->surface, w->width, w->height, SdlFormatOf(image.format), !coversAll)) {
        return false;
    }
    if (clip.width == 0) return true;
    const size_t rowBytes = static_cast<size_t>(clip.width) * HostPixelBytes(image.format);
    auto* to = static_cast<uint8_t*>(w->surface->pixels) + clip.y * w->surface->pitch +
               clip.x * HostPixelBytes(image.format);
    for (int row = 0; row < clip.height; ++row) {
        std::memcpy(to + row * w->surface->pitch, clip.first + int64_t{row} * image.pitchBytes,
                    rowBytes);
    }
    ShowSurface(*w, {clip.x, clip.y, clip.width, clip.height});
    return true;
}

// One SDL event as a host event; false for events the layer has no use for.
bool Translate(const SDL_Event& e, HostEvent* event) {
    *event = HostEvent{};
    switch (e.type) {
        case SDL_WINDOWEVENT: {
            event->window = e.window.windowID;
            SdlWindow* w = FindSdl(e.window.windowID);
            bool fullScreen = w != nullptr && w->fullScreen;
            event->x = e.window.data1;
            event->y = e.window.data2;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    event->kind = HostEventKind::Close;
                    return true;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    event->kind = HostEventKind::FocusGained;
                    return true;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    event->kind = HostEventKind::FocusLost;
                    return true;
                case SDL_WINDOWEVENT_MINIMIZED:
                    event->kind = HostEventKind::Minimised;
                    return true;
                case SDL_WINDOWEVENT_RESTORED:
                    event->kind = HostEventKind::Restored;
                    return true;
                // SDL's shown clears its minimised state, so a window mapped again after being
                // minimised may come back without RESTORED.
                case SDL_WINDOWEVENT_SHOWN:
                    event->kind = HostEventKind::Shown;
                    return true;
                case SDL_WINDOWEVENT_EXPOSED:
                    event->kind = HostEventKind::Exposed;
                    return true;
                // In full screen the surface keeps its size and place; the display's do not count.
                case SDL_WINDOWEVENT_MOVED:
                    event->kind = HostEventKind::Moved;
                    return !fullScreen;
                case SDL_WINDOWEVENT_RESIZED:
                    event->kind = HostEventKind::Resized;
                    return !fullScreen;
                default:
                    return false;
            }
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event->kind = e.type == SDL_KEYDOWN ? HostEventKind::KeyDown : HostEventKind::KeyUp;
            event->window = e.key.windowID;
            event->scanCode = ScanCodeOfSdlScancode(e.key.keysym.scancode);
            event->virtualKey = VirtualKeyOfScanCode(event->scanCode);
            event->repeat = e.key.repeat != 0;
            return event->virtualKey != 0;
        case SDL_TEXTINPUT:
            event->kind = HostEventKind::Text;
            event->window = e.text.windowID;
            event->text = e.text.text;
            return true;
        case SDL_TEXTEDITING:
            event->kind = HostEventKind::TextEditing;
            event->window = e.edit.windowID;
            event->text = e.edit.text;
            event->x = e.edit.start;
            event->y = e.edit.length;
            return true;
        case SDL_TEXTEDITING_EXT:
            event->kind = HostEventKind::TextEditing;
            event->window = e.editExt.windowID;
            event->text = e.editExt.text != nullptr ? e.editExt.text : "";
            event->x = e.editExt.start;
            event->y = e.editExt.length;
            SDL_free(e.editExt.text);
            return true;
        case SDL_MOUSEMOTION:
            event->kind = HostEventKind::MouseMove;
            event->window = e.motion.windowID;
            event->x = e.motion.x;
            event->y = e.motion.y;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            event->kind = e.type == SDL_MOUSEBUTTONDOWN ? HostEventKind::MouseButtonDown
                                                        : HostEventKind::MouseButtonUp;
            event->window = e.button.windowID;
            event->x = e.button.x;
            event->y = e.button.y;
            event->button = e.button.button == SDL_BUTTON_LEFT     ? 1
                            : e.button.button == SDL_BUTTON_RIGHT  ? 2
                            : e.button.button == SDL_BUTTON_MIDDLE ? 3
                                                                   : 0;
            return event->button != 0;
        case SDL_MOUSEWHEEL:
            event->kind = HostEventKind::MouseWheel;
            event->window = e.wheel.windowID;
            event->x = e.wheel.x;
            event->y = e.wheel.y;
            return event->x != 0 || event->y != 0;
        case SDL_DROPFILE:
            event->kind = HostEventKind::DropFile;
            event->window = e.drop.windowID;
            event->text = e.drop.file != nullptr ? e.drop.file : "";
            SDL_free(e.drop.file);
            return true;
        default:
            return false;
    }
}

bool PollEvent(HostEvent* event) {
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) {
        if (Translate(e, event)) return true;
    }
    return false;
}

// The desktop is reported as 32 bits whatever its pixel format, as the layer promises.
HostDisplayMode DesktopMode() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {640, 480, 32, 60};
    return {mode.w, mode.h, 32, mode.refresh_rate > 0 ? mode.refresh_rate : 60};
}

int ListDisplayModes(HostDisplayMode* modes, int capacity) {
    std::vector<HostDisplayMode> list;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        for (int bits : {32, 16}) {
            HostDisplayMode entry{mode.w, mode.h, bits,
                                  mode.refresh_rate > 0 ? mode.refresh_rate : 60};
            bool listed = std::any_of(list.begin(), list.end(), [&](const HostDisplayMode& m) {
                return m.width == entry.width && m.height == entry.height && m.bits == bits &&
                       m.refresh == entry.refresh;
            });
            if (!listed) list.push_back(entry);
        }
    }
    for (int i = 0; i < std::min(capacity, static_cast<int>(list.size())); ++i) modes[i] = list[i];
    return static_cast<int>(list.size());
}

void ShowPointer(bool show) {
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

// Drivers that read the pointer anywhere on the desktop; elsewhere (Wayland, the offscreen and
// dummy drivers) SDL knows it only over the program's windows, as its events tell.
bool ReadsPointerAnywhere() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr &&
           (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "windows") == 0 ||
            std::strcmp(driver, "cocoa") == 0);
}

// The window shown full screen, or null: while one is, the layer's desktop is its surface.
const SdlWindow* FullScreenWindow() {
    for (const auto& entry : gSdl.windows) {
        if (entry.second.fullScreen && entry.second.width > 0 && entry.second.height > 0) {
            return &entry.second;
        }
    }
    return nullptr;
}

// Where the full-screen window shows its surface on the display, scaled to fit.
SDL_Rect FullScreenPicture(const SdlWindow& w) {
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(w.window, &x, &y);
    SDL_GetWindowSize(w.window, &width, &height);
    SDL_Rect picture = FitSurface(w.width, w.height, width, height);
    picture.x += x;
    picture.y += y;
    return picture;
}

// value x to / from rounded down, within int's range.
int ScaleDown(double value, int to, int from) {
    double scaled = std::floor(value * to / from);
    return static_cast<int>(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

bool PointerPosition(int* x, int* y) {
    if (!ReadsPointerAnywhere()) return false;
    // Over a window of the program its events tell where the pointer is; off them SDL reads the
    // desktop's pointer again whenever the device has moved it.
    if (SDL_Window* over = SDL_GetMouseFocus()) {
        int windowX = 0, windowY = 0;
        SDL_GetMouseState(x, y);
        SDL_GetWindowPosition(over, &windowX, &windowY);
        *x += windowX;
        *y += windowY;
    } else {
        SDL_GetGlobalMouseState(x, y);
    }
    const SdlWindow* w = FullScreenWindow();
    if (w == nullptr) return true;
    const SDL_Rect picture = FullScreenPicture(*w);
    if (picture.w > 0 && picture.h > 0) {
        *x = ScaleDown(static_cast<double>(*x) - picture.x, w->width, picture.w);
        *y = ScaleDown(static_cast<double>(*y) - picture.y, w->height, picture.h);
    }
    return true;
}

bool PlacePointer(int x, int y) {
    if (!ReadsPointerAnywhere()) return false;
    if (const SdlWindow* w = FullScreenWindow()) {
        // The centre of the surface pixel, kept on the surface, on the display.
        const SDL_Rect picture = FullScreenPicture(*w);
        x = picture.x + ScaleDown(std::clamp(x, 0, w->width - 1) + 0.5, picture.w, w->width);
        y = picture.y + ScaleDown(std::clamp(y, 0, w->height - 1) + 0.5, picture.h, w->height);
    }
    return SDL_WarpMouseGlobal(x, y) == 0;
}

void EnableScreenSaver(bool enable) {
    if (enable) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

std::string ClipboardText() {
    char* text = SDL_GetClipboardText();
    std::string out = text != nullptr ? text : "";
    SDL_free(text);
    return out;
}

bool SetClipboardText(const char* text) {
    return SDL_SetClipboardText(text) == 0;
}

void AudioTrampoline(void* user, Uint8* stream, int bytes) {
    gSdl.audioCallback(gSdl.audioUser, reinterpret_cast<int16_t*>(stream), bytes / 4);
}

// Without an output every sound call of the program fails.
void TellWhyNoSound() {
    TellOnce(&gSdl.toldWhyNoSound,
             "the sound could not be started, so the program plays none (SDL_AUDIODRIVER=dummy "
             "plays to no device): ",
             SDL_GetError());
}

bool OpenAudio(int frequency, HostAudioCallback callback, void* user) {
    if (gSdl.audio != 0) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        TellWhyNoSound();
        return false;
    }
    gSdl.audioCallback = callback;
    gSdl.audioUser = user;
    SDL_AudioSpec want{};
    want.freq = frequency;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = AudioTrampoline;
    gSdl.audio = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (gSdl.audio == 0) {
        TellWhyNoSound();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(gSdl.audio, 0);
    return true;
}

void CloseAudio() {
    if (gSdl.audio == 0) return;
    SDL_CloseAudioDevice(gSdl.audio);
    gSdl.audio = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// SDL's device pulls on its own thread.
void ServiceAudio() {}

std::vector<std::string> AudioDeviceNames() {
    std::vector<std::string> names;
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0) return names;
    for (int i = 0, count = SDL_GetNumAudioDevices(0); i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        if (name != nullptr) names.emplace_back(name);
    }
    return names;
}

}  // namespace

const HostDriver kSdlHost = {
    "sdl2",
    Start,
    Stop,
    CreateHostWindow,
    DestroyHostWindow,
    SetTitle,
    ShowHostWindow,
    MinimiseWindow,
    RestoreWindow,
    RaiseWindow,
    PlaceHostWindow,
    SetFullScreen,
    LockSurface,
    UnlockSurface,
    ShowImage,
    PollEvent,
    DesktopMode,
    ListDisplayModes,
    ShowPointer,
    PointerPosition,
    PlacePointer,
    EnableScreenSaver,
    ClipboardText,
    SetClipboardText,
    OpenAudio,
    CloseAudio,
    ServiceAudio,
    AudioDeviceNames,
    SdlCountJoysticks,
    SdlDescribeJoystick,
    SdlReadJoystick,
    SdlPlayJoystickEffect,
};

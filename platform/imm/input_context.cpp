// Imm32: one input context per window. The host's compositions and commits reach the window
// as WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION and WM_IME_ENDCOMPOSITION, posted in order
// with the keys and characters around them; a context's strings are those of the last such
// message retrieved. The whole composition is one clause; its selected part is the target being
// converted. No input method here offers candidates.
#include "input_context.h"

#include <platform/imm.h>
#include <platform/win32_user.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "../win32/user/message_hooks.h"
#include "../win32/user/text_conversion.h"

namespace {

struct ImeState {
    std::string composition;  // CP932
    std::vector<BYTE> attributes;
    LONG cursor = 0;  // byte offset in the composition
    std::string result;
};

struct InputContext {
    bool open = false;
    bool hostComposing = false;  // as of the last message posted
    ImeState state;              // as of the last message retrieved
    std::deque<ImeState> posted;
};

// The contexts have a lock of their own. The window layer applies retrieved messages under
// its lock, so this one is taken after it, never before: under it nothing of the window layer
// is called, and messages are posted once it is released.
struct ImeModule {
    std::mutex lock;
    std::map<HWND, InputContext> contexts;
};

ImeModule gIme;

HWND WindowOf(HIMC context) {
    return reinterpret_cast<HWND>(context);
}

// The window's context; made on first use. Call with the lock held.
InputContext& ContextOf(HWND window) {
    return gIme.contexts[window];
}

// The CP932 form of the first `characters` characters of UTF-8 text.
std::string Cp932Prefix(const std::string& utf8, int characters) {
    size_t end = 0;
    for (int i = 0; i < characters && end < utf8.size(); ++i) {
        ++end;
        while (end < utf8.size() && (static_cast<BYTE>(utf8[end]) & 0xC0) == 0x80) ++end;
    }
    return ConvertUtf8ToCp932(utf8.substr(0, end).c_str());
}

ImeState StateOfComposition(const std::string& utf8, int cursor, int selected) {
    ImeState state;
    state.composition = ConvertUtf8ToCp932(utf8.c_str());
    LONG size = static_cast<LONG>(state.composition.size());
    state.cursor = std::clamp(static_cast<LONG>(Cp932Prefix(utf8, cursor).size()), LONG{0}, size);
    LONG selectionEnd = std::clamp(
        static_cast<LONG>(Cp932Prefix(utf8, cursor + std::max(selected, 0)).size()), LONG{0}, size);
    state.attributes.assign(static_cast<size_t>(size), ATTR_INPUT);
    std::fill(state.attributes.begin() + state.cursor, state.attributes.begin() + selectionEnd,
              ATTR_TARGET_CONVERTED);
    return state;
}

constexpr LPARAM kCompositionParts = GCS_COMPSTR | GCS_COMPATTR | GCS_COMPCLAUSE | GCS_CURSORPOS;

// A message whose state joined the context's queue, to be posted in that order.
struct ImePost {
    UINT message;
    LPARAM lParam;
};

void Queue(InputContext& context, std::vector<ImePost>* posts, UINT message, LPARAM lParam,
           ImeState state) {
    context.posted.push_back(std::move(state));
    posts->push_back({message, lParam});
}

// Call without the contexts' lock held.
void PostAll(HWND window, const std::vector<ImePost>& posts) {
    for (const ImePost& post : posts) PostLayerMessage(window, post.message, 0, post.lParam, true);
}

// Copies what fits of `data` and returns the bytes copied, or with no buffer the size needed.
LONG CopyOut(const void* data, size_t size, LPVOID buffer, DWORD bufferBytes) {
    if (buffer == nullptr || bufferBytes == 0) return static_cast<LONG>(size);
    size_t copied = std::min(size, static_cast<size_t>(bufferBytes));
    if (copied != 0) std::memcpy(buffer, data, copied);
    return static_cast<LONG>(copied);
}

}  // namespace

void ImeHostEditing(HWND window, const std::string& utf8, int cursor, int selected) {
    ImeState composing = utf8.empty() ? ImeState{} : StateOfComposition(utf8, cursor, selected);
    std::vector<ImePost> posts;
    {
        std::lock_guard<std::mutex> guard(gIme.lock);
        InputContext& context = ContextOf(window);
        if (utf8.empty()) {
            if (!context.hostComposing) return;
            context.hostComposing = false;
            Queue(context, &posts, WM_IME_COMPOSITION, kCompositionParts, {});
            Queue(context, &posts, WM_IME_ENDCOMPOSITION, 0, {});
        } else {
            if (!context.hostComposing) {
                context.hostComposing = true;
                // Typing into a composition means the host's input method is on.
                context.open = true;
                Queue(context, &posts, WM_IME_STARTCOMPOSITION, 0, {});
            }
            Queue(context, &posts, WM_IME_COMPOSITION, kCompositionParts, std::move(composing));
        }
    }
    PostAll(window, posts);
}

bool ImeHostCommit(HWND window, const std::string& cp932) {
    std::vector<ImePost> posts;
    {
        std::lock_guard<std::mutex> guard(gIme.lock);
        InputContext& context = ContextOf(window);
        if (!context.hostComposing) return false;
        context.hostComposing = false;
        ImeState state;
        state.result = cp932;
        Queue(context, &posts, WM_IME_COMPOSITION, GCS_RESULTSTR | kCompositionParts, state);
        Queue(context, &posts, WM_IME_ENDCOMPOSITION, 0, {});
    }
    PostAll(window, posts);
    return true;
}

void ImeApplyRetrieved(HWND window) {
    std::lock_guard<std::mutex> guard(gIme.lock);
    InputContext& context = ContextOf(window);
    if (context.posted.empty()) return;
    context.state = std::move(context.posted.front());
    context.posted.pop_front();
}

void ResetInputContexts() {
    std::lock_guard<std::mutex> guard(gIme.lock);
    gIme.contexts.clear();
}

HIMC ImmGetContext(HWND window) {
    if (!IsLayerWindow(window)) return nullptr;
    std::lock_guard<std::mutex> guard(gIme.lock);
    ContextOf(window);
    return reinterpret_cast<HIMC>(window);
}

BOOL ImmReleaseContext(HWND window, HIMC context) {
    return context != nullptr && WindowOf(context) == window ? TRUE : FALSE;
}

LONG ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD bufferBytes) {
    if (context == nullptr) return IMM_ERROR_GENERAL;
    std::lock_guard<std::mutex> guard(gIme.lock);
    const ImeState& state = ContextOf(WindowOf(context)).state;
    switch (index) {
        case GCS_COMPSTR:
            return CopyOut(state.composition.data(), state.composition.size(), buffer, bufferBytes);
        case GCS_RESULTSTR:
            return CopyOut(state.result.data(), state.result.size(), buffer, bufferBytes);
        case GCS_COMPATTR:
            return CopyOut(state.attributes.data(), state.attributes.size(), buffer, bufferBytes);
        case GCS_COMPCLAUSE: {
            if (state.composition.empty()) return 0;
            const DWORD clauses[2] = {0, static_cast<DWORD>(state.composition.size())};
            return CopyOut(clauses, sizeof clauses, buffer, bufferBytes);
        }
        case GCS_CURSORPOS:
            return state.cursor;
        default:
            return IMM_ERROR_GENERAL;
    }
}

DWORD ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bufferBytes) {
    return 0;
}

BOOL ImmGetOpenStatus(HIMC context) {
    if (context == nullptr) return FALSE;
    std::lock_guard<std::mutex> guard(gIme.lock);
    return ContextOf(WindowOf(context)).open ? TRUE : FALSE;
}

BOOL ImmSetOpenStatus(HIMC context, BOOL open) {
    if (context == nullptr || !IsLayerWindow(WindowOf(context))) return FALSE;
    {
        std::lock_guard<std::mutex> guard(gIme.lock);
        InputContext& record = ContextOf(WindowOf(context));
        if (record.open == (open != FALSE)) return TRUE;
        record.open = open != FALSE;
    }
    SendMessageA(WindowOf(context), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    return TRUE;
}

BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value) {
    if (context == nullptr || action != NI_COMPOSITIONSTR || index != CPS_CANCEL) return FALSE;
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(gIme.lock);
        InputContext& record = ContextOf(WindowOf(context));
        ended = record.hostComposing || !record.state.composition.empty();
        record.hostComposing = false;
        record.posted.clear();
        record.state = {};
    }
    if (ended) SendMessageA(WindowOf(context), WM_IME_ENDCOMPOSITION, 0, 0);
    return TRUE;
}

BOOL ImmSetCompositionStringA(HIMC context, DWORD index, LPVOID composition, DWORD compositionBytes,
                              LPVOID reading, DWORD readingBytes) {
    if (context == nullptr || index != SCS_SETSTR || !IsLayerWindow(WindowOf(context))) {
        return FALSE;
    }
    if (composition == nullptr || compositionBytes == 0) return TRUE;
    bool started = false;
    {
        std::lock_guard<std::mutex> guard(gIme.lock);
        InputContext& record = ContextOf(WindowOf(context));
        started = !record.hostComposing;
        record.hostComposing = true;
        record.posted.clear();
        record.state = {};
        record.state.composition.assign(static_cast<const char*>(composition), compositionBytes);
        record.state.attributes.assign(compositionBytes, ATTR_INPUT);
        record.state.cursor = static_cast<LONG>(compositionBytes);
    }
    HWND window = WindowOf(context);
    if (started) SendMessageA(window, WM_IME_STARTCOMPOSITION, 0, 0);
    SendMessageA(window, WM_IME_COMPOSITION, 0, kCompositionParts);
    return TRUE;
}

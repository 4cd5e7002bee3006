// The clipboard's CP932 text over the host's UTF-8 clipboard, the global memory blocks that
// carry it, and the dropped-file lists of WM_DROPFILES.
#include <cstring>
#include <memory>
#include <vector>

#include "user_state.h"

namespace {

struct GlobalBlock {
    std::vector<char> bytes;
};

struct DropList {
    std::vector<std::string> paths;
};

struct ClipboardState {
    DWORD owner = 0;  // thread that has it open
    bool open = false;
    HGLOBAL text = nullptr;  // the block GetClipboardData handed out, freed on the next change
};

ClipboardState gClipboard;

void DropText() {
    if (gClipboard.text != nullptr) GlobalFree(gClipboard.text);
    gClipboard.text = nullptr;
}

bool OpenedByCaller() {
    return gClipboard.open && gClipboard.owner == GetCurrentThreadId();
}

}  // namespace

void ResetClipboard() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    DropText();
    gClipboard = ClipboardState{};
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    auto* block = new GlobalBlock;
    block->bytes.assign(bytes, '\0');
    return block;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    delete static_cast<GlobalBlock*>(block);
    return nullptr;
}

LPVOID GlobalLock(HGLOBAL block) {
    return block != nullptr ? static_cast<GlobalBlock*>(block)->bytes.data() : nullptr;
}

BOOL GlobalUnlock(HGLOBAL block) {
    return FALSE;
}

SIZE_T GlobalSize(HGLOBAL block) {
    return block != nullptr ? static_cast<GlobalBlock*>(block)->bytes.size() : 0;
}

BOOL OpenClipboard(HWND owner) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (gClipboard.open && gClipboard.owner != GetCurrentThreadId()) return FALSE;
    gClipboard.open = true;
    gClipboard.owner = GetCurrentThreadId();
    return TRUE;
}

BOOL CloseClipboard() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (!OpenedByCaller()) return FALSE;
    gClipboard.open = false;
    return TRUE;
}

BOOL EmptyClipboard() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (!OpenedByCaller() || !EnsureHostStarted()) return FALSE;
    DropText();
    return Host().setClipboardText("") ? TRUE : FALSE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    return format == CF_TEXT && EnsureHostStarted() && !Host().clipboardText().empty();
}

HANDLE GetClipboardData(UINT format) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (!OpenedByCaller() || format != CF_TEXT || !EnsureHostStarted()) return nullptr;
    std::string utf8 = Host().clipboardText();
    if (utf8.empty()) return nullptr;
    std::string text = ConvertUtf8ToCp932(utf8.c_str());
    DropText();
    gClipboard.text = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(GlobalLock(gClipboard.text), text.c_str(), text.size() + 1);
    return gClipboard.text;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (!OpenedByCaller() || format != CF_TEXT || data == nullptr || !EnsureHostStarted()) {
        return nullptr;
    }
    const GlobalBlock* block = static_cast<GlobalBlock*>(data);
    std::string text(block->bytes.data(), strnlen(block->bytes.data(), block->bytes.size()));
    bool stored = Host().setClipboardText(ConvertCp932ToUtf8(text.c_str()).c_str());
    // The clipboard owns the block from now on.
    GlobalFree(data);
    return stored ? data : nullptr;
}

HDROP MakeDropHandle(const std::vector<std::string>& paths) {
    auto* list = new DropList;
    list->paths = paths;
    return list;
}

void DragAcceptFiles(HWND window, BOOL accept) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (WindowRecord* record = FindWindowRecord(window); record != nullptr) {
        record->acceptFiles = accept != FALSE;
    }
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT bytes) {
    const DropList* list = static_cast<DropList*>(drop);
    if (list == nullptr) return 0;
    if (index == 0xFFFFFFFF) return static_cast<UINT>(list->paths.size());
    if (index >= list->paths.size()) return 0;
    const std::string& path = list->paths[index];
    if (file == nullptr || bytes == 0) return static_cast<UINT>(path.size());
    size_t count = std::min(path.size(), static_cast<size_t>(bytes - 1));
    std::memcpy(file, path.data(), count);
    file[count] = '\0';
    return static_cast<UINT>(count);
}

void DragFinish(HDROP drop) {
    delete static_cast<DropList*>(drop);
}

// The log writer. Each text is appended with open, seek to the end, write and close, so the
// file is complete on disk however the process ends; nothing is written before the clock's
// DLL is loaded.
#include "core/log.h"

#include <platform/win32.h>

#include <cstdarg>
#include <cstdio>

#include "core/clocks.h"
#include "core/platform_dlls.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"

LogState gLog = {"", "Log.txt", 0, 0, 0, 0, 0, 0};

namespace {

// Texts up to this length are converted on the stack.
constexpr uint32_t kStackTextBytes = 255;
// The formatted text, the appended "\n" and the NUL.
constexpr int kFormatBufferBytes = 1024;

// directory + "\" (unless it ends in one) + file name; false when the directory is empty or
// the path does not fit.
bool BuildLogPath(char* out, size_t outBytes) {
    uint32_t length = GetStringLength(gLog.directory);
    if (length == 0) return false;
    bool endsInSeparator = gLog.directory[length - 1] == '\\' &&
                           GetCharByteRole(gLog.directory, length - 1, GetCharSet()) == 0;
    int written = snprintf(out, outBytes, "%s%s%s", gLog.directory, endsInSeparator ? "" : "\\",
                           gLog.fileName);
    return written > 0 && static_cast<size_t>(written) < outBytes;
}

// Copies text writing each LF as CR LF, until the first LF that already follows a CR; from
// there on the text is copied unchanged. out holds 2 x length + 1 bytes. Returns the length.
uint32_t ConvertLineEnds(const char* text, uint32_t length, char* out) {
    uint32_t o = 0;
    uint32_t i = 0;
    for (; i < length; i++) {
        if (text[i] == '\n') {
            if (i > 0 && text[i - 1] == '\r') break;
            out[o++] = '\r';
        }
        out[o++] = text[i];
    }
    for (; i < length; i++) out[o++] = text[i];
    out[o] = '\0';
    return o;
}

void WriteToFile(HANDLE file, const char* bytes, uint32_t count) {
    if (file == INVALID_HANDLE_VALUE || count == 0) return;
    DWORD written = 0;
    WriteFile(file, bytes, count, &written, nullptr);
}

// The time stamp and one tab per indentation level, to the file and the debugger.
void WriteLinePrefix(HANDLE file) {
    if (gLog.noTimeStamp == 0) {
        char stamp[16];
        uint32_t elapsed = (GetMillisecondCount(0) - gLog.clockStart) & 0x7FFFFFFFu;
        int length = snprintf(stamp, sizeof stamp, "%d:", static_cast<int>(elapsed));
        WriteToFile(file, stamp, static_cast<uint32_t>(length));
        OutputDebugStringA(stamp);
    }
    static const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    constexpr int32_t kTabCount = sizeof kTabs - 1;
    for (int32_t left = gLog.indentLevel; left > 0; left -= kTabCount) {
        int32_t count = left < kTabCount ? left : kTabCount;
        WriteToFile(file, kTabs + kTabCount - count, static_cast<uint32_t>(count));
        OutputDebugStringA(kTabs + kTabCount - count);
    }
}

}  // namespace

int StartLog() {
    CreateLogFile();
    gLog.indentLevel = 0;
    gLog.midLine = 0;
    gLog.clockStart = GetMillisecondCount(0);
    return 0;
}

int CreateLogFile() {
    if (gLog.logOff != 0) return 0;
    if (gLog.datedName != 0) {
        int32_t t[6];
        ReadLocalDateTime(t);
        snprintf(gLog.fileName, sizeof gLog.fileName, "Log%d_%d_%d_%d_%d_%d.txt", t[0], t[1], t[2],
                 t[3], t[4], t[5]);
    } else {
        CopyString(gLog.fileName, "Log.txt");
    }
    char path[sizeof gLog.directory + sizeof gLog.fileName + 1];
    if (!BuildLogPath(path, sizeof path)) return 0;
    DeleteFileA(path);
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}

int AppendLogText(const char* text) {
    if (text == nullptr || gPlatformDlls.timeGetTime == nullptr) return -1;

    uint32_t length = GetStringLength(text);
    char stackBuffer[kStackTextBytes * 2 + 1];
    char* converted = stackBuffer;
    if (length > kStackTextBytes) {
        // The caller's text is valid memory, so twice its length fits in a 64-bit size; a
        // size beyond what the allocator takes loses the text.
        uint64_t bytes = static_cast<uint64_t>(length) * 2 + 1;
        if (bytes > 0xFFFFFFFFull) return -1;
        converted =
            static_cast<char*>(AllocMemory(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
        if (converted == nullptr) return -1;
    }
    uint32_t convertedLength = ConvertLineEnds(text, length, converted);

    HANDLE file = INVALID_HANDLE_VALUE;
    char path[sizeof gLog.directory + sizeof gLog.fileName + 1];
    if (gLog.logOff == 0 && BuildLogPath(path, sizeof path)) {
        file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file != INVALID_HANDLE_VALUE) SetFilePointer(file, 0, nullptr, FILE_END);
    }

    if (gLog.midLine == 0) WriteLinePrefix(file);
    WriteToFile(file, converted, convertedLength);
    OutputDebugStringA(converted);
    gLog.midLine = convertedLength > 0 && converted[convertedLength - 1] == '\n' ? 0 : 1;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

    if (converted != stackBuffer) FreeMemory(converted);
    return -1;
}

int EmitLogText(const char* text) {
    return AppendLogText(text);
}

int EmitLogFormat(const char* format, ...) {
    char buffer[kFormatBufferBytes];
    va_list args;
    va_start(args, format);
    int length = FormatStringArgsN(buffer, kFormatBufferBytes - 1, format, args);
    va_end(args);
    if (length < 0) length = 0;
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
    return AppendLogText(buffer);
}

int RaiseLogIndent() {
    gLog.indentLevel++;
    return 0;
}

int LowerLogIndent() {
    if (gLog.indentLevel > 0) gLog.indentLevel--;
    return 0;
}

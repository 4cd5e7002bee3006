// The framework's log: "Log.txt" in the log directory, Shift-JIS with CR LF line ends, every
// line stamped with the milliseconds since the log started and indented by tabs, every text
// mirrored to the debugger output.
#pragma once

#include <cstdint>

struct LogState {
    char directory[260];  // empty until start-up copies the start directory into it
    char fileName[64];    // "Log.txt", or the dated name
    int32_t logOff;       // 1: nothing is created or written
    int32_t datedName;    // 1: "Log<year>_<month>_<day>_<hour>_<minute>_<second>.txt"
    int32_t noTimeStamp;  // 1: lines are not prefixed with the time
    uint32_t clockStart;  // GetMillisecondCount when the log started
    int32_t indentLevel;
    int32_t midLine;  // 1 when the last text written did not end with a line feed
};
extern LogState gLog;

// Re-creates the log file and restarts its clock and indentation.
int StartLog();
// Builds the file name and leaves an empty file under it; 0 also when it cannot be made.
int CreateLogFile();
// Writes one text; always -1, so that a failing function can return its result.
int AppendLogText(const char* text);
int EmitLogText(const char* text);
// Formats into 1024 bytes (truncating) and writes the text with "\n" added; always -1.
int EmitLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int RaiseLogIndent();
int LowerLogIndent();

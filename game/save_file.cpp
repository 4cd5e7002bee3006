// Reading and writing the save file. The reader trusts nothing: each line is read whole
// (the rest of an over-long one dropped), a CR before the LF is stripped, every number is
// parsed with range checks. The writer never truncates the file it replaces.
#include "save_file.h"

#include <orbek/orbek.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstring>

#include "input_sampling.h"
#include "ranking.h"
#include "test_hooks.h"

namespace {

const char kSaveFileName[] = "savedata.txt";
const char kTemporaryName[] = "savedata.txt.tmp";
constexpr int32_t kMaxPadButton = kPadButtonFlags - 1;
// Longer than any valid line ("-2147483648,-2147483648," and a 15-character name).
constexpr size_t kLineBytes = 64;

// One line without its line end into `line`; the part beyond the buffer is dropped. False at
// the end of the file.
bool ReadLine(std::FILE* file, char (&line)[kLineBytes]) {
    size_t length = 0;
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (length < kLineBytes - 1) line[length++] = static_cast<char>(c);
    }
    if (length > 0 && line[length - 1] == '\r') --length;
    line[length] = '\0';
    return any;
}

// A decimal int32 at *text (an optional '-' and digits, no blanks), advancing past it.
bool ParseNumber(const char** text, const char* end, int32_t* value) {
    auto [next, error] = std::from_chars(*text, end, *value);
    if (error != std::errc() || next == *text) return false;
    *text = next;
    return true;
}

// A whole line holding one number.
bool ParseButtonLine(const char* line, int32_t* button) {
    const char* end = line + std::strlen(line);
    return ParseNumber(&line, end, button) && line == end;
}

bool ParseRecordLine(const char* line, RankingRecord* record) {
    const char* end = line + std::strlen(line);
    int32_t score, stage;
    if (!ParseNumber(&line, end, &score) || line == end || *line++ != ',') return false;
    if (!ParseNumber(&line, end, &stage) || line == end || *line++ != ',') return false;
    if (score < 0 || stage < 0 || stage > kAllStagesCleared) return false;
    record->score = score;
    record->stage = stage;
    size_t length = std::strlen(line);
    if (length > kNameBytes - 1) length = kNameBytes - 1;
    std::memcpy(record->name, line, length);
    record->name[length] = '\0';
    return true;
}

// Asked before each operation of a write: the replay hook may have it fail.
bool Fails() {
    return TestHookSaveOperationFails();
}

bool WriteContent(std::FILE* file) {
    for (int32_t button : gGameInput.PadButtonConfig) {
        if (Fails() || std::fprintf(file, "%d\n", button) < 0) return false;
    }
    for (int32_t i = 0; i < kRankedGames; ++i) {
        const RankingRecord& r = RankingTable[i];
        if (Fails() || std::fprintf(file, "%d,%d,%s\n", r.score, r.stage, r.name) < 0) return false;
    }
    // On disk before it replaces the old file.
    return !(Fails() || std::fflush(file) != 0) && !(Fails() || fsync(fileno(file)) != 0);
}

}  // namespace

void ReadSaveData(std::FILE* file) {
    char line[kLineBytes];
    for (int32_t& button : gGameInput.PadButtonConfig) {
        int32_t value;
        if (!ReadLine(file, line) || !ParseButtonLine(line, &value)) return;
        // Only the buttons the configuration can assign; anything else is the default.
        button = value >= 0 && value <= kMaxPadButton ? value : 0;
    }
    for (int32_t i = 0; i < kRankedGames; ++i) {
        if (!ReadLine(file, line) || !ParseRecordLine(line, &RankingTable[i])) return;
    }
}

void LoadSaveData() {
    std::FILE* file = std::fopen(kSaveFileName, "r");
    if (file == nullptr) return;
    ReadSaveData(file);
    std::fclose(file);
}

void WriteSaveData() {
    std::FILE* file = Fails() ? nullptr : std::fopen(kTemporaryName, "w");
    bool done = false;
    if (file != nullptr) {
        bool written = WriteContent(file);
        // A close that is made to fail still closes.
        bool closeFails = Fails();
        bool closed = std::fclose(file) == 0 && !closeFails;
        done = written && closed && !(Fails() || std::rename(kTemporaryName, kSaveFileName) != 0);
        if (!done) std::remove(kTemporaryName);
    }
    if (!done) AppendLogText("savedata.txt の書き込みに失敗しました\n");
}

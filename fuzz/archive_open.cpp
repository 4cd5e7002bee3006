// Fuzz target: opening an archive image from memory, walking its whole tree through the
// archive find and lookup, expanding every compressed file, and closing it, which must give
// the image back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/archive.h"
#include "core/archive_find.h"
#include "core/lz_expand.h"

namespace {

constexpr int kMaxDepth = 32;
// Names may lead back up the tree ("" or ".." as a stored name), so the walk by names gets a
// budget of entries per input instead of relying on the tree's shape.
constexpr int kEntryBudget = 2000;
int gBudget = 0;

void ReadFile(Archive* archive, const std::string& path) {
    const ArchiveFileEntry* entry = FindArchiveFileEntry(path.c_str(), archive);
    uint32_t position = 0;
    uint32_t size = 0;
    if (entry == nullptr || LocateArchiveEntry(archive, path.c_str(), &position, &size) != 0)
        return;
    const uint8_t* body = GetArchiveImage(archive) + position;
    uint32_t stored = GetArchiveStoredSize(archive, entry);
    if (!IsArchiveEntryCompressed(archive, entry)) {
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < stored; i++) sink = sink ^ body[i];
        return;
    }
    // Left uninitialised: only what the expansion writes is there to be read.
    if (size == 0 || size > (1u << 20)) return;
    std::unique_ptr<uint8_t[]> out(new uint8_t[size]);
    ExpandArchiveData(body, stored, out.get(), size);
}

void Walk(Archive* archive, const std::string& directory, int depth) {
    if (depth > kMaxDepth || directory.size() > 512) return;
    ArchiveFindState state;
    FileFindData found;
    if (FindFirstInArchive(archive, (directory + "*").c_str(), &state, &found) != 0) return;
    do {
        if (--gBudget < 0) return;
        std::string name = found.name;
        if (name == "." || name == "..") continue;
        if (found.isDirectory) {
            Walk(archive, directory + name + "\\", depth + 1);
        } else {
            ReadFile(archive, directory + name);
        }
    } while (FindNextInArchive(&state, &found) == 0);
    // Enter the directory by a walk and go back up to the root the other way.
    if (!directory.empty() && ChangeArchiveDir(archive, directory.c_str(), 1, nullptr) == 0) {
        while (ChangeArchiveDir(archive, "..", 1, nullptr) == 0) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    std::vector<uint8_t> image(data, data + size);
    Archive archive;
    ClearArchive(&archive);
    if (OpenArchiveFromImage(&archive, image.data(), static_cast<uint32_t>(size), nullptr) == 0) {
        gBudget = kEntryBudget;
        Walk(&archive, "", 0);
        CloseArchive(&archive);
    }
    if (size > 0 && std::memcmp(image.data(), data, size) != 0) __builtin_trap();
    return 0;
}

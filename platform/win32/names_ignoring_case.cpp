// Names found without regard to case through an index of each directory's entries by their
// folded names, so that a lookup costs the same in a folder of ten files as in one of a hundred
// thousand. An index is kept while its directory keeps its identity, modification time and
// change time. The modification time alone does not do: tar x, rsync -t, cp -p and touch -r put
// it back after changing the entries, while the change time, which no program can set, moves
// with every change, that putting back included. A time tells nothing of the changes made within
// its own step, though (file systems keep it in steps of a few milliseconds up to two seconds), so
// an index read soon after its directory last changed is trusted only as far as the disk
// confirms it: a name it holds is checked to exist still, and only a name it lacks has the
// directory read again.
#include "names_ignoring_case.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace {

// More than the coarsest step in which a file system keeps a directory's times.
constexpr int64_t kTimeStepBoundNs = 2'000'000'000;
constexpr size_t kMaxIndexes = 64;

// A directory's entries by folded name (the first entry in byte order for each), with what
// identifies the state of the directory they were read in.
struct DirectoryIndex {
    dev_t device;
    ino_t inode;
    timespec modified;
    timespec statusChanged;
    // Read when no later change could carry the same change time: the index then is the
    // directory.
    bool settled;
    uint64_t lastUse;
    std::unordered_map<std::string, std::string> names;
};

struct IndexState {
    std::mutex lock;
    std::unordered_map<std::string, DirectoryIndex> indexes;
    uint64_t uses = 0;
};

// Never destroyed: a loading thread may still look a name up while the process exits.
IndexState& gIndexState = *new IndexState;

// ASCII letters to lower case; the bytes of a multi-byte UTF-8 character are all above 0x7F.
std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

int64_t Nanoseconds(const timespec& time) {
    return int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

std::string Join(const std::string& directory, const std::string& name) {
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool ReadIndex(const std::string& directory, DirectoryIndex* index) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        auto [slot, added] = index->names.try_emplace(Folded(name), name);
        if (!added && name < slot->second) slot->second = std::move(name);
    }
    closedir(dir);
    return true;
}

enum class IndexAnswer { kFound, kAbsent, kUnsure, kNoIndex };

// What the kept index of the directory in state `info` says of the folded name: kUnsure with a
// candidate when the index may be stale and holds the name.
IndexAnswer AskKeptIndex(const std::string& directory, const struct stat& info,
                         const std::string& folded, std::string* candidate) {
    std::lock_guard guard(gIndexState.lock);
    auto kept = gIndexState.indexes.find(directory);
    if (kept == gIndexState.indexes.end()) return IndexAnswer::kNoIndex;
    DirectoryIndex& index = kept->second;
    if (index.device != info.st_dev || index.inode != info.st_ino ||
        Nanoseconds(index.modified) != Nanoseconds(info.st_mtim) ||
        Nanoseconds(index.statusChanged) != Nanoseconds(info.st_ctim)) {
        return IndexAnswer::kNoIndex;
    }
    index.lastUse = ++gIndexState.uses;
    auto entry = index.names.find(folded);
    if (entry == index.names.end()) {
        return index.settled ? IndexAnswer::kAbsent : IndexAnswer::kNoIndex;
    }
    *candidate = entry->second;
    return index.settled ? IndexAnswer::kFound : IndexAnswer::kUnsure;
}

// Keeps an index in place of the directory's last, or of the least recently used one when as
// many directories as are kept already have one.
void KeepIndex(const std::string& directory, DirectoryIndex index) {
    std::lock_guard guard(gIndexState.lock);
    auto& indexes = gIndexState.indexes;
    if (indexes.size() >= kMaxIndexes && indexes.find(directory) == indexes.end()) {
        auto oldest = indexes.begin();
        for (auto it = indexes.begin(); it != indexes.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        indexes.erase(oldest);
    }
    index.lastUse = ++gIndexState.uses;
    indexes[directory] = std::move(index);
}

}  // namespace

bool FindNameIgnoringCase(const std::string& directory, const std::string& name,
                          std::string* found) {
    // Taken before the directory's state, so that a change after it is known to come later.
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct stat info;
    if (stat(directory.c_str(), &info) != 0) return false;
    const std::string folded = Folded(name);
    std::string candidate;
    switch (AskKeptIndex(directory, info, folded, &candidate)) {
        case IndexAnswer::kFound:
            *found = std::move(candidate);
            return true;
        case IndexAnswer::kAbsent:
            return false;
        case IndexAnswer::kUnsure:
            if (Exists(Join(directory, candidate))) {
                *found = std::move(candidate);
                return true;
            }
            break;
        case IndexAnswer::kNoIndex:
            break;
    }
    DirectoryIndex index{info.st_dev, info.st_ino, info.st_mtim, info.st_ctim, false, 0, {}};
    if (!ReadIndex(directory, &index)) return false;
    index.settled = Nanoseconds(info.st_ctim) + kTimeStepBoundNs < Nanoseconds(now);
    auto entry = index.names.find(folded);
    bool any = entry != index.names.end();
    if (any) *found = entry->second;
    KeepIndex(directory, std::move(index));
    return any;
}

// The archive writer used by the tests, the fuzz seeds, the shader pack's generator and the
// pack command: the tree and its tables in memory, the bodies streamed one at a time.
#include "archive_writer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

namespace {

constexpr uint32_t kDirAttribute = 0x10;
constexpr uint32_t kPlain = 0xFFFFFFFF;
constexpr uint32_t kNoParent = 0xFFFFFFFF;

void PutU16(std::vector<uint8_t>& out, uint32_t offset, uint16_t v) {
    out[offset] = static_cast<uint8_t>(v);
    out[offset + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::vector<uint8_t>& out, uint32_t offset, uint32_t v) {
    for (int i = 0; i < 4; i++) out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutU64(std::vector<uint8_t>& out, uint32_t offset, uint64_t v) {
    for (int i = 0; i < 8; i++) out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsLead(uint8_t b, uint32_t codePage) {
    if (codePage == 949 || codePage == 950 || codePage == 936) return b >= 0x80;
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

struct Node {
    std::string name;
    bool directory = false;
    int input = -1;  // the input of a file (or of an explicitly listed directory)
    int parent = -1;
    std::vector<int> children;
    uint32_t entryOffset = 0;
    uint32_t dirOffset = 0;
    uint32_t firstChildOffset = 0;
    // A file's body, as it was written.
    uint32_t dataOffset = 0;
    uint32_t size = 0;
    uint32_t compressedSize = kPlain;
};

// The name record: padded upper-case name length in 4-byte units, its byte sum, the padded
// name, the name as written.
void AppendNameRecord(std::vector<uint8_t>& table, const std::string& name, uint32_t codePage) {
    const std::string upper = UpperArchiveName(name, codePage);
    uint32_t padded = (static_cast<uint32_t>(upper.size()) + 4) / 4 * 4;
    uint32_t sum = 0;
    for (char c : upper) sum += static_cast<uint8_t>(c);
    size_t start = table.size();
    table.resize(start + 4 + padded + name.size() + 1, 0);
    PutU16(table, static_cast<uint32_t>(start), static_cast<uint16_t>(padded / 4));
    PutU16(table, static_cast<uint32_t>(start + 2), static_cast<uint16_t>(sum));
    std::memcpy(table.data() + start + 4, upper.data(), upper.size());
    std::memcpy(table.data() + start + 4 + padded, name.data(), name.size());
}

void XorStream(uint8_t* data, size_t length, uint64_t keyPosition, const ArchiveKey& key) {
    for (size_t i = 0; i < length; i++) data[i] ^= key[(keyPosition + i) % 12];
}

// The key byte of a file byte: by file position below version 5; from version 5 the header
// and the table block each count from their own start (bodies are not patched there).
uint8_t KeyByteAt(const WrittenArchive& archive, uint32_t fileOffset) {
    bool inTables = archive.version == 5 && fileOffset >= archive.tableOffset;
    return archive.key[(inTables ? fileOffset - archive.tableOffset : fileOffset) % 12];
}

// The archive's bytes on their way to the sink, scrambled and gathered into large writes.
struct ArchiveOutput {
    static constexpr size_t kFlushBytes = 1 << 20;

    const ByteSink& sink;
    ArchiveKey key;
    std::vector<uint8_t> pending;  // the bytes from pendingStart on, not yet in the sink
    uint64_t pendingStart = 0;

    uint64_t End() const { return pendingStart + pending.size(); }

    // length bytes at offset (at most End()), scrambled from the key position given.
    bool Write(uint64_t offset, const uint8_t* bytes, size_t length, uint64_t keyPosition) {
        while (length > 0) {
            size_t piece;
            if (offset < pendingStart) {
                // A head rewritten after its bytes went out: a few bytes.
                piece = static_cast<size_t>(std::min<uint64_t>(length, pendingStart - offset));
                std::vector<uint8_t> scrambled(bytes, bytes + piece);
                XorStream(scrambled.data(), piece, keyPosition, key);
                if (!sink(offset, scrambled.data(), piece)) return false;
            } else {
                const size_t at = static_cast<size_t>(offset - pendingStart);
                piece = std::min(length, kFlushBytes - at);
                if (pending.size() < at + piece) pending.resize(at + piece);
                std::memcpy(pending.data() + at, bytes, piece);
                XorStream(pending.data() + at, piece, keyPosition, key);
                if (pending.size() >= kFlushBytes && !Flush()) return false;
            }
            offset += piece;
            bytes += piece;
            length -= piece;
            keyPosition += piece;
        }
        return true;
    }
    bool Flush() {
        const bool written = pending.empty() || sink(pendingStart, pending.data(), pending.size());
        pendingStart += pending.size();
        pending.clear();
        return written;
    }
    // The end moves back to offset: what follows is written anew over what was there.
    void Rewind(uint64_t offset) {
        if (offset >= pendingStart) {
            pending.resize(static_cast<size_t>(offset - pendingStart));
        } else {
            pending.clear();
            pendingStart = offset;
        }
    }
};

// The tree of the inputs' paths, directories made as paths name them; the root is node 0.
std::vector<Node> BuildTree(const std::vector<ArchiveInput>& inputs, uint32_t codePage) {
    std::vector<Node> nodes(1);
    nodes[0].directory = true;
    std::map<std::tuple<int, bool, std::string>, int> byName;
    for (size_t i = 0; i < inputs.size(); i++) {
        std::vector<std::string> parts = SplitArchivePath(inputs[i].path, codePage);
        const bool explicitDirectory = parts.back().empty();
        if (explicitDirectory) parts.pop_back();
        int current = 0;
        for (size_t k = 0; k < parts.size(); k++) {
            const bool last = k + 1 == parts.size();
            const bool wantDirectory = !last || explicitDirectory;
            auto [it, added] = byName.try_emplace({current, wantDirectory, parts[k]},
                                                  static_cast<int>(nodes.size()));
            if (added) {
                Node node;
                node.name = parts[k];
                node.directory = wantDirectory;
                node.parent = current;
                nodes.push_back(node);
                nodes[current].children.push_back(it->second);
            }
            if (last) nodes[it->second].input = static_cast<int>(i);
            current = it->second;
        }
    }
    return nodes;
}

// One file's body at the output's end, compressed when it is to be (and, where the options say
// so, only when that makes it smaller); its sizes go into node.
ArchiveWriteResult WriteBody(ArchiveOutput& output, const std::vector<uint8_t>& data, bool compress,
                             const ArchiveWriterOptions& options, LzScratch& scratch, Node& node) {
    const uint64_t start = output.End();
    const uint64_t size = data.size();
    // From version 5 a body is scrambled as a stream whose key position starts at its size.
    auto keyAt = [&](uint64_t offset) {
        return options.version < 5 ? offset : size + (offset - start);
    };
    node.size = static_cast<uint32_t>(size);
    if (compress && options.version >= 2 && size > 0) {
        ArchiveWriteResult failure = ArchiveWriteResult::kStopped;
        bool larger = false;
        const uint64_t encoded = EncodeLzTo(
            data.data(), data.size(), -1, scratch,
            [&](uint64_t offset, const uint8_t* bytes, size_t length) {
                if (options.plainUnlessSmaller && offset + length >= size) {
                    larger = true;
                    return false;
                }
                if (start + offset + length > kMaxArchiveBytes) {
                    failure = ArchiveWriteResult::kTooLarge;
                    return false;
                }
                return output.Write(start + offset, bytes, length, keyAt(start + offset));
            });
        if (encoded != 0) {
            node.compressedSize = static_cast<uint32_t>(encoded);
            return ArchiveWriteResult::kWritten;
        }
        if (!larger) return failure;
        output.Rewind(start);
    }
    if (start + size > kMaxArchiveBytes) return ArchiveWriteResult::kTooLarge;
    return output.Write(start, data.data(), data.size(), keyAt(start))
               ? ArchiveWriteResult::kWritten
               : ArchiveWriteResult::kStopped;
}

}  // namespace

std::vector<std::string> SplitArchivePath(const std::string& path, uint32_t codePage) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size(); i++) {
        uint8_t b = static_cast<uint8_t>(path[i]);
        if (IsLead(b, codePage) && i + 1 < path.size()) {
            parts.back() += path.substr(i, 2);
            i++;
        } else if (b == '\\' || b == '/') {
            parts.emplace_back();
        } else {
            parts.back() += path[i];
        }
    }
    return parts;
}

std::string UpperArchiveName(const std::string& name, uint32_t codePage) {
    std::string upper;
    for (size_t i = 0; i < name.size(); i++) {
        uint8_t b = static_cast<uint8_t>(name[i]);
        if (IsLead(b, codePage) && i + 1 < name.size()) {
            upper += name.substr(i, 2);
            i++;
        } else {
            upper += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
        }
    }
    return upper;
}

ArchiveKey KeyFor(const char* keyString) {
    // Stated here once more, apart from the reader's derivation, so that the reader's is tested.
    constexpr uint8_t kFill = 0x5A;
    size_t length = keyString == nullptr ? 0 : std::strlen(keyString);
    ArchiveKey key;
    for (size_t i = 0; i < key.size(); i++) {
        key[i] = length == 0 ? kFill : static_cast<uint8_t>(keyString[i % length]);
    }
    auto rotate = [](uint8_t b, int bits) {
        return static_cast<uint8_t>((b << bits) | (b >> (8 - bits)));
    };
    key[0] = static_cast<uint8_t>(~key[0]);
    key[1] = rotate(key[1], 4);
    key[2] ^= 0x8A;
    key[3] = rotate(key[3], 3);
    key[4] ^= 0x3C;
    key[5] = static_cast<uint8_t>(~key[5]);
    key[6] = rotate(key[6], 5);
    key[7] ^= 0xD1;
    key[8] = rotate(key[8], 4);
    key[9] = static_cast<uint8_t>(~key[9]);
    key[10] ^= 0x5E;
    key[11] = rotate(key[11], 3);
    return key;
}

ArchiveWriteResult WriteArchiveTo(const std::vector<ArchiveInput>& inputs,
                                  const ArchiveWriterOptions& options, const ByteSink& sink,
                                  WrittenArchive* layout) {
    const uint16_t version = options.version;
    std::vector<Node> nodes = BuildTree(inputs, options.codePage);

    WrittenArchive& out = *layout;
    out = WrittenArchive{};
    out.version = version;
    out.key = options.key;
    out.entryBytes = version >= 2 ? 44 : 40;
    out.entryOffsets.assign(inputs.size(), 0);
    out.bodyOffsets.assign(inputs.size(), 0);
    out.bodyLengths.assign(inputs.size(), 0);

    // Entries breadth first, each directory's children consecutive; the root's entry first.
    std::vector<int> order{0};
    std::vector<int> dirOrder{0};
    for (size_t q = 0; q < dirOrder.size(); q++) {
        for (int child : nodes[dirOrder[q]].children) {
            order.push_back(child);
            if (nodes[child].directory) dirOrder.push_back(child);
        }
    }
    // Entry offsets: the root, then each directory's children in directory order.
    uint32_t nextEntry = out.entryBytes;
    for (int dir : dirOrder) {
        nodes[dir].firstChildOffset = nextEntry;
        for (int child : nodes[dir].children) {
            nodes[child].entryOffset = nextEntry;
            nextEntry += out.entryBytes;
        }
    }
    for (size_t d = 0; d < dirOrder.size(); d++) nodes[dirOrder[d]].dirOffset = uint32_t(d) * 16;

    // The header's place, filled in when the tables' offsets are known; then the bodies in
    // entry order, each read when its turn comes.
    const uint32_t headerBytes = version >= 4 ? 28 : 24;
    std::vector<uint8_t> header(headerBytes, 0);
    ArchiveOutput output{sink, options.key, {}};
    if (!output.Write(0, header.data(), headerBytes, 0)) return ArchiveWriteResult::kStopped;
    LzScratch scratch;
    std::vector<uint8_t> loaded;
    for (int dir : dirOrder) {
        for (int child : nodes[dir].children) {
            Node& node = nodes[child];
            if (node.directory) continue;
            const ArchiveInput& input = inputs[node.input];
            const std::vector<uint8_t>* data = &input.data;
            if (input.read) {
                loaded.clear();
                if (!input.read(&loaded)) return ArchiveWriteResult::kStopped;
                data = &loaded;
            }
            if (data->size() > kMaxArchiveBytes) return ArchiveWriteResult::kTooLarge;
            node.dataOffset = static_cast<uint32_t>(output.End() - headerBytes);
            const ArchiveWriteResult result =
                WriteBody(output, *data, input.compress, options, scratch, node);
            if (result != ArchiveWriteResult::kWritten) return result;
            out.bodyOffsets[node.input] = node.dataOffset;
            out.bodyLengths[node.input] =
                static_cast<uint32_t>(output.End() - headerBytes - node.dataOffset);
        }
    }

    // The table block: names, then the file table, then the directory table.
    std::vector<uint8_t> tables;
    std::vector<uint32_t> nameOffset(nodes.size());
    for (int index : order) {
        nameOffset[index] = static_cast<uint32_t>(tables.size());
        AppendNameRecord(tables, nodes[index].name, options.codePage);
    }
    out.fileTableOffset = static_cast<uint32_t>(tables.size());
    out.dirTableOffset = out.fileTableOffset + nextEntry;
    tables.resize(out.dirTableOffset + dirOrder.size() * 16, 0);
    for (size_t n = 0; n < nodes.size(); n++) {
        const Node& node = nodes[n];
        uint32_t e = out.fileTableOffset + node.entryOffset;
        const ArchiveInput* input = node.input >= 0 ? &inputs[node.input] : nullptr;
        PutU32(tables, e, nameOffset[n]);
        PutU32(tables, e + 4, node.directory ? kDirAttribute : 0x20);
        PutU64(tables, e + 8, input ? input->creationTime : 0);
        PutU64(tables, e + 16, input ? input->lastWriteTime : 0);
        PutU64(tables, e + 24, input ? input->lastWriteTime : 0);
        PutU32(tables, e + 32, node.directory ? node.dirOffset : node.dataOffset);
        PutU32(tables, e + 36, node.directory ? 0 : node.size);
        if (version >= 2) PutU32(tables, e + 40, node.directory ? kPlain : node.compressedSize);
        if (node.input >= 0) out.entryOffsets[node.input] = node.entryOffset;
    }
    for (int dirIndex : dirOrder) {
        const Node& dir = nodes[dirIndex];
        uint32_t r = out.dirTableOffset + dir.dirOffset;
        PutU32(tables, r, dir.entryOffset);
        PutU32(tables, r + 4, dir.parent < 0 ? kNoParent : nodes[dir.parent].dirOffset);
        PutU32(tables, r + 8, static_cast<uint32_t>(dir.children.size()));
        PutU32(tables, r + 12, dir.children.empty() ? 0 : dir.firstChildOffset);
    }

    out.dataOffset = headerBytes;
    const uint64_t tableOffset = output.End();
    if (tableOffset + tables.size() > kMaxArchiveBytes) return ArchiveWriteResult::kTooLarge;
    out.tableOffset = static_cast<uint32_t>(tableOffset);
    out.totalBytes = tableOffset + tables.size();
    header[0] = 'O';
    header[1] = 'B';
    PutU16(header, 2, version);
    PutU32(header, 4, static_cast<uint32_t>(tables.size()));
    PutU32(header, 8, out.dataOffset);
    PutU32(header, 12, out.tableOffset);
    PutU32(header, 16, out.fileTableOffset);
    PutU32(header, 20, out.dirTableOffset);
    if (version >= 4) PutU32(header, 24, options.codePage);
    // Below version 5 the whole file is one scrambled stream; from 5 the tables are one alone.
    const bool written =
        output.Write(tableOffset, tables.data(), tables.size(), version < 5 ? tableOffset : 0) &&
        output.Write(0, header.data(), headerBytes, 0) && output.Flush();
    return written ? ArchiveWriteResult::kWritten : ArchiveWriteResult::kStopped;
}

WrittenArchive WriteArchive(const std::vector<ArchiveInput>& inputs,
                            const ArchiveWriterOptions& options) {
    WrittenArchive archive;
    std::vector<uint8_t> bytes;
    WriteArchiveTo(inputs, options, MemorySink(&bytes), &archive);
    archive.bytes = std::move(bytes);
    return archive;
}

void PatchArchiveTable(WrittenArchive& archive, uint32_t tableOffset, uint32_t value) {
    for (uint32_t i = 0; i < 4; i++) {
        PatchArchiveByte(archive, archive.tableOffset + tableOffset + i,
                         static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PatchArchiveByte(WrittenArchive& archive, uint32_t fileOffset, uint8_t value) {
    archive.bytes[fileOffset] = value ^ KeyByteAt(archive, fileOffset);
}

uint8_t PlainArchiveByte(const WrittenArchive& archive, uint32_t fileOffset) {
    return archive.bytes[fileOffset] ^ KeyByteAt(archive, fileOffset);
}

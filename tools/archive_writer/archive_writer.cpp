// The archive writer and LZ encoder used by the tests, the fuzz seeds, the shader pack's
// generator and the pack command.
#include "archive_writer.h"

#include <algorithm>
#include <cstring>
#include <map>

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
    std::vector<int> children;
    uint32_t entryOffset = 0;
    uint32_t dirOffset = 0;
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

WrittenArchive WriteArchive(const std::vector<ArchiveInput>& inputs,
                            const ArchiveWriterOptions& options) {
    const uint16_t version = options.version;
    const uint32_t codePage = options.codePage;
    std::vector<Node> nodes(1);
    nodes[0].directory = true;

    // The tree, directories made as paths name them.
    for (size_t i = 0; i < inputs.size(); i++) {
        std::vector<std::string> parts = SplitArchivePath(inputs[i].path, codePage);
        bool explicitDirectory = parts.back().empty();
        if (explicitDirectory) parts.pop_back();
        int current = 0;
        for (size_t k = 0; k < parts.size(); k++) {
            bool last = k + 1 == parts.size();
            bool wantDirectory = !last || explicitDirectory;
            int found = -1;
            for (int child : nodes[current].children) {
                if (nodes[child].name == parts[k] && nodes[child].directory == wantDirectory) {
                    found = child;
                }
            }
            if (found < 0) {
                found = static_cast<int>(nodes.size());
                Node node;
                node.name = parts[k];
                node.directory = wantDirectory;
                nodes.push_back(node);
                nodes[current].children.push_back(found);
            }
            if (last) nodes[found].input = static_cast<int>(i);
            current = found;
        }
    }

    WrittenArchive out;
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
    uint32_t nextEntry = 0;
    nodes[0].entryOffset = nextEntry;
    nextEntry += out.entryBytes;
    std::map<int, uint32_t> firstChild;
    for (int dir : dirOrder) {
        firstChild[dir] = nextEntry;
        for (int child : nodes[dir].children) {
            nodes[child].entryOffset = nextEntry;
            nextEntry += out.entryBytes;
        }
    }
    for (size_t d = 0; d < dirOrder.size(); d++) nodes[dirOrder[d]].dirOffset = uint32_t(d) * 16;

    // Bodies in entry order.
    std::vector<uint8_t> data;
    std::vector<uint32_t> compressedSize(nodes.size(), kPlain);
    std::vector<uint32_t> dataOffset(nodes.size(), 0);
    for (int dir : dirOrder) {
        for (int child : nodes[dir].children) {
            const Node& node = nodes[child];
            if (node.directory) continue;
            const ArchiveInput& input = inputs[node.input];
            std::vector<uint8_t> body = input.data;
            if (input.compress && version >= 2 && !input.data.empty()) {
                body = EncodeLz(input.data);
                compressedSize[child] = static_cast<uint32_t>(body.size());
            }
            dataOffset[child] = static_cast<uint32_t>(data.size());
            out.bodyOffsets[node.input] = dataOffset[child];
            out.bodyLengths[node.input] = static_cast<uint32_t>(body.size());
            data.insert(data.end(), body.begin(), body.end());
        }
    }

    // The table block: names, then the file table, then the directory table.
    std::vector<uint8_t> names;
    std::vector<uint32_t> nameOffset(nodes.size());
    for (int index : order) {
        nameOffset[index] = static_cast<uint32_t>(names.size());
        AppendNameRecord(names, nodes[index].name, codePage);
    }
    out.fileTableOffset = static_cast<uint32_t>(names.size());
    out.dirTableOffset = out.fileTableOffset + nextEntry;
    std::vector<uint8_t> tables = names;
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
        PutU32(tables, e + 32, node.directory ? node.dirOffset : dataOffset[n]);
        PutU32(tables, e + 36, node.directory || !input ? 0 : uint32_t(input->data.size()));
        if (version >= 2) PutU32(tables, e + 40, node.directory ? kPlain : compressedSize[n]);
        if (node.input >= 0) out.entryOffsets[node.input] = node.entryOffset;
    }
    for (size_t d = 0; d < dirOrder.size(); d++) {
        const Node& dir = nodes[dirOrder[d]];
        uint32_t r = out.dirTableOffset + dir.dirOffset;
        uint32_t parent = kNoParent;
        for (size_t p = 0; p < nodes.size(); p++) {
            const auto& c = nodes[p].children;
            if (std::find(c.begin(), c.end(), dirOrder[d]) != c.end()) parent = nodes[p].dirOffset;
        }
        PutU32(tables, r, dir.entryOffset);
        PutU32(tables, r + 4, parent);
        PutU32(tables, r + 8, static_cast<uint32_t>(dir.children.size()));
        PutU32(tables, r + 12, dir.children.empty() ? 0 : firstChild[dirOrder[d]]);
    }

    // The file: header, data area, table block.
    uint32_t headerBytes = version >= 4 ? 28 : 24;
    out.dataOffset = headerBytes;
    out.tableOffset = headerBytes + static_cast<uint32_t>(data.size());
    std::vector<uint8_t>& bytes = out.bytes;
    bytes.assign(headerBytes, 0);
    bytes[0] = 'O';
    bytes[1] = 'B';
    PutU16(bytes, 2, version);
    PutU32(bytes, 4, static_cast<uint32_t>(tables.size()));
    PutU32(bytes, 8, out.dataOffset);
    PutU32(bytes, 12, out.tableOffset);
    PutU32(bytes, 16, out.fileTableOffset);
    PutU32(bytes, 20, out.dirTableOffset);
    if (version >= 4) PutU32(bytes, 24, codePage);
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), tables.begin(), tables.end());

    if (version < 5) {
        XorStream(bytes.data(), bytes.size(), 0, out.key);
    } else {
        XorStream(bytes.data(), headerBytes, 0, out.key);
        XorStream(bytes.data() + out.tableOffset, tables.size(), 0, out.key);
        for (size_t i = 0; i < inputs.size(); i++) {
            if (out.bodyLengths[i] == 0) continue;
            XorStream(bytes.data() + out.dataOffset + out.bodyOffsets[i], out.bodyLengths[i],
                      inputs[i].data.size(), out.key);
        }
    }
    return out;
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

std::vector<uint8_t> EncodeLz(const std::vector<uint8_t>& data, int escape) {
    constexpr uint32_t kMinMatch = 4;
    constexpr uint32_t kMaxMatch = 8195;
    constexpr uint32_t kMaxDistance = 1u << 24;
    constexpr int kChainLimit = 64;
    constexpr uint32_t kHashBits = 16;

    if (escape < 0) {
        std::array<size_t, 256> counts{};
        for (uint8_t b : data) counts[b]++;
        escape = static_cast<int>(std::min_element(counts.begin(), counts.end()) - counts.begin());
    }
    const uint8_t esc = static_cast<uint8_t>(escape);
    std::vector<uint8_t> out(9, 0);
    const size_t n = data.size();
    std::vector<int64_t> head(size_t{1} << kHashBits, -1);
    std::vector<int64_t> previous(n, -1);
    auto hashAt = [&](size_t i) {
        uint32_t v;
        std::memcpy(&v, data.data() + i, 4);
        return (v * 2654435761u) >> (32 - kHashBits);
    };
    auto insert = [&](size_t i) {
        if (i + kMinMatch > n) return;
        uint32_t h = hashAt(i);
        previous[i] = head[h];
        head[h] = static_cast<int64_t>(i);
    };

    size_t i = 0;
    while (i < n) {
        uint32_t bestLength = 0;
        size_t bestDistance = 0;
        if (i + kMinMatch <= n) {
            int64_t candidate = head[hashAt(i)];
            for (int chain = 0; candidate >= 0 && chain < kChainLimit; chain++) {
                size_t distance = i - static_cast<size_t>(candidate);
                if (distance > kMaxDistance) break;
                uint32_t length = 0;
                size_t limit = std::min<size_t>(kMaxMatch, n - i);
                while (length < limit && data[candidate + length] == data[i + length]) length++;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                }
                candidate = previous[candidate];
            }
        }
        if (bestLength >= kMinMatch) {
            uint32_t offset = static_cast<uint32_t>(bestDistance - 1);
            uint32_t width = offset < 0x100 ? 0 : offset < 0x10000 ? 1 : 2;
            uint32_t extra = bestLength - kMinMatch;
            uint32_t code = (extra & 31) << 3 | width | (extra >= 32 ? 4 : 0);
            out.push_back(esc);
            out.push_back(static_cast<uint8_t>(code >= esc ? code + 1 : code));
            if (extra >= 32) out.push_back(static_cast<uint8_t>(extra >> 5));
            for (uint32_t b = 0; b <= width; b++)
                out.push_back(static_cast<uint8_t>(offset >> (8 * b)));
            for (uint32_t k = 0; k < bestLength; k++) insert(i + k);
            i += bestLength;
        } else {
            out.push_back(data[i]);
            if (data[i] == esc) out.push_back(esc);
            insert(i);
            i++;
        }
    }
    PutU32(out, 0, static_cast<uint32_t>(n));
    PutU32(out, 4, static_cast<uint32_t>(out.size()));
    out[8] = esc;
    return out;
}

// The stream sets: the file set jumps through the file front calls, the memory set reads a
// block of memory with the same element semantics (a trailing partial element counts as one).
#include "core/streams.h"

#include <cstring>

#include "core/tracked_memory.h"

namespace {

MemoryStream* AsMemoryStream(StreamValue value) {
    return reinterpret_cast<MemoryStream*>(value);
}

int64_t TellMemoryStream(StreamValue value) {
    return AsMemoryStream(value)->position;
}

int SeekMemoryStream(StreamValue value, int64_t offset, int32_t origin) {
    MemoryStream* stream = AsMemoryStream(value);
    int64_t position = ClampedSeekPosition(offset, origin, stream->position, stream->size);
    if (position < 0) return -1;
    stream->position = static_cast<uint32_t>(position);
    stream->eof = 0;
    return 0;
}

size_t ReadMemoryStream(void* buffer, size_t elementSize, size_t count, StreamValue value) {
    if (ByteTotalOverflows(elementSize, count)) return 0;
    MemoryStream* stream = AsMemoryStream(value);
    if (stream->position >= stream->size) {
        stream->eof = 1;
        return 0;
    }
    if (elementSize == 0) return 0;
    size_t remaining = stream->size - stream->position;
    size_t copied;
    if (count > remaining / elementSize) {
        count = remaining / elementSize;
        if (count == 0) {
            // The trailing partial element is copied and reported as one element.
            copied = remaining;
            count = 1;
        } else {
            copied = count * elementSize;
        }
    } else {
        copied = count * elementSize;
    }
    std::memcpy(buffer, stream->data + stream->position, copied);
    stream->position += static_cast<uint32_t>(copied);
    stream->eof = 0;
    return count;
}

int EofMemoryStream(StreamValue value) {
    return AsMemoryStream(value)->eof;
}

int IsMemoryStreamIdle(StreamValue) {
    return 1;
}

int CloseMemoryStreamValue(StreamValue value) {
    return CloseMemoryStream(AsMemoryStream(value));
}

const StreamFunctions kFileStreamFunctions = {TellDataFile, SeekDataFile,   ReadDataFile,
                                              EofDataFile,  IsDataFileIdle, CloseDataFile};
const StreamFunctions kMemoryStreamFunctions = {TellMemoryStream,   SeekMemoryStream,
                                                ReadMemoryStream,   EofMemoryStream,
                                                IsMemoryStreamIdle, CloseMemoryStreamValue};

}  // namespace

const StreamFunctions* GetFileStreamFunctions() {
    return &kFileStreamFunctions;
}

const StreamFunctions* GetMemoryStreamFunctions() {
    return &kMemoryStreamFunctions;
}

MemoryStream* OpenMemoryStream(const void* data, uint32_t size) {
    auto* stream =
        static_cast<MemoryStream*>(AllocMemory(sizeof(MemoryStream), __FILE__, __LINE__));
    if (stream == nullptr) return nullptr;
    *stream = MemoryStream{static_cast<const uint8_t*>(data), size, 0, 0};
    return stream;
}

int CloseMemoryStream(MemoryStream* stream) {
    FreeMemory(stream);
    return 0;
}

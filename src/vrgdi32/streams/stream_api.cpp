// The exported stream operations: opening the three kinds of input, and reading, seeking
// and closing through validated handles.
#include <new>

#include "handle_table.h"
#include "streams/file_stream.h"
#include "streams/memory_stream.h"
#include "streams/read_failure.h"
#include "streams/sequential_stream.h"
#include "system/file_descriptor.h"
#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {
namespace {

constinit HandleTable<Stream> g_streams;

std::unique_ptr<Stream> OpenFileStream(const char* path) {
    bool regular = false;
    int64_t size = 0;
    const int fd = sys::OpenForReading(path, &regular, &size);
    if (fd < 0) return nullptr;
    if (regular) return FileStream::Create(fd, size);
    return PipeStream::Create(fd);
}

std::unique_ptr<Stream> OpenMemoryStream(const StreamSource& source) {
    const auto* blockAddress = reinterpret_cast<const uint8_t* const*>(source.source);
    const uint8_t* block = blockAddress == nullptr ? nullptr : *blockAddress;
    if (block == nullptr && source.memorySize != 0) return nullptr;
    return std::unique_ptr<Stream>(new (std::nothrow) MemoryStream(block, source.memorySize));
}

std::unique_ptr<Stream> OpenStream(const char* path, const StreamSource* source) {
    if (source != nullptr && source->routine != 0) {
        return RoutineStream::Create(reinterpret_cast<VrReadRoutine>(source->routine),
                                     source->source);
    }
    if (source != nullptr) return OpenMemoryStream(*source);
    if (path == nullptr || path[0] == '\0') return nullptr;
    return OpenFileStream(path);
}

}  // namespace
}  // namespace vrgdi32

using vrgdi32::FromHandle;
using vrgdi32::g_streams;

extern "C" {

VRGDI32_API StreamHandle StreamOpen(const char* path, const StreamSource* source,
                                    int32_t /*reserved*/) {
    vrgdi32::ClearReadFailure();
    try {
        std::unique_ptr<vrgdi32::Stream> stream = vrgdi32::OpenStream(path, source);
        if (stream == nullptr) return nullptr;
        return vrgdi32::ToHandle<StreamHandle>(g_streams.Insert(std::move(stream)));
    } catch (...) {
        return nullptr;
    }
}

VRGDI32_API int32_t StreamRead(StreamHandle stream, void* buffer, int32_t count) {
    vrgdi32::Stream* s = g_streams.Find(FromHandle(stream));
    if (s == nullptr || buffer == nullptr) return 0;
    return s->Read(static_cast<uint8_t*>(buffer), count);
}

VRGDI32_API int32_t StreamSeek(StreamHandle stream, int32_t offset, int32_t origin) {
    vrgdi32::Stream* s = g_streams.Find(FromHandle(stream));
    if (s == nullptr) return -1;
    return s->Seek(offset, origin);
}

VRGDI32_API void StreamClose(StreamHandle stream) {
    // Destroying the stream closes its file; the host's routine is never called again.
    std::unique_ptr<vrgdi32::Stream> s = g_streams.Remove(FromHandle(stream));
}

}  // extern "C"

// The metafile's byte sinks (see byte_sink.h).
#include "writer/byte_sink.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "system/file_descriptor.h"

#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

// Big enough that a write costs little next to the bytes it carries.
constexpr std::size_t kFileBufferBytes = std::size_t{1} << 20;

}  // namespace

MemorySink::~MemorySink() {
    std::free(data_);
}

int16_t MemorySink::Reserve(std::size_t total) {
    if (total <= capacity_) return 0;
    void* bigger = std::realloc(data_, total);
    if (bigger == nullptr) return kVrErrMemory;
    data_ = static_cast<uint8_t*>(bigger);
    capacity_ = total;
    return 0;
}

int16_t MemorySink::Write(const void* bytes, std::size_t count) {
    if (count > capacity_ - size_) {
        // Beyond the reservation: grow by half again, so appends stay linear.
        const std::size_t needed = size_ + count;
        if (const int16_t code = Reserve(needed + needed / 2)) return code;
    }
    if (count != 0) std::memcpy(data_ + size_, bytes, count);
    size_ += count;
    return 0;
}

int16_t MemorySink::Place(std::size_t offset, const void* bytes, std::size_t count) {
    if (const int16_t code = Reserve(offset + count)) return code;
    if (count != 0) std::memcpy(data_ + offset, bytes, count);
    size_ = std::max(size_, offset + count);
    return 0;
}

uint8_t* MemorySink::Release() {
    uint8_t* block = data_;
    // Giving back the unused reservation moves nothing: the block only shrinks.
    if (block != nullptr && size_ != 0 && size_ < capacity_) {
        if (void* shrunk = std::realloc(block, size_)) block = static_cast<uint8_t*>(shrunk);
    }
    data_ = nullptr;
    size_ = capacity_ = 0;
    return block;
}

int16_t FileSink::Reserve(std::size_t total) {
    if (buffer_.data() != nullptr) return 0;
    if (!buffer_.Allocate(std::min(total, kFileBufferBytes))) return kVrErrMemory;
    return 0;
}

int16_t FileSink::WriteFully(std::size_t offset, const uint8_t* bytes, std::size_t count) {
    while (count != 0) {
        bool diskFull = false;
        const int64_t wrote =
            sys::WriteAt(fd_, bytes, count, static_cast<int64_t>(offset), &diskFull);
        if (wrote > 0) {
            bytes += wrote;
            offset += static_cast<std::size_t>(wrote);
            count -= static_cast<std::size_t>(wrote);
            continue;
        }
        if (diskFull) detail_ = kVrErrDetailDiskFull;
        return kVrErrWrite;
    }
    return 0;
}

int16_t FileSink::Drain() {
    const std::size_t count = buffered_;
    buffered_ = 0;
    return WriteFully(size_ - count, buffer_.data(), count);
}

int16_t FileSink::Write(const void* bytes, std::size_t count) {
    const auto* from = static_cast<const uint8_t*>(bytes);
    if (const int16_t code = Reserve(kFileBufferBytes)) return code;
    const std::size_t room = buffer_.capacity();
    if (count >= room) {
        // Too big to gather: what waits goes first, then the bytes straight from the caller.
        if (const int16_t code = Drain()) return code;
        size_ += count;
        return WriteFully(size_ - count, from, count);
    }
    if (count > room - buffered_) {
        if (const int16_t code = Drain()) return code;
    }
    std::memcpy(buffer_.data() + buffered_, from, count);
    buffered_ += count;
    size_ += count;
    return 0;
}

int16_t FileSink::Place(std::size_t offset, const void* bytes, std::size_t count) {
    // What waits in the buffer goes first, so that the file's end stays where appends go.
    if (const int16_t code = Drain()) return code;
    size_ = std::max(size_, offset + count);
    return WriteFully(offset, static_cast<const uint8_t*>(bytes), count);
}

int16_t FileSink::Flush() {
    if (const int16_t code = Drain()) return code;
    if (!sys::SeekTo(fd_, static_cast<int64_t>(size_))) return kVrErrWrite;
    return 0;
}

}  // namespace vrgdi32

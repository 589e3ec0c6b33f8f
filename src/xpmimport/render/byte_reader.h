// Little-endian fields read from a byte span at a checked offset: metafile records and DIBs
// come from outside and may be cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace xpmimport {

// True when [offset, offset + length) lies inside bytes (no overflow).
[[nodiscard]] inline bool Holds(std::span<const uint8_t> bytes, uint64_t offset, uint64_t length) {
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

// Callers check Holds first; these read without checking.
[[nodiscard]] inline uint16_t U16At(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
[[nodiscard]] inline int16_t I16At(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<int16_t>(U16At(bytes, offset));
}
[[nodiscard]] inline uint32_t U32At(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}
[[nodiscard]] inline int32_t I32At(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<int32_t>(U32At(bytes, offset));
}
[[nodiscard]] inline float F32At(std::span<const uint8_t> bytes, size_t offset) {
    uint32_t raw = U32At(bytes, offset);
    float value;
    static_assert(sizeof value == sizeof raw);
    __builtin_memcpy(&value, &raw, sizeof value);
    return value;
}

}  // namespace xpmimport

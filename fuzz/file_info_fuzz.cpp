// Fuzz target: file information of arbitrary bytes through the host's read routine, with the
// record's declared size taken from the first byte.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "xpmfilter/xpmfilter.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int32_t ReadChunk(uint64_t userData, void* buffer, int32_t count) {
    auto* reader = reinterpret_cast<Reader*>(userData);
    if (buffer == nullptr) return static_cast<int32_t>(reader->size);
    size_t n = reader->size - reader->position;
    if (n > static_cast<size_t>(count)) n = static_cast<size_t>(count);
    // Deliver in uneven chunks so the result cannot depend on how reads are sliced.
    if (n > 7) n = 1 + reader->position % 7;
    std::memcpy(buffer, reader->data + reader->position, n);
    reader->position += n;
    return static_cast<int32_t>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xpmfuzz::EnsureModuleReady();
    if (size == 0) return 0;
    unsigned char record[160];
    std::memset(record, 0xAB, sizeof record);
    int32_t declared = static_cast<int8_t>(data[0]);  // -128..127, also sizes beyond 64
    std::memcpy(record, &declared, sizeof declared);
    Reader reader{data + 1, size - 1, 0};
    int32_t result = GetFileInfo("", reinterpret_cast<FileInfoRecord*>(record),
                                 reinterpret_cast<uint64_t>(&reader), ReadChunk);
    if (result != 0 && result != 17922 && result != 17923) __builtin_trap();
    // Nothing may be written at or past the declared size (a size above 64 is cleared up to
    // itself before it is refused).
    size_t end = declared < 4 ? 4 : static_cast<size_t>(declared);
    for (size_t i = end; i < sizeof record; ++i)
        if (record[i] != 0xAB) __builtin_trap();
    xpmfuzz::CheckNothingLeft();
    return 0;
}

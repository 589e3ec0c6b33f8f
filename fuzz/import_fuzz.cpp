// Fuzz target: one whole import of arbitrary bytes, handed to ImportGR as a block of global
// memory, through the real graphics library. Anything but a clean result or a result code
// (a crash, a hang, a leak, a picture left behind after a failure) is a bug.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "xpmfilter/xpmfilter.h"

namespace {

// True when the values line declares tables beyond a few MiB. Such inputs only test the
// allocator (and make a sanitizer shadow huge zeroed blocks), so the target skips them and
// runs at libFuzzer's default memory limit; the product's own limits are tested elsewhere.
bool DeclaresHugeTables(const uint8_t* data, size_t size) {
    const void* quote = size == 0 ? nullptr : std::memchr(data, '"', size);
    if (quote == nullptr) return false;
    const size_t start = static_cast<const uint8_t*>(quote) - data + 1;
    char line[96] = {};
    std::memcpy(line, data + start, std::min(sizeof line - 1, size - start));
    long width = 0, height = 0, colours = 0, cpp = 0;  // only the table sizes matter
    if (std::sscanf(line, "%ld %ld %ld %ld", &width, &height, &colours, &cpp) != 4) return false;
    constexpr long kMaxTableBytes = 4L << 20;
    return colours > kMaxTableBytes / 64 || (colours > 0 && cpp > kMaxTableBytes / 64 / colours);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xpmfuzz::EnsureModuleReady();
    if (DeclaresHugeTables(data, size)) return 0;
    HGLOBAL memory = GlobalAlloc(GHND, size);
    if (memory == nullptr && size != 0) return 0;
    if (size != 0) {
        std::memcpy(GlobalLock(memory), data, size);
        GlobalUnlock(memory);
    }
    SourceSpec* source = static_cast<SourceSpec*>(std::calloc(1, sizeof(SourceSpec)));
    source->memory = memory;
    PictureResult result{};
    uint32_t code = ImportGR(nullptr, source, &result, nullptr);
    if (code != 0 && result.picture != nullptr) std::abort();  // a picture with a failure
    if (result.picture != nullptr) {
        if (GetObjectType(result.picture) == OBJ_ENHMETAFILE) DeleteEnhMetaFile(result.picture);
        else DeleteMetaFile(result.picture);
    }
    std::free(source);
    GlobalFree(memory);
    xpmfuzz::CheckNothingLeft();
    return 0;
}

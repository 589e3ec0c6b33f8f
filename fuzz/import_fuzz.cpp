// Fuzz target: one whole import of arbitrary bytes, handed to ImportGR as a block of global
// memory, through the real graphics library. Anything but a clean result or a result code
// (a crash, a hang, a leak, a picture left behind after a failure) is a bug.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "xpmfilter/xpmfilter.h"

namespace {

// True when the values line declares more colours than a few MiB of tables hold. Such inputs
// only test the allocator (and make a sanitizer shadow huge zeroed blocks), so the target
// skips them and runs at libFuzzer's default memory limit. Codes are at most 40 characters,
// so the colour count alone bounds the tables. The third word is read as the filter reads
// it: words end at tab, line feed, return or space and keep 39 characters; the number is
// held at the 64-bit limits, then cut to 32 bits ("-2147483649" declares 2147483647).
bool DeclaresHugeTables(const uint8_t* data, size_t size) {
    const uint8_t* at = std::find(data, data + size, '"');
    std::string words[3];
    for (int word = 0; at != data + size && ++at != data + size && *at != '"' && word < 3;) {
        if (*at != '\t' && *at != '\n' && *at != '\r' && *at != ' ')
            words[word] += char(*at);
        else if (!words[word].empty())
            ++word;
    }
    const std::string count = words[2].substr(0, 39);
    const auto colours = static_cast<uint32_t>(std::strtoll(count.c_str(), nullptr, 10));
    return static_cast<int32_t>(colours) > (4 << 20) / 64;
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
        if (GetObjectType(result.picture) == OBJ_ENHMETAFILE)
            DeleteEnhMetaFile(result.picture);
        else
            DeleteMetaFile(result.picture);
    }
    std::free(source);
    GlobalFree(memory);
    xpmfuzz::CheckNothingLeft();
    return 0;
}

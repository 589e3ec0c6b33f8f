// Fuzz target: one whole import of arbitrary bytes, handed to ImportGR as a block of global
// memory, through the real graphics library. Anything but a clean result or a result code
// (a crash, a hang, a leak, a picture left behind after a failure) is a bug.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "xpmfilter/xpmfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xpmfuzz::EnsureModuleReady();
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

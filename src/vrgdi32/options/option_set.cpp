// Host option sets: a movable global memory block holding the stored options block and
// the small options, exchanged through numbered escape codes.
#include <cstring>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kOptionSetMagic = 0x534F5256;  // "VROS"
constexpr uint32_t kSavedOptionsBytes = 56;

struct OptionSetBlock {
    uint32_t magic;
    uint32_t reserved;
    uint8_t savedOptions[kSavedOptionsBytes];
    uint16_t option3;
    uint8_t option40;
    uint8_t pad[5];
};
static_assert(sizeof(OptionSetBlock) == 72);
static_assert(offsetof(OptionSetBlock, savedOptions) == 8);
static_assert(offsetof(OptionSetBlock, option3) == 64);

constexpr int32_t kOk = 0;
constexpr int32_t kRefused = -1;

// What each code moves: its size, and whether it reads `in` or writes `out`.
struct CodeShape {
    uint32_t code;
    uint32_t size;
    bool readsIn;
};
constexpr CodeShape kCodes[] = {
    {kVrOptionSet3, 2, true},
    {kVrOptionImportRefused, 2, false},
    {kVrOptionQuery26, 4, false},
    {kVrOptionSet40, 1, true},
    {kVrOptionStoreOptions, kSavedOptionsBytes, true},
    {kVrOptionLoadOptions, kSavedOptionsBytes, false},
};

const CodeShape* FindCode(uint32_t code) {
    for (const CodeShape& shape : kCodes) {
        if (shape.code == code) return &shape;
    }
    return nullptr;
}

void Apply(OptionSetBlock& block, uint32_t code, const void* in, void* out) {
    switch (code) {
        case kVrOptionSet3:
            std::memcpy(&block.option3, in, sizeof block.option3);
            break;
        case kVrOptionImportRefused: {
            const uint16_t allowed = 0;  // imports are never refused
            std::memcpy(out, &allowed, sizeof allowed);
            break;
        }
        case kVrOptionQuery26: {
            const uint32_t answer = 0;
            std::memcpy(out, &answer, sizeof answer);
            break;
        }
        case kVrOptionSet40:
            std::memcpy(&block.option40, in, sizeof block.option40);
            break;
        case kVrOptionStoreOptions:
            std::memcpy(block.savedOptions, in, kSavedOptionsBytes);
            break;
        case kVrOptionLoadOptions:
            std::memcpy(out, block.savedOptions, kSavedOptionsBytes);
            break;
        default:
            break;
    }
}

}  // namespace
}  // namespace vrgdi32

extern "C" {

VRGDI32_API OptionSetHandle OptionSetCreate(int32_t, int32_t, int32_t, int32_t) {
    using vrgdi32::OptionSetBlock;
    HGLOBAL set = GlobalAlloc(GHND, sizeof(OptionSetBlock));
    if (set == nullptr) return nullptr;
    auto* block = static_cast<OptionSetBlock*>(GlobalLock(set));
    if (block == nullptr) {
        GlobalFree(set);
        return nullptr;
    }
    block->magic = vrgdi32::kOptionSetMagic;
    GlobalUnlock(set);
    return set;
}

VRGDI32_API int32_t OptionSetEscape(OptionSetHandle set, uint32_t code, uint32_t size,
                                    const void* in, void* out, uint32_t /*flag*/) {
    using namespace vrgdi32;
    const CodeShape* shape = FindCode(code);
    if (shape == nullptr || size != shape->size) return kRefused;
    if (shape->readsIn ? in == nullptr : out == nullptr) return kRefused;
    if (set == nullptr || GlobalSize(set) < sizeof(OptionSetBlock)) return kRefused;
    auto* block = static_cast<OptionSetBlock*>(GlobalLock(set));
    if (block == nullptr) return kRefused;
    int32_t result = kRefused;
    if (block->magic == kOptionSetMagic) {
        Apply(*block, code, in, out);
        result = kOk;
    }
    GlobalUnlock(set);
    return result;
}

}  // extern "C"

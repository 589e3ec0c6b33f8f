// The exported setup calls: EditSetup (the preferences' edit routine, which does nothing),
// DestroySetup, and EscapeSetup, which changes options in a setup record or in a host's
// option set.
#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "filter/setup_record.h"
#include "output/graphics_library.h"
#include "resources/module_instance.h"
#include "filter/option_exchange.h"
#include "resources/resource_ids.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {
namespace {

constexpr uint32_t kColorModeCount = 3;  // 0, 1 or 2
constexpr int32_t kPointerSize = 8;

// True when the locked block is a setup record. A block too small to hold a whole record is
// never taken for one, whatever it begins with, so nothing is read past its end.
bool IsSetupRecord(HGLOBAL handle, const void* block) {
    if (GlobalSize(handle) < sizeof(SetupRecord)) return false;
    uint32_t magic = 0;
    std::memcpy(&magic, block, sizeof magic);
    return magic == kSetupMagic;
}

// Writes the colour mode under "Color Mode" in the record's own profile section. A record
// without a profile file has nowhere to write it.
void WriteColorModeToProfile(const SetupRecord& setup, uint32_t value) {
    if (setup.profileSource.profilePath[0] == '\0') return;
    char key[kPathChars] = {};
    if (LoadStringA(ModuleInstance(), kStrColorModeKey, key, sizeof key) <= 0) return;
    char text[16] = {};
    wsprintfA(text, "%d", static_cast<int>(value));
    WritePrivateProfileStringA(setup.profileSource.profileSection, key, text,
                               setup.profileSource.profilePath);
}

// Acts on one escape code with `options` as the working block. Returns the result of a
// passed-on call, else 0.
int32_t ActOnEscape(HGLOBAL handle, SetupRecord* setup, SavedOptions& options, uint32_t code,
                    int32_t size, void* data, void* extra, uint32_t flag) {
    switch (code) {
        case kXpmEscapeColorMode: {
            if (data == nullptr) return kXpmOk;
            uint32_t value = 0;
            std::memcpy(&value, data, sizeof value);
            if (value < kColorModeCount) options.colorMode = value;
            // An out-of-range value still reaches the profile: only the record refuses it.
            if (flag != 0 && setup != nullptr) WriteColorModeToProfile(*setup, value);
            return kXpmOk;
        }
        case kXpmEscapeReadRoutine:
            if (size == kPointerSize)
                options.ioRoutine = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(data));
            return kXpmOk;
        case kXpmEscapeByteOption:
            if (size == kPointerSize && data != nullptr)
                options.byteOption = *static_cast<const uint8_t*>(data);
            return kXpmOk;
        default:
            return Gdi().OptionSetEscape(handle, code, static_cast<uint32_t>(size), data, extra,
                                         flag);
    }
}

}  // namespace
}  // namespace xpmfilter

using namespace xpmfilter;

extern "C" XPMFILTER_API int32_t EditSetup(uint64_t, uint64_t, uint64_t) {
    return kXpmOk;
}

extern "C" XPMFILTER_API int32_t DestroySetup(HGLOBAL setup) {
    if (GlobalLock(setup) == nullptr) return kXpmSetupNotLocked;
    GlobalUnlock(setup);
    GlobalFree(setup);
    return kXpmOk;
}

extern "C" XPMFILTER_API int32_t EscapeSetup(HGLOBAL handle, uint32_t code, int32_t size,
                                             void* data, void* extra, uint32_t flag) {
    if (handle == nullptr) return kXpmOk;
    void* block = GlobalLock(handle);
    if (block == nullptr) return kXpmSetupNotLocked;

    if (IsSetupRecord(handle, block)) {
        auto* setup = static_cast<SetupRecord*>(block);
        int32_t result = ActOnEscape(handle, setup, setup->options, code, size, data, extra, flag);
        GlobalUnlock(handle);
        return result;
    }

    // An option set: work on a copy of its stored block and store the copy back afterwards,
    // also after a passed-on code. A failed load leaves the option set as it was.
    SavedOptions options{};
    const int32_t loaded = LoadOptions(handle, options);
    if (loaded != kXpmOk) {
        GlobalUnlock(handle);
        return loaded;
    }
    int32_t result = ActOnEscape(handle, nullptr, options, code, size, data, extra, flag);
    (void)StoreOptions(handle, options);
    GlobalUnlock(handle);
    return result;
}

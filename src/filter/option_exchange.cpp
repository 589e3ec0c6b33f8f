// Making the filter's option sets and exchanging the options block with them.
#include "filter/option_exchange.h"

#include "filter/setup_record.h"
#include "output/graphics_library.h"
#include "resources/resource_ids.h"

namespace xpmfilter {

OptionSetHandle CreateFilterOptionSet() {
    static_assert(kFilterKind == 1, "a filter of kind 1 sets option 3 of the sets it makes");
    OptionSetHandle set = Gdi().OptionSetCreate(0, 0, 0, 0);
    if (set == nullptr) return nullptr;
    const uint16_t zero = 0;
    (void)Gdi().OptionSetEscape(set, kVrOptionSet3, sizeof zero, &zero, nullptr, 0);
    return set;
}

int32_t LoadOptions(OptionSetHandle set, SavedOptions& options) {
    return Gdi().OptionSetEscape(set, kVrOptionLoadOptions, SavedOptionsSize(), nullptr, &options,
                                 0);
}

int32_t StoreOptions(OptionSetHandle set, const SavedOptions& options) {
    return Gdi().OptionSetEscape(set, kVrOptionStoreOptions, SavedOptionsSize(), &options, nullptr,
                                 0);
}

}  // namespace xpmfilter

// The three exported calls that run one whole import for a host: ImportGR, ImportCB and
// ImportEmbeddedGR. Each makes its own setup record and import job and gives them back before
// it returns; only the picture (on success) and the options block stored back survive.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "filter/option_exchange.h"
#include "filter/setup_record.h"
#include "resources/module_instance.h"
#include "output/graphics_library.h"
#include "resources/resource_ids.h"

namespace xpmfilter {
namespace {

constexpr int32_t kEmbeddedUnitsPerInch = 1440;

// What distinguishes the three calls.
struct ImportCall {
    void* hostValue;
    const SourceSpec* source;
    PictureResult* result;
    OptionSetHandle optionSet;  // may be null: then a set is made for the call
    uint64_t ioUserData;
    VrReadRoutine ioRoutine;  // null for none
    const char* outputSpec;
    bool embedded;  // ImportEmbeddedGR: no memory input, 1440 units by default
};

// Owns the option set a call made for itself, and the call's setup record.
class CallResources {
  public:
    CallResources() = default;
    CallResources(const CallResources&) = delete;
    CallResources& operator=(const CallResources&) = delete;
    ~CallResources() {
        if (setup != nullptr) DestroySetup(setup);  // its result is not looked at
        if (ownedSet != nullptr) GlobalFree(ownedSet);
    }
    HGLOBAL setup = nullptr;
    OptionSetHandle ownedSet = nullptr;
};

// Loads the record's options block from the option set, or stores it there.
void ExchangeOptions(HGLOBAL setup, OptionSetHandle set, bool load) {
    auto* record = static_cast<SetupRecord*>(GlobalLock(setup));
    if (record == nullptr) return;
    (void)(load ? LoadOptions(set, record->options) : StoreOptions(set, record->options));
    GlobalUnlock(setup);
}

// The longer side of the picture measures 5 inches.
int32_t FallbackUnitsPerInch(const int32_t bounds[4]) {
    int64_t width = std::llabs(static_cast<int64_t>(bounds[0]) - bounds[2]);
    int64_t height = std::llabs(static_cast<int64_t>(bounds[1]) - bounds[3]);
    return static_cast<int32_t>(std::max(width, height) / 5);
}

void DiscardPicture(void* picture) {
    if (GetObjectType(picture) == OBJ_ENHMETAFILE)
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(picture));
    else
        DeleteMetaFile(static_cast<HMETAFILE>(picture));
}

// The body shared by the three calls: the option set, the setup record and the import job
// around one ImportFile. Returns the 16-bit result; each call widens it.
uint16_t ImportThroughJob(const ImportCall& call) {
    CallResources owned;
    OptionSetHandle set = call.optionSet;
    // ImportEmbeddedGR never comes here without the host's set.
    if (set == nullptr) set = owned.ownedSet = CreateFilterOptionSet();
    if (set == nullptr) return kImportNoOptionSet;

    uint16_t refusal = 0;
    Gdi().OptionSetEscape(set, kVrOptionImportRefused, sizeof refusal, nullptr, &refusal, 0);
    if (refusal != 0) return kImportRefused;

    owned.setup = CreateSetup(ModuleInstance(), nullptr, nullptr, nullptr);
    if (owned.setup == nullptr) return kImportNoOptionSet;
    ExchangeOptions(owned.setup, set, true);
    // After the load, so that the call's routine replaces any the loaded options carried.
    if (call.ioRoutine != nullptr)
        EscapeSetup(owned.setup, kXpmEscapeReadRoutine, sizeof(uint64_t),
                    reinterpret_cast<void*>(call.ioRoutine), nullptr, 0);

    // The host's path is at most 8191 characters; keep a terminated copy whatever it sent.
    static constexpr char emptyText[] = "";
    // Read no further than its terminator: a host may hand a record cut after the path.
    char sourcePath[sizeof(SourceSpec::path)];
    const size_t pathLength = strnlen(call.source->path, sizeof sourcePath - 1);
    std::memcpy(sourcePath, call.source->path, pathLength);
    sourcePath[pathLength] = '\0';

    StatusSink sink{};
    sink.statusProc = reinterpret_cast<uint64_t>(Gdi().DefaultStatusProc);
    sink.hostValue = reinterpret_cast<uint64_t>(call.hostValue);
    if (!call.embedded && sourcePath[0] == '\0')
        sink.dataHandle = reinterpret_cast<uint64_t>(call.source->memory);

    ImportRequest request{};
    request.setup = owned.setup;
    request.optionSet = set;
    request.names[0] = request.names[1] = request.names[2] = emptyText;
    request.statusSink = &sink;
    request.ioUserData = call.ioUserData;

    uint32_t option26 = 0;
    Gdi().OptionSetEscape(set, kVrOptionQuery26, sizeof option26, nullptr, &option26, 0);
    char title[kPathChars] = {};
    LoadStringA(ModuleInstance(), kStrTitle, title, kPathChars);
    const uint32_t version = QVTGetFilterVersion();
    HWND window = GetActiveWindow();
    sink.userData = Gdi().ImportJobBegin(window, title, sourcePath, 0, version, option26);

    // The outcome is learnt from the import job, not from ImportFile's own result.
    (void)ImportFile(0, emptyText, call.outputSpec != nullptr ? call.outputSpec : emptyText,
                     sourcePath, &request);
    ExchangeOptions(owned.setup, set, false);

    PictureResult& result = *call.result;
    result.picture = reinterpret_cast<void*>(sink.dataHandle);
    std::memcpy(result.bounds, sink.bounds, sizeof result.bounds);
    result.unitsPerInch = sink.unitsPerInch;
    if (result.unitsPerInch == 0)
        result.unitsPerInch =
            call.embedded ? kEmbeddedUnitsPerInch : FallbackUnitsPerInch(result.bounds);

    const auto outcome = static_cast<uint16_t>(Gdi().ImportJobEnd(sink.userData));
    if (outcome != 0 && result.picture != nullptr) {
        DiscardPicture(result.picture);
        result.picture = nullptr;
    }
    return outcome;
}

}  // namespace
}  // namespace xpmfilter

// Imports through ioRoutine (when not null, called with ioUserData), else from source->memory
// when source->path is empty, else from the file source->path. optionSet may be null; a set
// made for the call is freed before it returns. Returns the 16-bit result widened without
// sign: 0 with result->picture the host's; 5315 (no option set or setup record), 5355
// (refused by query 4), or the import job's failure with result->picture null. A null source
// or result gives 5315 with nothing called.
extern "C" XPMFILTER_API uint32_t ImportCB(void* hostValue, const SourceSpec* source,
                                           PictureResult* result, OptionSetHandle optionSet,
                                           uint64_t ioUserData, VrReadRoutine ioRoutine) {
    using namespace xpmfilter;
    if (source == nullptr || result == nullptr) return kImportNoOptionSet;
    return ImportThroughJob(
        ImportCall{hostValue, source, result, optionSet, ioUserData, ioRoutine, nullptr, false});
}

// ImportCB without a read routine.
extern "C" XPMFILTER_API uint32_t ImportGR(void* hostValue, const SourceSpec* source,
                                           PictureResult* result, OptionSetHandle optionSet) {
    return ImportCB(hostValue, source, result, optionSet, 0, nullptr);
}

// Imports from the file source->path (or through a routine the host's saved options carry)
// with the host's option set, which is required (null: 5315, nothing called) and never freed
// here. outputSpec may be null. length is not used. The 16-bit result is widened with sign.
extern "C" XPMFILTER_API int32_t ImportEmbeddedGR(void* hostValue, const SourceSpec* source,
                                                  PictureResult* result, OptionSetHandle optionSet,
                                                  uint32_t /*length*/, const char* outputSpec) {
    using namespace xpmfilter;
    if (optionSet == nullptr || source == nullptr || result == nullptr) return kImportNoOptionSet;
    const uint16_t outcome = ImportThroughJob(
        ImportCall{hostValue, source, result, optionSet, 0, nullptr, outputSpec, true});
    return static_cast<int16_t>(outcome);
}

// The exported ImportFile: copies one import request into the caller's setup record and runs
// the import driver on it, with the record locked for the whole import.
#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "filter/setup_record.h"
#include "common/text_copy.h"
#include "filter/import_driver.h"
#include "output/status.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {
namespace {

// A request refused before it reaches the driver still tells its host, so that no entry
// point reports success for it.
int32_t Refuse(const ImportRequest& request, int32_t code) {
    const StatusSink* sink = request.statusSink;
    if (sink == nullptr) return code;
    const uint64_t block[kVrStatusBlockWords] = {};
    (void)InvokeStatusProc(reinterpret_cast<VrStatusProc>(sink->statusProc), sink->userData,
                           kVrStatusReport, static_cast<uint32_t>(code), 0, 0, SeverityClass(code),
                           block);
    return code;
}

void TakeRequest(SetupRecord& setup, ImportRequest& request, const char* outputName,
                 const char* outputSpec, const char* sourcePath) {
    setup.progressPercent = 0;
    setup.statusSink = request.statusSink;
    setup.optionSet = request.optionSet;
    setup.request = &request;
    // A name the request leaves null keeps the record's previous text.
    for (int i = 0; i < 3; ++i)
        if (request.names[i] != nullptr) CopyText(setup.requestNames[i], request.names[i]);
    setup.progressBase = 0;
    setup.progressRange = 100;
    CopyText(setup.outputName, outputName);
    CopyText(setup.outputSpec, outputSpec);
    CopyText(setup.sourcePath, sourcePath);
}

}  // namespace
}  // namespace xpmfilter

using namespace xpmfilter;

extern "C" XPMFILTER_API int32_t ImportFile(uint64_t, const char* outputName,
                                            const char* outputSpec, const char* sourcePath,
                                            ImportRequest* request) {
    if (request == nullptr) return kXpmSetupNotLocked;
    // Cut to fit the record, a longer name would name another file.
    if (outputName != nullptr && std::strlen(outputName) >= sizeof(SetupRecord::outputName))
        return Refuse(*request, kXpmCannotCreateOutput);
    HGLOBAL handle = request->setup;
    void* block = GlobalLock(handle);
    // A block too small for a record is refused like one that cannot be locked: writing the
    // request into it would run past its end.
    if (block != nullptr && GlobalSize(handle) < sizeof(SetupRecord)) {
        GlobalUnlock(handle);
        block = nullptr;
    }
    if (block == nullptr) return Refuse(*request, kXpmSetupNotLocked);
    auto* setup = static_cast<SetupRecord*>(block);
    TakeRequest(*setup, *request, outputName, outputSpec, sourcePath);
    int32_t result = DriveImport(*setup);
    GlobalUnlock(handle);
    return result;
}

// Calling ImportGR / ImportCB with the host hooks.
#include "xpmimport/picture_import.h"

#include <unistd.h>

#include <cstring>

#include "xpmimport/fd_reader.h"
#include "xpmimport/interrupt.h"
#include "xpmimport/result_messages.h"

namespace xpmimport {
namespace {

extern "C" void ReportProgress(void* context, int32_t percent) {
    const auto* progress = static_cast<const ProgressCallback*>(context);
    if (*progress) (*progress)(percent);
}

extern "C" int32_t AskStop(void*) { return InterruptRequested() ? 1 : 0; }

}  // namespace

ImportedPicture ImportPicture(const FilterExports& filter, const std::string& input, bool windowsMetafile,
                              const ProgressCallback& progress) {
    ImportedPicture imported;
    auto source = std::make_unique<SourceSpec>();
    if (input.size() >= sizeof source->path) {
        imported.code = 7;
        return imported;
    }
    VrHostHooks hooks = {};
    hooks.size = sizeof hooks;
    hooks.metafileKind = windowsMetafile ? kVrMetafileWmf : kVrMetafileEmf;
    hooks.context = const_cast<ProgressCallback*>(&progress);
    hooks.progress = ReportProgress;
    hooks.shouldStop = AskStop;
    PictureResult result = {};
    if (input == "-") {
        FdReader reader{STDIN_FILENO, 0};
        imported.code = SignedImportResult(
            filter.importCB(&hooks, source.get(), &result, nullptr, reinterpret_cast<uintptr_t>(&reader), ReadFromFd));
    } else {
        std::memcpy(source->path, input.c_str(), input.size() + 1);
        imported.code = SignedImportResult(filter.importGR(&hooks, source.get(), &result, nullptr));
    }
    if (result.picture != nullptr) imported.metafile = std::make_unique<MetafileHandle>(result.picture);
    std::memcpy(imported.bounds, result.bounds, sizeof imported.bounds);
    imported.unitsPerInch = result.unitsPerInch;
    return imported;
}

}  // namespace xpmimport

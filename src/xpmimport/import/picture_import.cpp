// Calling ImportGR / ImportCB with the host hooks, and the scratch file a metafile may go to.
#include "xpmimport/import/picture_import.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "xpmimport/import/fd_reader.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"
#include "xpmimport/import/result_messages.h"

namespace xpmimport {
namespace {

extern "C" void ReportProgress(void* context, int32_t percent) {
    const auto* progress = static_cast<const ProgressCallback*>(context);
    if (*progress) (*progress)(percent);
}

extern "C" int32_t AskStop(void*) {
    return InterruptRequested() ? 1 : 0;
}

}  // namespace

ScratchFile::ScratchFile(const std::string& besidePath) {
    size_t slash = besidePath.find_last_of(PathSeparators());
    if (besidePath != "-") {
        fd_ = OpenScratchFile(slash == std::string::npos ? "."
                              : slash == 0               ? "/"
                                                         : besidePath.substr(0, slash));
    }
    if (fd_ < 0) fd_ = OpenScratchFile(TemporaryDirectory());
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) (void)CloseFile(fd_);
}

ImportedPicture ImportPicture(const FilterExports& filter, const std::string& input,
                              bool windowsMetafile, const ProgressCallback& progress, int outputFd,
                              uint64_t maxPixels) {
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
    hooks.maxPixels = maxPixels;
    if (outputFd >= 0) {
        hooks.flags = kVrHookOutputFd;
        hooks.outputFd = outputFd;
    }
    PictureResult result = {};
    if (input == "-") {
        FdReader reader{kStandardInputFd, 0};
        imported.code =
            SignedImportResult(filter.importCB(&hooks, source.get(), &result, nullptr,
                                               reinterpret_cast<uintptr_t>(&reader), ReadFromFd));
    } else {
        std::memcpy(source->path, input.c_str(), input.size() + 1);
        imported.code = SignedImportResult(filter.importGR(&hooks, source.get(), &result, nullptr));
    }
    if (filter.readFailure != nullptr) imported.readFailure = filter.readFailure();
    if (result.picture != nullptr)
        imported.metafile = std::make_unique<OwnedMetafile>(result.picture);
    std::memcpy(imported.bounds, result.bounds, sizeof imported.bounds);
    imported.unitsPerInch = result.unitsPerInch;
    return imported;
}

}  // namespace xpmimport

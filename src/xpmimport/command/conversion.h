// One conversion: an XPM input (a file, or standard input for "-") imported through the
// filter's exports and written as EMF, WMF or PNG. The output appears only when the whole
// picture was written; an interrupted or failed conversion leaves no file behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "xpmimport/import/filter_module.h"
#include "xpmimport/command/output_format.h"
#include "xpmimport/import/picture_import.h"

namespace xpmimport {

struct ConversionTask {
    std::string input;  // a path, or "-" for standard input
    std::string output;
    OutputFormat format = OutputFormat::kEmf;
};

// How every conversion of a run is done.
struct ConversionSettings {
    mode_t fileMode = 0644;  // permissions of a new output file
    uint64_t maxPixels = 0;  // refuse pictures of more pixels (0: no limit)
    bool verbose = false;    // causes carry the filter's result code
};

struct ConversionOutcome {
    enum class Status { kDone, kFailed, kInterrupted };
    Status status = Status::kFailed;
    int32_t width = 0;  // picture size, when done
    int32_t height = 0;
    int32_t code = 0;     // the filter's result when the import itself failed, else 0
    std::string cause;    // in words, when not done (with the code when verbose)
    std::string warning;  // colours the picture declares but cannot keep, in words, or empty
};

// Runs task with the filter's exports. The input's first bytes are read first: a picture
// above settings.maxPixels is refused before any output is made, and a failure is
// explained by what they show. The import is asked to stop (and the outcome is
// kInterrupted) once InterruptRequested(). Never throws; every metafile handle the filter
// returned is deleted before returning.
[[nodiscard]] ConversionOutcome Convert(const FilterExports& filter, const ConversionTask& task,
                                        const ConversionSettings& settings,
                                        const ProgressCallback& progress);

}  // namespace xpmimport

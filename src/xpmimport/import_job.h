// One conversion: an XPM input (a file, or standard input for "-") imported through the
// filter's exports and written as EMF, WMF or PNG. The output appears only when the whole
// picture was written; an interrupted or failed conversion leaves no file behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "xpmimport/filter_module.h"
#include "xpmimport/output_format.h"
#include "xpmimport/picture_import.h"

namespace xpmimport {

struct ImportTask {
    std::string input;  // a path, or "-" for standard input
    std::string output;
    OutputFormat format = OutputFormat::kEmf;
};

struct ImportOutcome {
    enum class Status { kDone, kFailed, kInterrupted };
    Status status = Status::kFailed;
    int32_t width = 0;   // picture size, when done
    int32_t height = 0;
    int32_t code = 0;    // the filter's result when the import itself failed, else 0
    std::string cause;   // in words, when not done (the code already included)
};

// Runs task with the filter's exports. fileMode: permissions of a new output file.
// The import is asked to stop (and the outcome is kInterrupted) once InterruptRequested().
// Never throws; every metafile handle the filter returned is deleted before returning.
[[nodiscard]] ImportOutcome RunImport(const FilterExports& filter, const ImportTask& task, mode_t fileMode,
                                      const ProgressCallback& progress);

}  // namespace xpmimport

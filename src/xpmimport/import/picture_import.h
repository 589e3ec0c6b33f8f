// One call of the filter's import entry point: an XPM input (a file path, or standard
// input through the read routine) to a metafile, with progress and stop hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "xpmimport/import/filter_module.h"
#include "xpmimport/import/owned_metafile.h"

namespace xpmimport {

// Called on the importing thread with each percentage the import reports.
using ProgressCallback = std::function<void(int percent)>;

struct ImportedPicture {
    int32_t code = 0;                         // the entry point's result, sign restored
    std::unique_ptr<OwnedMetafile> metafile;  // the picture, when it came back in memory (owned)
    int32_t bounds[4] = {};                   // left, top, right, bottom
    int32_t unitsPerInch = 0;
    int32_t readFailure = 0;  // why the input could not be read (StreamReadFailure), 0 if it could
};

// Imports input ("-" reads standard input through ImportCB and a read routine; a path goes
// to ImportGR) asking for a Windows Metafile when windowsMetafile, else an Enhanced one.
// With outputFd >= 0 (open for writing, seekable, empty) the library is asked to write the
// metafile there as it makes it; a library that does so returns no handle, an older one
// ignores the descriptor and returns the handle as before. A picture of more than maxPixels
// pixels (0: no limit) is refused by the library as soon as its size is known, before any
// of it is made (result kPixelLimitResult). The import is asked to stop once
// InterruptRequested(). A path of 8192 characters or more is not handed over (result 7,
// cannot open). Any picture handed back is owned by the result, also after a failure.
[[nodiscard]] ImportedPicture ImportPicture(const FilterExports& filter, const std::string& input,
                                            bool windowsMetafile, const ProgressCallback& progress,
                                            int outputFd = -1, uint64_t maxPixels = 0);

// The import's result for a picture over the pixel limit (the library's writer error 304).
inline constexpr int32_t kPixelLimitResult = kXpmWriterCodes304And305;

// An unlinked scratch file for a metafile that is only a step on the way (to PNG): made in
// the directory of besidePath (unless it is "-", standard output), else in $TMPDIR or
// /tmp. Closed when this goes. fd() is -1 when none could be made; the picture then comes
// back in memory.
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& besidePath);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    [[nodiscard]] int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

}  // namespace xpmimport

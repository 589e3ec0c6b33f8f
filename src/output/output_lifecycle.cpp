// The life of the output picture for one import. Writer codes never leave this file raw:
// each is mapped to a filter result code and reported once by the routine that found it.
#include "output/output_lifecycle.h"

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"
#include "output/status.h"
#include "output/writer_errors.h"

namespace xpmfilter {
namespace {

constexpr int32_t kOpenDetail = 0;
constexpr int32_t kCloseDetail = 2;

// The writer's pending error after a step, reported when there is one.
int32_t CheckAndReport(const ImportContext& import) {
    int16_t pair[2] = {0, 0};
    int32_t code = CheckWriterError(import, pair);
    if (code != kXpmOk) ReportStatus(import, code);
    return code;
}

}  // namespace

int32_t OpenOutput(const ImportContext& import, const OutputTarget& target) {
    // The range goes out first, even when the output then fails to open; its answer never
    // stops anything.
    if (import.statusSink != nullptr) {
        InvokeStatusProc(reinterpret_cast<VrStatusProc>(import.statusSink->statusProc),
                         import.statusSink->userData, kVrStatusProgress,
                         static_cast<uint32_t>(kVrCodeProgressRange), target.progressBase,
                         target.progressRange, 0, nullptr);
    }
    const GraphicsLibrary& gdi = Gdi();
    int32_t code = kXpmOk;
    int16_t opened = gdi.OutputOpen(import.writer, target.outputSpec, target.outputName, 0,
                                    target.optionSet, import.statusSink);
    if (opened != 0) {
        // OutputStart is skipped even when the mapping forgives the code (76).
        code = MapWriterError(static_cast<int32_t>(opened), kOpenDetail);
    } else {
        int16_t pair[2] = {0, 0};
        code = CheckWriterError(import, pair);
        if (code == kXpmOk) {
            gdi.OutputStart(import.writer, target.outputSpec);
            code = CheckWriterError(import, pair);
            // Only a failed start closes the output here; a failed open is left to the driver.
            if (code != kXpmOk) (void)gdi.OutputClose(import.writer);
        }
    }
    if (code != kXpmOk) ReportStatus(import, code);
    return code;
}

int32_t BeginPicture(const ImportContext& import, const char* name) {
    Gdi().PictureBegin(import.writer, name);
    return CheckAndReport(import);
}

int32_t StartDrawing(const ImportContext& import) {
    Gdi().PictureStartDrawing(import.writer);
    return CheckAndReport(import);
}

int32_t EndPicture(const ImportContext& import) {
    Gdi().PictureEnd(import.writer);
    return kXpmOk;
}

int32_t FinishOutput(const ImportContext& import) {
    const GraphicsLibrary& gdi = Gdi();
    gdi.OutputFinish(import.writer);
    int16_t pair[2] = {0, 0};
    int32_t code = CheckWriterError(import, pair);
    // A stopped writer is the host's own request: returned, not reported.
    if (code != kXpmOk && code != kXpmStopped) ReportStatus(import, code);
    int16_t closed = gdi.OutputClose(import.writer);
    if (closed != 0) {
        // Any non-zero close result replaces the finish code and is reported as mapped, even
        // when the mapping forgives it (76 gives 0).
        code = MapWriterError(static_cast<int32_t>(closed), kCloseDetail);
        ReportStatus(import, code);
    }
    return code;
}

}  // namespace xpmfilter

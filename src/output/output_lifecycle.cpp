// The life of the output picture for one import. Writer codes never leave this file raw:
// each is mapped to a filter result code and reported once by the routine that found it.
#include "output/output_lifecycle.h"

#include "common/result_codes.h"
#include "output/graphics_library.h"
#include "output/status.h"

namespace xpmfilter {
namespace {

constexpr int32_t kProgressRangeCode = -1;
constexpr int32_t kOpenDetail = 0;
constexpr int32_t kCloseDetail = 2;

}  // namespace

int32_t MapWriterError(int32_t code, int32_t detail) {
    // Unsigned on purpose: a negative writer code is no known code and falls to the default.
    const uint32_t writerCode = static_cast<uint32_t>(code);
    if (writerCode == 0 || writerCode == 76) return kOk;
    if (writerCode == 20) return 65;
    if (writerCode >= 21 && writerCode <= 26) return 12;
    if (writerCode >= 161 && writerCode <= 166) return 13;
    if (writerCode == 168) return 25;
    if (writerCode == 300) return kNoMemory;
    if (writerCode == 301) return 23;
    if (writerCode == 302) return detail == 269 ? kDiskFull : 14;
    if (writerCode == 303) return 15;
    if (writerCode == 304 || writerCode == 305) return 19;
    if (writerCode == 901) return kStopped;
    return 26;
}

int32_t CheckWriterError(SetupRecord& setup, int16_t pair[2]) {
    uint32_t flag = 0;
    Gdi().WriterGetError(setup.writer, 1, &flag, pair);
    if (flag == 0) return kOk;
    return MapWriterError(static_cast<int32_t>(pair[0]), static_cast<int32_t>(pair[1]));
}

namespace {

// The writer's pending error after a step, reported when there is one.
int32_t CheckAndReport(SetupRecord& setup) {
    int16_t pair[2] = {0, 0};
    int32_t code = CheckWriterError(setup, pair);
    if (code != kOk) ReportStatus(setup, code);
    return code;
}

}  // namespace

int32_t OpenOutput(SetupRecord& setup) {
    // The range goes out first, even when the output then fails to open; its answer never
    // stops anything.
    if (setup.statusSink != nullptr) {
        InvokeStatusProc(reinterpret_cast<VrStatusProc>(setup.statusSink->statusProc),
                         setup.statusSink->userData, 0, static_cast<uint32_t>(kProgressRangeCode),
                         setup.progressBase, setup.progressRange, 0, nullptr);
    }
    const GraphicsLibrary& gdi = Gdi();
    int32_t code = kOk;
    int16_t opened = gdi.OutputOpen(setup.writer, setup.outputSpec, setup.outputName, 0,
                                    setup.optionSet, setup.statusSink);
    if (opened != 0) {
        // OutputStart is skipped even when the mapping forgives the code (76).
        code = MapWriterError(static_cast<int32_t>(opened), kOpenDetail);
    } else {
        int16_t pair[2] = {0, 0};
        code = CheckWriterError(setup, pair);
        if (code == kOk) {
            gdi.OutputStart(setup.writer, setup.outputSpec);
            code = CheckWriterError(setup, pair);
            // Only a failed start closes the output here; a failed open is left to the driver.
            if (code != kOk) (void)gdi.OutputClose(setup.writer);
        }
    }
    if (code != kOk) ReportStatus(setup, code);
    return code;
}

int32_t BeginPicture(SetupRecord& setup, const char* name) {
    Gdi().PictureBegin(setup.writer, name);
    return CheckAndReport(setup);
}

int32_t StartDrawing(SetupRecord& setup) {
    Gdi().PictureStartDrawing(setup.writer);
    return CheckAndReport(setup);
}

int32_t EndPicture(SetupRecord& setup) {
    Gdi().PictureEnd(setup.writer);
    return kOk;
}

int32_t FinishOutput(SetupRecord& setup) {
    const GraphicsLibrary& gdi = Gdi();
    gdi.OutputFinish(setup.writer);
    int16_t pair[2] = {0, 0};
    int32_t code = CheckWriterError(setup, pair);
    // A stopped writer is the host's own request: returned, not reported.
    if (code != kOk && code != kStopped) ReportStatus(setup, code);
    int16_t closed = gdi.OutputClose(setup.writer);
    if (closed != 0) {
        // Any non-zero close result replaces the finish code and is reported as mapped, even
        // when the mapping forgives it (76 gives 0).
        code = MapWriterError(static_cast<int32_t>(closed), kCloseDetail);
        ReportStatus(setup, code);
    }
    return code;
}

}  // namespace xpmfilter

// The import driver. Each stage below takes one resource, hands over to the next stage, and
// gives its resource back when that stage returns, so the release order is always the
// reverse of the taking order: memory lock, stream, writer, output, picture.
#include "filter/import_driver.h"

#include "common/result_codes.h"
#include "output/graphics_library.h"
#include "output/input_source.h"
#include "output/output_lifecycle.h"
#include "output/status.h"
#include "xpm/header_values.h"
#include "xpm/image_decoder.h"

namespace xpmfilter {
namespace {

constexpr const char* kPictureName = "PICTURE 1";
// The pixel-code readers hold at most 39 characters of a code.
constexpr int32_t kMaxCharsPerPixel = 39;

// Stage 4: the picture is begun. Decodes, runs the last progress check after a clean
// decode, and always ends the picture.
int32_t DecodePicture(SetupRecord& setup, StreamHandle stream, const XpmValues& values) {
    int32_t result = DecodeXpmImage(setup, stream, values);
    // The decoder may have reported this code already; the host hears it again, 61 included.
    if (result != kOk) ReportStatus(setup, result);
    if (result == kOk) {
        setup.progressPercent = 100;
        result = CheckProgress(setup);
        // A stop at the very last check is the host's own answer: not reported back.
        if (result != kOk && result != kStopped) ReportStatus(setup, result);
    }
    (void)EndPicture(setup);
    return result;
}

// Stage 3: the output is open. Reads the values line, begins the picture and decodes it;
// always finishes and closes the output, whose failure counts only after a clean run.
int32_t DrawIntoOutput(SetupRecord& setup, StreamHandle stream) {
    Gdi().WriterSetOption(setup.writer, 0);
    MeasureInput(stream, setup);
    XpmValues values{};
    int32_t result = kOk;
    int32_t valuesResult = ReadValuesLine(stream, values);
    if (valuesResult != kOk || values.charsPerPixel < 0 ||
        values.charsPerPixel > kMaxCharsPerPixel) {
        result = kNotXpm;
        ReportStatus(setup, result);
    } else {
        result = BeginPicture(setup, kPictureName);  // reported there
        if (result == kOk) result = DecodePicture(setup, stream, values);
    }
    int32_t finished = FinishOutput(setup);  // reported there
    if (result == kOk) result = finished;
    return result;
}

// Stage 2: the stream is open. Checks the header, creates the writer, opens the output and
// draws; destroys the writer whatever happened after it was made.
int32_t ImportFromStream(SetupRecord& setup, StreamHandle stream) {
    if (CheckXpmHeader(stream) != 0) {
        ReportStatus(setup, kNotXpm);
        return kNotXpm;
    }
    const GraphicsLibrary& gdi = Gdi();
    setup.writer = gdi.WriterCreate(0);
    if (setup.writer == nullptr) {
        ReportStatus(setup, kNoMemory);
        return kNoMemory;
    }
    gdi.WriterSetNames(setup.writer, setup.requestNames[0], setup.requestNames[1],
                       setup.requestNames[2]);
    int32_t result = OpenOutput(setup);  // reported there; a failed open is never closed
    if (result == kOk) result = DrawIntoOutput(setup, stream);
    if (setup.writer != nullptr) gdi.WriterDestroy(setup.writer);
    return result;
}

}  // namespace

int32_t RunImport(SetupRecord& setup) {
    setup.writer = nullptr;
    const uint64_t routine = setup.options.ioRoutine;
    const uint64_t userData = setup.request != nullptr ? setup.request->ioUserData : 0;
    HGLOBAL memory =
        setup.statusSink != nullptr
            ? reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(setup.statusSink->dataHandle))
            : nullptr;

    // Stage 1: the input. It must not move while the stream is open.
    InputSource input;
    StreamHandle stream = OpenInputStream(input, setup.sourcePath, routine, userData, memory);
    int32_t result = kOk;
    if (stream == nullptr) {
        result = kCannotOpenInput;
        ReportStatus(setup, result);
    } else {
        result = ImportFromStream(setup, stream);
        Gdi().StreamClose(stream);
    }
    UnlockInputMemory(input);
    return result;
}

}  // namespace xpmfilter

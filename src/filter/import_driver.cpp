// The import driver. Each stage below takes one resource, hands over to the next stage, and
// gives its resource back when that stage returns, so the release order is always the
// reverse of the taking order: memory lock, stream, writer, output, picture.
#include "filter/import_driver.h"

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"
#include "filter/input_source.h"
#include "output/output_lifecycle.h"
#include "output/status.h"
#include "xpm/header_values.h"
#include "xpm/image_decoder.h"

namespace xpmfilter {
namespace {

constexpr const char* kPictureName = "PICTURE 1";

// Stage 4: the picture is begun. Decodes, runs the last progress check after a clean
// decode, and always ends the picture.
int32_t DecodePicture(ImportContext& import, StreamHandle stream, const XpmValues& values) {
    int32_t result = DecodeXpmImage(import, stream, values);
    // The decoder may have reported this code already; the host hears it again, 61 included.
    if (result != kXpmOk) ReportStatus(import, result);
    if (result == kXpmOk) {
        import.progressPercent = 100;
        result = CheckProgress(import);
        // A stop at the very last check is the host's own answer: not reported back.
        if (result != kXpmOk && result != kXpmStopped) ReportStatus(import, result);
    }
    (void)EndPicture(import);
    return result;
}

// Stage 3: the output is open. Reads the values line, begins the picture and decodes it;
// always finishes and closes the output, whose failure counts only after a clean run.
int32_t DrawIntoOutput(ImportContext& import, StreamHandle stream) {
    Gdi().WriterSetOption(import.writer, 0);
    MeasureInput(stream, import);
    XpmValues values{};
    int32_t result = kXpmOk;
    int32_t valuesResult = ReadValuesLine(stream, values);
    if (valuesResult != kXpmOk || values.charsPerPixel < 0 ||
        values.charsPerPixel > kXpmMaxCharsPerPixel) {
        result = kXpmNotXpm;
        ReportStatus(import, result);
    } else {
        result = BeginPicture(import, kPictureName);  // reported there
        if (result == kXpmOk) result = DecodePicture(import, stream, values);
    }
    int32_t finished = FinishOutput(import);  // reported there
    if (result == kXpmOk) result = finished;
    return result;
}

// Stage 2: the stream is open. Checks the header, creates the writer, opens the output and
// draws; destroys the writer whatever happened after it was made.
int32_t ImportFromStream(const SetupRecord& setup, ImportContext& import, StreamHandle stream) {
    if (CheckXpmHeader(stream) != 0) {
        ReportStatus(import, kXpmNotXpm);
        return kXpmNotXpm;
    }
    const GraphicsLibrary& gdi = Gdi();
    import.writer = gdi.WriterCreate(0);
    if (import.writer == nullptr) {
        ReportStatus(import, kXpmNoMemory);
        return kXpmNoMemory;
    }
    gdi.WriterSetNames(import.writer, setup.requestNames[0], setup.requestNames[1],
                       setup.requestNames[2]);
    const OutputTarget target{setup.outputSpec, setup.outputName, setup.optionSet,
                              setup.progressBase, setup.progressRange};
    int32_t result = OpenOutput(import, target);  // reported there; a failed open is never closed
    if (result == kXpmOk) result = DrawIntoOutput(import, stream);
    gdi.WriterDestroy(import.writer);
    return result;
}

}  // namespace

int32_t DriveImport(SetupRecord& setup) {
    ImportContext import{nullptr, setup.statusSink, setup.inputSize, setup.progressPercent};
    // The input, as the record holds it: the routine in the options, its user data in the
    // request, a memory block in the status record's dataHandle, the file's path.
    InputOrigin origin{setup.sourcePath, setup.options.ioRoutine};
    if (setup.request != nullptr) origin.userData = setup.request->ioUserData;
    if (setup.statusSink != nullptr)
        origin.memory =
            reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(setup.statusSink->dataHandle));

    // Stage 1: the input. It must not move while the stream is open.
    InputSource input;
    StreamHandle stream = OpenInputStream(input, origin);
    int32_t result = kXpmOk;
    if (stream == nullptr) {
        result = kXpmCannotOpenInput;
        ReportStatus(import, result);
    } else {
        result = ImportFromStream(setup, import, stream);
        Gdi().StreamClose(stream);
    }
    UnlockInputMemory(input);
    // What the import leaves in the record: the writer it used (destroyed by now), the
    // input's length and the progress.
    setup.writer = import.writer;
    setup.inputSize = import.inputSize;
    setup.progressPercent = import.progressPercent;
    return result;
}

}  // namespace xpmfilter

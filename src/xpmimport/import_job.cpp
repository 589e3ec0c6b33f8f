// One conversion, from the import call to the renamed output file.
#include "xpmimport/import_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "xpmimport/input_prologue.h"
#include "xpmimport/interrupt.h"
#include "xpmimport/metafile_handle.h"
#include "xpmimport/metafile_render.h"
#include "xpmimport/pending_output.h"
#include "xpmimport/png_writer.h"
#include "xpmimport/result_messages.h"

namespace xpmimport {
namespace {

[[nodiscard]] ImportOutcome Failed(std::string cause, int32_t code = 0) {
    ImportOutcome outcome;
    outcome.cause = std::move(cause);
    outcome.code = code;
    return outcome;
}

[[nodiscard]] ImportOutcome Interrupted() {
    ImportOutcome outcome;
    outcome.status = ImportOutcome::Status::kInterrupted;
    outcome.cause = "interrupted; nothing written";
    return outcome;
}

// Writes the picture in the asked format; false with *cause set.
[[nodiscard]] bool WritePicture(const MetafileHandle& metafile, OutputFormat format, PendingOutput& output,
                                std::string* cause) {
    std::vector<uint8_t> bytes = metafile.bytes();
    if (bytes.empty()) {
        *cause = "the filter returned a picture that holds no metafile";
        return false;
    }
    FileFailure failure;
    if (format != OutputFormat::kPng) {
        const bool wantEnhanced = format == OutputFormat::kEmf;
        if (metafile.enhanced() != wantEnhanced) {
            *cause = wantEnhanced ? "the filter made a Windows metafile where an enhanced metafile was asked for"
                                  : "the filter made an enhanced metafile where a Windows metafile was asked for";
            return false;
        }
        if (output.Write(bytes.data(), bytes.size(), &failure)) return true;
        *cause = failure.words;
        return false;
    }
    RenderOutcome rendered = metafile.enhanced() ? RenderEnhancedMetafile(bytes) : RenderWindowsMetafile(bytes);
    if (!rendered.ok) {
        *cause = "cannot render the picture: " + rendered.error;
        return false;
    }
    if (!WritePng(output.stream(), rendered.image, cause)) return false;
    return true;
}

}  // namespace

ImportOutcome RunImport(const FilterExports& filter, const ImportTask& task, const ImportSettings& settings,
                        const ProgressCallback& progress) {
    if (InterruptRequested()) return Interrupted();
    // A directory is told by the prologue's own open, without a stat per input.
    if (task.input != "-" && task.input.size() >= sizeof(SourceSpec::path)) {
        struct stat info = {};
        if (stat(task.input.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Failed("is a directory");
        return Failed("the path is too long for the filter");
    }
    InputPrologue prologue;
    std::string readError;
    const bool read = task.input == "-" ? ReadStandardInputPrologue(&prologue, &readError)
                                        : ReadFilePrologue(task.input, &prologue, &readError);
    if (read && prologue.directory) return Failed("is a directory");
    if (InterruptRequested()) return Interrupted();
    if (!read) return Failed(std::string(ResultInWords(7)) + ": " + readError);
    std::string tooLarge = SizeLimitInWords(prologue, settings.maxPixels);
    if (!tooLarge.empty()) return Failed(tooLarge);

    FileFailure failure;
    std::unique_ptr<PendingOutput> output = PendingOutput::Create(task.output, settings.fileMode, &failure);
    if (!output) return Failed(failure.words);

    ImportedPicture picture = ImportPicture(filter, task.input, task.format == OutputFormat::kWmf, progress);
    if (InterruptRequested()) return Interrupted();
    if (picture.code != 0) return Failed(DescribeFailure(picture.code, prologue, settings.verbose), picture.code);
    if (!picture.metafile) return Failed("the filter reported success but returned no picture");

    const int32_t width = std::abs(picture.bounds[2] - picture.bounds[0]);
    const int32_t height = std::abs(picture.bounds[3] - picture.bounds[1]);
    if (prologue.kind == InputKind::kUnread) {
        // A pipe given by name could not be looked at first: its size is checked now,
        // before the output appears.
        InputPrologue measured{InputKind::kXpm, true, width, height};
        tooLarge = SizeLimitInWords(measured, settings.maxPixels);
        if (!tooLarge.empty()) return Failed(tooLarge);
    }
    std::string cause;
    if (!WritePicture(*picture.metafile, task.format, *output, &cause)) return Failed(cause);
    if (InterruptRequested()) return Interrupted();
    if (!output->Commit(&failure)) return Failed(failure.words);

    ImportOutcome outcome;
    outcome.status = ImportOutcome::Status::kDone;
    outcome.width = width;
    outcome.height = height;
    outcome.warning = ColourWarning(prologue);
    return outcome;
}

}  // namespace xpmimport

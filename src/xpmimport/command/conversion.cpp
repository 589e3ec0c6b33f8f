// One conversion, from the import call to the renamed output file.
#include "xpmimport/command/conversion.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "xpmimport/import/fd_reader.h"
#include "xpmimport/import/input_prologue.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"
#include "xpmimport/import/owned_metafile.h"
#include "xpmimport/render/metafile_render.h"
#include "xpmimport/render/metafile_source.h"
#include "xpmimport/output/pending_output.h"
#include "xpmimport/render/png_writer.h"
#include "xpmimport/import/result_messages.h"

namespace xpmimport {
namespace {

[[nodiscard]] ConversionOutcome Failed(std::string cause, int32_t code = 0) {
    ConversionOutcome outcome;
    outcome.cause = std::move(cause);
    outcome.code = code;
    return outcome;
}

[[nodiscard]] ConversionOutcome Interrupted() {
    ConversionOutcome outcome;
    outcome.status = ConversionOutcome::Status::kInterrupted;
    outcome.cause = "interrupted; nothing written";
    return outcome;
}

// The kind of the metafile the library wrote to fd; kUnknown when it is empty or unreadable.
[[nodiscard]] MetafileKind KindOfFile(MetafileSource& file) {
    std::span<const uint8_t> first;
    const uint64_t length = std::min<uint64_t>(file.size(), 44);
    return length != 0 && file.read(0, length, &first) ? MetafileKindOf(first)
                                                       : MetafileKind::kUnknown;
}

// The placeable header that begins a Windows Metafile file and that a handle's bits lack:
// the picture's bounds and units per inch, closed by the XOR of its first ten 16-bit words.
[[nodiscard]] std::array<uint8_t, 22> PlaceableHeader(const ImportedPicture& picture) {
    std::array<uint8_t, 22> header{0xD7, 0xCD, 0xC6, 0x9A};
    const int32_t values[5] = {picture.bounds[0], picture.bounds[1], picture.bounds[2],
                               picture.bounds[3], picture.unitsPerInch};
    for (size_t i = 0; i < 5; ++i) {
        header[6 + 2 * i] = static_cast<uint8_t>(values[i]);
        header[7 + 2 * i] = static_cast<uint8_t>(values[i] >> 8);
    }
    for (size_t i = 0; i < 20; ++i) header[20 + i % 2] ^= header[i];
    return header;
}

// Writes the picture in the asked format; false with *cause set. The picture is the handle
// when the library returned one, else what it wrote to spoolFd (the output's own
// temporary file for EMF and WMF, a scratch file for PNG; -1 when none was asked for).
[[nodiscard]] bool WritePicture(const ImportedPicture& picture, int spoolFd, OutputFormat format,
                                PendingOutput& output, std::string* cause) {
    std::vector<uint8_t> bytes;
    std::unique_ptr<MetafileSource> source;
    MetafileKind kind = MetafileKind::kUnknown;
    if (picture.metafile) {
        bytes = picture.metafile->bytes();
        if (bytes.empty()) {
            *cause = "the filter returned a picture that holds no metafile";
            return false;
        }
        kind = picture.metafile->enhanced() ? MetafileKind::kEnhanced : MetafileKind::kWindows;
        source = std::make_unique<MetafileSource>(bytes);
    } else if (spoolFd >= 0) {
        source = std::make_unique<MetafileSource>(spoolFd);
        kind = KindOfFile(*source);
    }
    if (kind == MetafileKind::kUnknown) {
        *cause = "the filter reported success but returned no picture";
        return false;
    }
    if (format != OutputFormat::kPng) {
        const bool wantEnhanced = format == OutputFormat::kEmf;
        if ((kind == MetafileKind::kEnhanced) != wantEnhanced) {
            *cause =
                wantEnhanced
                    ? "the filter made a Windows metafile where an enhanced metafile was asked for"
                    : "the filter made an enhanced metafile where a Windows metafile was asked for";
            return false;
        }
        if (!picture.metafile) return true;  // already in the output's file
        FileFailure failure;
        // The file was offered to the library; start it afresh in case it wrote anything.
        if (spoolFd >= 0 &&
            (std::fseek(output.stream(), 0, SEEK_SET) != 0 || !TruncateFile(spoolFd, 0))) {
            *cause = std::string("cannot write the output: ") + std::strerror(errno);
            return false;
        }
        const std::array<uint8_t, 22> placeable = PlaceableHeader(picture);
        if ((wantEnhanced || output.Write(placeable.data(), placeable.size(), &failure)) &&
            output.Write(bytes.data(), bytes.size(), &failure)) {
            return true;
        }
        *cause = failure.words;
        return false;
    }
    PngRowWriter png(output.stream());
    RowsOutcome rendered = RenderMetafileRows(*source, kind, png);
    if (!rendered.ok)
        *cause =
            rendered.sinkFailed ? rendered.error : "cannot render the picture: " + rendered.error;
    return rendered.ok;
}

}  // namespace

ConversionOutcome Convert(const FilterExports& filter, const ConversionTask& task,
                          const ConversionSettings& settings, const ProgressCallback& progress) {
    if (InterruptRequested()) return Interrupted();
    // A directory is told by the prologue's own open, without a stat per input.
    if (task.input != "-" && task.input.size() >= sizeof(SourceSpec::path)) {
        if (KindOfFile(task.input.c_str()) == FileKind::kDirectory) return Failed("is a directory");
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
    std::unique_ptr<PendingOutput> output =
        PendingOutput::Create(task.output, settings.fileMode, &failure);
    if (!output) return Failed(failure.words);

    // The library writes the metafile straight to a file: the output's own, or for PNG a
    // scratch file the picture is rendered from.
    std::unique_ptr<ScratchFile> scratch;
    if (task.format == OutputFormat::kPng) scratch = std::make_unique<ScratchFile>(task.output);
    const int spoolFd = scratch ? scratch->fd() : DescriptorOf(output->stream());
    // The library applies the limit too, as soon as it knows the size: to a pipe given by
    // name, which could not be looked at first, before any of the picture is made.
    ImportedPicture picture = ImportPicture(filter, task.input, task.format == OutputFormat::kWmf,
                                            progress, spoolFd, settings.maxPixels);
    if (InterruptRequested()) return Interrupted();
    if (picture.code == kPixelLimitResult && settings.maxPixels != 0) {
        return Failed("the picture has more pixels than the limit of " +
                      std::to_string(settings.maxPixels) +
                      " (--max-pixels N raises it, 0 removes it)");
    }
    if (picture.code == kVrJobReadFailed) {
        std::string words = ReadFailureInWords(picture.readFailure);
        if (settings.verbose) words += " (" + std::to_string(picture.code) + ")";
        return Failed(words, picture.code);
    }
    if (picture.code != 0)
        return Failed(DescribeFailure(picture.code, prologue, settings.verbose), picture.code);

    const int32_t width = std::abs(picture.bounds[2] - picture.bounds[0]);
    const int32_t height = std::abs(picture.bounds[3] - picture.bounds[1]);
    std::string cause;
    if (!WritePicture(picture, spoolFd, task.format, *output, &cause)) return Failed(cause);
    if (InterruptRequested()) return Interrupted();
    if (!output->Commit(&failure))
        return InterruptRequested() ? Interrupted() : Failed(failure.words);
    // The picture is complete; standard input is still read to its end, as a filter does.
    if (task.input == "-") DrainInput(kStandardInputFd);

    ConversionOutcome outcome;
    outcome.status = ConversionOutcome::Status::kDone;
    outcome.width = width;
    outcome.height = height;
    outcome.warning = ColourWarning(prologue);
    return outcome;
}

}  // namespace xpmimport

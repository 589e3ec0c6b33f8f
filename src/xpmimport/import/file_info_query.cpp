// File information through GetFileInfo.
#include "xpmimport/import/file_info_query.h"

#include <cerrno>
#include <cstring>

#include "xpmimport/import/fd_reader.h"
#include "xpmimport/import/result_messages.h"
#include "xpmimport/output/file_system.h"

namespace xpmimport {

InfoOutcome QueryFileInfo(const FilterExports& filter, const std::string& input, bool verbose) {
    InfoOutcome outcome;
    InputPrologue prologue;
    std::string error;
    if (input != "-") {
        if (KindOfFile(input.c_str()) == FileKind::kDirectory) {
            outcome.cause = "is a directory";
            return outcome;
        }
    }
    if (!(input == "-" ? ReadStandardInputPrologue(&prologue, &error)
                       : ReadFilePrologue(input, &prologue, &error))) {
        outcome.cause = std::string(ResultInWords(7)) + ": " + error;
        return outcome;
    }
    if (prologue.kind != InputKind::kXpm && prologue.kind != InputKind::kUnread) {
        outcome.cause = NotXpmInWords(prologue.kind);
        return outcome;
    }
    FileInfoRecord record = {};
    record.size = sizeof record;
    int32_t code = 0;
    if (input == "-") {
        FdReader reader{kStandardInputFd, 0};
        code = filter.getFileInfo("", &record, reinterpret_cast<uintptr_t>(&reader), ReadFromFd);
    } else {
        code = filter.getFileInfo(input.c_str(), &record, 0, nullptr);
    }
    if (code != 0) {
        outcome.code = code;
        outcome.cause = DescribeFailure(code, prologue, verbose);
        return outcome;
    }
    outcome.ok = true;
    outcome.width = record.imageWidth;
    outcome.height = record.imageHeight;
    outcome.colors = prologue.colors;
    outcome.warning = ColourWarning(prologue);
    return outcome;
}

}  // namespace xpmimport

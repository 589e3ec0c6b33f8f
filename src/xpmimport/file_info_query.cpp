// File information through GetFileInfo.
#include "xpmimport/file_info_query.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "xpmimport/fd_reader.h"
#include "xpmimport/result_messages.h"

namespace xpmimport {

InfoOutcome QueryFileInfo(const FilterExports& filter, const std::string& input) {
    InfoOutcome outcome;
    FileInfoRecord record = {};
    record.size = sizeof record;
    int32_t code = 0;
    if (input == "-") {
        FdReader reader{STDIN_FILENO, 0};
        code = filter.getFileInfo("", &record, reinterpret_cast<uintptr_t>(&reader), ReadFromFd);
    } else {
        int fd = open(input.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            outcome.cause = std::string(ResultInWords(7)) + ": " + std::strerror(errno);
            return outcome;
        }
        struct stat info = {};
        bool directory = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
        close(fd);
        if (directory) {
            outcome.cause = "is a directory";
            return outcome;
        }
        code = filter.getFileInfo(input.c_str(), &record, 0, nullptr);
    }
    if (code != 0) {
        outcome.code = code;
        outcome.cause = DescribeResult(code);
        return outcome;
    }
    outcome.ok = true;
    outcome.width = record.imageWidth;
    outcome.height = record.imageHeight;
    return outcome;
}

}  // namespace xpmimport

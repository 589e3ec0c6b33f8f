// The mapping of writer codes to filter results, one row per code or range of codes.
#include "output/writer_errors.h"

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"

namespace xpmfilter {
namespace {

struct WriterErrorRow {
    uint32_t first, last;  // writer codes, inclusive
    int32_t result;
};
// Writer code 302 depends on its detail; every code not listed gives kXpmWriterFailed.
constexpr WriterErrorRow kWriterErrorRows[] = {
    {kVrErrNone, kVrErrNone, kXpmOk},
    {76, 76, kXpmOk},
    {20, 20, kXpmWriterCode20},
    {21, 26, kXpmWriterCodes21To26},
    {161, 166, kXpmWriterCodes161To166},
    {168, 168, kXpmWriterCode168},
    {kVrErrMemory, kVrErrMemory, kXpmNoMemory},
    {kVrErrCannotCreate, kVrErrCannotCreate, kXpmCannotCreateOutput},
    {kVrErrTooLargeForFormat, kVrErrTooLargeForFormat, kXpmTooLargeForFormat},
    {304, 305, kXpmWriterCodes304And305},
    {kVrErrStopped, kVrErrStopped, kXpmStopped},
};

}  // namespace

int32_t MapWriterError(int32_t code, int32_t detail) {
    // Unsigned on purpose: a negative writer code is no known code and falls to the default.
    const auto writerCode = static_cast<uint32_t>(code);
    if (writerCode == kVrErrWrite)
        return detail == kVrErrDetailDiskFull ? kXpmDiskFull : kXpmWriteFailed;
    for (const WriterErrorRow& row : kWriterErrorRows)
        if (writerCode >= row.first && writerCode <= row.last) return row.result;
    return kXpmWriterFailed;
}

int32_t CheckWriterError(const ImportContext& import, int16_t pair[2]) {
    uint32_t flag = 0;
    Gdi().WriterGetError(import.writer, 1, &flag, pair);
    if (flag == 0) return kXpmOk;
    return MapWriterError(static_cast<int32_t>(pair[0]), static_cast<int32_t>(pair[1]));
}

}  // namespace xpmfilter

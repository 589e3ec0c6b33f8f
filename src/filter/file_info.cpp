// GetFileInfo and the routines that fill the host's FileInfoRecord.
#include "filter/file_info.h"

#include <cstddef>
#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"
#include "filter/input_source.h"
#include "xpm/header_values.h"

namespace xpmfilter {
namespace {

constexpr int32_t kMaxRecordSize = static_cast<int32_t>(sizeof(FileInfoRecord));

// A field is usable only when it lies wholly within the declared size (at least 1 by now): a
// size that ends inside a field leaves that field absent, so nothing is written past the size.
bool FieldFits(const FileInfoRecord& record, size_t offset, size_t width) {
    return static_cast<size_t>(record.size) >= offset + width;
}

// Stores the width (item 3) or the height (item 4) when it is at least 1 and its field fits;
// the item's bit in validItems too when that field fits.
bool SetFileInfoItem(FileInfoRecord& record, int item, size_t offset, int32_t value) {
    if (value < 1 || !FieldFits(record, offset, sizeof value)) return false;
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, sizeof value);
    if (FieldFits(record, offsetof(FileInfoRecord, validItems), sizeof record.validItems))
        record.validItems |= 1u << (item - 1);
    return true;
}

}  // namespace

int32_t ReadFileInfo(StreamHandle stream, FileInfoRecord& record) {
    if (record.size < 1 || record.size > kMaxRecordSize) return kXpmInfoBadRecordSize;
    XpmValues values{};
    // The reader's own result is not looked at: a refused line still leaves its numbers.
    if (stream != nullptr) (void)ReadValuesLine(stream, values);
    if (!SetFileInfoItem(record, 3, offsetof(FileInfoRecord, imageWidth), values.width) ||
        !SetFileInfoItem(record, 4, offsetof(FileInfoRecord, imageHeight), values.height))
        return kXpmInfoValueRefused;
    return kXpmOk;
}

}  // namespace xpmfilter

// Reads an XPM image's width and height into record without importing it. The input is the
// caller's read routine (handle is its user data), else the global memory block `handle` when
// path is empty, else the file `path`. The record is cleared from offset 4 up to its declared
// size first. Returns 0, 17922 (no size could be stored) or 17923 (size outside 1 to 64).
// A null record gives 17923. The memory block is locked only for the length of the call.
extern "C" XPMFILTER_API int32_t GetFileInfo(const char* path, FileInfoRecord* record,
                                             uint64_t handle, VrReadRoutine routine) {
    using namespace xpmfilter;
    if (record == nullptr) return kXpmInfoBadRecordSize;
    if (path == nullptr) path = "";
    // The handle is the routine's user data, or else the memory block.
    const InputOrigin origin{path, reinterpret_cast<uint64_t>(routine), handle,
                             routine == nullptr ? reinterpret_cast<HGLOBAL>(handle) : nullptr};
    InputSource input;
    StreamHandle stream = OpenInputStream(input, origin);
    if (stream == nullptr) UnlockInputMemory(input);

    if (record->size > 4)
        std::memset(reinterpret_cast<unsigned char*>(record) + 4, 0,
                    static_cast<size_t>(record->size) - 4);
    const int32_t result = ReadFileInfo(stream, *record);

    if (stream != nullptr) {
        UnlockInputMemory(input);
        Gdi().StreamClose(stream);
    }
    return result;
}

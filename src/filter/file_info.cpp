// GetFileInfo and the routines that fill the host's FileInfoRecord.
#include "filter/file_info.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"
#include "filter/input_source.h"
#include "xpm/header_values.h"

namespace xpmfilter {
namespace {

enum class ItemRule { kPositiveFloat, kPositiveInt, kFlag };

struct ItemField {
    size_t offset;
    size_t width;
    ItemRule rule;
};

// Items 1 to 9, by number - 1.
constexpr ItemField kItems[9] = {
    {offsetof(FileInfoRecord, item1), 8, ItemRule::kPositiveFloat},
    {offsetof(FileInfoRecord, item2), 8, ItemRule::kPositiveFloat},
    {offsetof(FileInfoRecord, imageWidth), 4, ItemRule::kPositiveInt},
    {offsetof(FileInfoRecord, imageHeight), 4, ItemRule::kPositiveInt},
    {offsetof(FileInfoRecord, item5), 4, ItemRule::kPositiveInt},
    {offsetof(FileInfoRecord, item6), 4, ItemRule::kPositiveInt},
    {offsetof(FileInfoRecord, item7), 4, ItemRule::kPositiveInt},
    {offsetof(FileInfoRecord, item8), 4, ItemRule::kFlag},
    {offsetof(FileInfoRecord, item9), 4, ItemRule::kPositiveInt},
};

constexpr int32_t kMaxRecordSize = static_cast<int32_t>(sizeof(FileInfoRecord));

// A field is usable only when it lies wholly within the declared size: a size that ends
// inside a field leaves that field absent, so nothing is ever written past the size.
bool FieldFits(const FileInfoRecord& record, size_t offset, size_t width) {
    return record.size > 0 && static_cast<size_t>(record.size) >= offset + width;
}

bool Accepts(ItemRule rule, const void* value) {
    if (rule == ItemRule::kPositiveFloat) {
        double number;
        std::memcpy(&number, value, sizeof number);
        return number > 0.0;  // false for NaN too
    }
    int32_t number;
    std::memcpy(&number, value, sizeof number);
    return rule == ItemRule::kFlag ? (number == 0 || number == 1) : number >= 1;
}

}  // namespace

int32_t SetFileInfoItem(FileInfoRecord& record, int32_t item, const void* value) {
    if (item < 1 || item > 9) return kXpmInfoItemAbsent;
    const ItemField& field = kItems[item - 1];
    if (!Accepts(field.rule, value)) return kXpmInfoValueRefused;
    if (!FieldFits(record, field.offset, field.width)) return kXpmInfoItemAbsent;
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + field.offset, value, field.width);
    if (FieldFits(record, offsetof(FileInfoRecord, validItems), sizeof record.validItems))
        record.validItems |= 1u << (item - 1);
    return kXpmOk;
}

int32_t ReadFileInfo(StreamHandle stream, FileInfoRecord& record) {
    if (record.size < 1 || record.size > kMaxRecordSize) return kXpmInfoBadRecordSize;
    XpmValues values{};
    // The reader's own result is not looked at: a refused line still leaves its numbers.
    if (stream != nullptr) (void)ReadValuesLine(stream, values);
    if (SetFileInfoItem(record, 3, &values.width) != kXpmOk) return kXpmInfoValueRefused;
    if (SetFileInfoItem(record, 4, &values.height) != kXpmOk) return kXpmInfoValueRefused;
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

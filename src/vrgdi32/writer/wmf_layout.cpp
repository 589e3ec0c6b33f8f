// The Windows Metafile's records (see wmf_layout.h). The standard header, the window records
// and the end record are made by libUEMF; the placeable header, the stretch-DIB record's
// fixed part and the bitmap's header are filled here.
#include "writer/wmf_layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <uwmf.h>

#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint16_t kDibRgbColours = 0;
constexpr uint32_t kMaxCoordinate = 32767;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableBytes = 22;
constexpr std::size_t kHeaderBytes = 18;
constexpr std::size_t kWindowRecordBytes = 10;
constexpr uint16_t kStretchDibFunction = 0x0F43;
constexpr std::size_t kStretchDibHeadBytes = 28;
constexpr uint32_t kDibHeaderBytes = 40;

static_assert(offsetof(U_WMRSTRETCHDIB, dib) == kStretchDibHeadBytes);
static_assert(offsetof(U_WMRSTRETCHDIB, xDst) == 26);
static_assert(offsetof(U_WMRPLACEABLE, Dst) == 6);
static_assert(offsetof(U_WMRPLACEABLE, Inch) == 14);
static_assert(offsetof(U_WMRPLACEABLE, Checksum) == 20);
static_assert(offsetof(U_WMRHEADER, Sizew) == 6);
static_assert(offsetof(U_WMRHEADER, maxSize) == 12);
static_assert(kWmfBitmapInfoBytes == kDibHeaderBytes + 4 * 256);

void Put16(uint8_t* at, uint16_t value) {
    std::memcpy(at, &value, sizeof value);
}
void Put32(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

// Appends a record made by libUEMF (its first u32 is its size in 16-bit words) and frees
// it; false when it is null or does not fit.
bool AppendRecord(char* record, ByteBuilder& out) {
    if (record == nullptr) return false;
    uint32_t words = 0;
    std::memcpy(&words, record, sizeof words);
    const bool appended = out.Append(record, std::size_t{words} * 2);
    std::free(record);
    return appended;
}

int16_t Coordinate(uint32_t value) {
    return static_cast<int16_t>(value);
}

// Logical units to the pixel: 2 in a file when a side is 1 pixel (see wmf_layout.h) and
// the doubled picture still fits, else 1.
uint32_t Scale(const PictureShape& shape, MetafileForm form) {
    const uint32_t longer = std::max(shape.width, shape.height);
    const bool thin = shape.width == 1 || shape.height == 1;
    return form == MetafileForm::kFile && thin && 2 * longer <= kMaxCoordinate &&
                   2 * static_cast<uint32_t>(shape.unitsPerInch) <= 0xFFFF
               ? 2
               : 1;
}

// The placeable header: bounds in logical units and the units per inch, closed by the XOR
// of its first ten 16-bit words.
void PutPlaceable(const PictureShape& shape, uint32_t scale, uint8_t* at) {
    std::memset(at, 0, kPlaceableBytes);
    Put32(at, kPlaceableKey);
    Put16(at + offsetof(U_WMRPLACEABLE, Dst) + offsetof(U_RECT16, right),
          static_cast<uint16_t>(shape.width * scale));
    Put16(at + offsetof(U_WMRPLACEABLE, Dst) + offsetof(U_RECT16, bottom),
          static_cast<uint16_t>(shape.height * scale));
    Put16(at + offsetof(U_WMRPLACEABLE, Inch), static_cast<uint16_t>(shape.unitsPerInch * scale));
    uint16_t checksum = 0;
    for (std::size_t i = 0; i < offsetof(U_WMRPLACEABLE, Checksum); i += 2)
        checksum ^= static_cast<uint16_t>(at[i] | at[i + 1] << 8);
    Put16(at + offsetof(U_WMRPLACEABLE, Checksum), checksum);
}

// The fixed part of the record that draws rows x width pixels from the top-left corner.
void PutStretchDib(uint32_t width, uint32_t rows, uint32_t scale, uint8_t* out) {
    const uint32_t stride = (width + 3) / 4 * 4;
    const uint64_t bytes = kStretchDibHeadBytes + kWmfBitmapInfoBytes + uint64_t{rows} * stride;
    Put32(out, static_cast<uint32_t>(bytes / 2));
    Put16(out + 4, kStretchDibFunction);
    Put32(out + 6, kSrcCopy);
    Put16(out + 10, kDibRgbColours);
    // Source height, width, y, x; then the destination's; last to first as the format has it.
    const int16_t values[8] = {Coordinate(rows),         Coordinate(width),         0, 0,
                               Coordinate(rows * scale), Coordinate(width * scale), 0, 0};
    std::memcpy(out + 12, values, sizeof values);
}

}  // namespace

int16_t WindowsMetafileHead(const PictureShape& shape, MetafileForm form, ByteBuilder& out) {
    if (shape.width > kMaxCoordinate || shape.height > kMaxCoordinate ||
        shape.unitsPerInch > 0xFFFF) {
        return kVrErrTooLargeForFormat;
    }
    const uint32_t scale = Scale(shape, form);
    const bool file = form == MetafileForm::kFile;
    const bool pixels = shape.width != 0 && shape.height != 0;
    const std::size_t start = out.size();
    if (file) {
        uint8_t* placeable = out.Extend(kPlaceableBytes);
        if (placeable == nullptr) return kVrErrMemory;
        PutPlaceable(shape, scale, placeable);
    }
    char* header = U_WMRHEADER_set(nullptr, static_cast<unsigned>(shape.unitsPerInch));
    if (header == nullptr) return kVrErrMemory;
    // The record is 18 bytes; the struct that describes it is padded to 20.
    const bool headerAppended = out.Append(header, kHeaderBytes);
    std::free(header);
    if (!headerAppended) return kVrErrMemory;
    if (!file) {
        const U_POINT16 extent{Coordinate(shape.width), Coordinate(shape.height)};
        if (!AppendRecord(U_WMRSETWINDOWORG_set(U_POINT16{0, 0}), out) ||
            !AppendRecord(U_WMRSETWINDOWEXT_set(extent), out)) {
            return kVrErrMemory;
        }
    }
    if (pixels) {
        uint8_t* record = out.Extend(kStretchDibHeadBytes);
        if (record == nullptr) return kVrErrMemory;
        PutStretchDib(shape.width, shape.height, scale, record);
    }
    // The totals, which libUEMF leaves to its own file writer: the size counts the metafile
    // after the placeable header, in 16-bit words; the largest record is the bitmap unless
    // there is none.
    uint8_t* standard = out.data() + start + (file ? kPlaceableBytes : 0);
    const uint64_t stride = (uint64_t{shape.width} + 3) / 4 * 4;
    const uint64_t recordWords =
        pixels ? (kStretchDibHeadBytes + kWmfBitmapInfoBytes + shape.height * stride) / 2 : 0;
    const uint64_t words =
        (kHeaderBytes + (file ? 0 : 2 * kWindowRecordBytes) + kWmfEofBytes) / 2 + recordWords;
    const uint64_t otherwise = (file ? kWmfEofBytes : kWindowRecordBytes) / 2;
    Put16(standard + offsetof(U_WMRHEADER, Sizew), static_cast<uint16_t>(words));
    Put16(standard + offsetof(U_WMRHEADER, Sizew) + 2, static_cast<uint16_t>(words >> 16));
    Put16(standard + offsetof(U_WMRHEADER, nObjects), 0);
    Put32(standard + offsetof(U_WMRHEADER, maxSize),
          static_cast<uint32_t>(pixels ? recordWords : otherwise));
    return 0;
}

void PutWindowsMetafileBitmapInfo(const PictureShape& shape, const BandInk& ink, uint8_t* out) {
    const uint32_t stride = (shape.width + 3) / 4 * 4;
    Put32(out + 0, kDibHeaderBytes);
    Put32(out + 4, shape.width);
    Put32(out + 8, shape.height);  // positive height: the bottom row comes first
    Put16(out + 12, 1);
    Put16(out + 14, 8);
    Put32(out + 16, 0);  // BI_RGB
    Put32(out + 20, shape.height * stride);
    Put32(out + 24, ink.pixelsPerMetre);
    Put32(out + 28, ink.pixelsPerMetre);
    Put32(out + 32, 256);
    Put32(out + 36, 0);
    uint8_t* table = out + kDibHeaderBytes;
    std::memset(table, 0, 4 * 256);
    if (ink.colourTable != nullptr)
        std::memcpy(table, ink.colourTable, 4 * std::size_t{ink.colours});
}

int16_t WindowsMetafileTail(ByteBuilder& out) {
    return AppendRecord(U_WMREOF_set(), out) ? 0 : kVrErrMemory;
}

}  // namespace vrgdi32

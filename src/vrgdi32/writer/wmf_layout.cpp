// The Windows Metafile layout (see metafile_layout.h). The standard header, the window
// records and the end record are made by libUEMF; the placeable header and the
// stretch-DIB record's fixed part are filled here.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <uwmf.h>

#include "writer/metafile_layout.h"
#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint16_t kDibRgbColours = 0;
constexpr uint32_t kMaxCoordinate = 32767;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableBytes = 22;
constexpr uint16_t kStretchDibFunction = 0x0F43;
constexpr std::size_t kStretchDibHeadBytes = 28;

static_assert(offsetof(U_WMRSTRETCHDIB, dib) == kStretchDibHeadBytes);
static_assert(offsetof(U_WMRSTRETCHDIB, xDst) == 26);
static_assert(offsetof(U_WMRPLACEABLE, Checksum) == 20);
static_assert(offsetof(U_WMRHEADER, Sizew) == 6);
static_assert(offsetof(U_WMRHEADER, maxSize) == 12);

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

// The placeable header: bounds in logical units (pixels) and the units per inch, closed by
// the XOR of its first ten 16-bit words.
void PutPlaceable(const PictureShape& shape, uint8_t* at) {
    std::memset(at, 0, kPlaceableBytes);
    Put32(at, kPlaceableKey);
    Put16(at + 10, static_cast<uint16_t>(shape.width));
    Put16(at + 12, static_cast<uint16_t>(shape.height));
    Put16(at + 14, static_cast<uint16_t>(shape.unitsPerInch));
    uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<uint16_t>(at[i] | at[i + 1] << 8);
    Put16(at + 20, checksum);
}

class WindowsLayout final : public MetafileLayout {
  public:
    int16_t Head(const PictureShape& shape, const MetafileTotals& totals,
                 ByteBuilder& out) const override {
        if (shape.width > kMaxCoordinate || shape.height > kMaxCoordinate ||
            shape.unitsPerInch > 0xFFFF) {
            return kVrErrTooLargeForFormat;
        }
        const std::size_t start = out.size();
        uint8_t* placeable = out.Extend(kPlaceableBytes);
        if (placeable == nullptr) return kVrErrMemory;
        PutPlaceable(shape, placeable);
        char* header = U_WMRHEADER_set(nullptr, static_cast<unsigned>(shape.unitsPerInch));
        if (header == nullptr) return kVrErrMemory;
        // The record is 18 bytes; the struct that describes it is padded to 20.
        const std::size_t headerBytes =
            std::size_t{reinterpret_cast<const U_WMRHEADER*>(header)->Size16w} * 2;
        const bool headerAppended = out.Append(header, headerBytes);
        std::free(header);
        if (!headerAppended) return kVrErrMemory;
        const U_POINT16 extent{Coordinate(shape.width), Coordinate(shape.height)};
        if (!AppendRecord(U_WMRSETWINDOWORG_set(U_POINT16{0, 0}), out) ||
            !AppendRecord(U_WMRSETWINDOWEXT_set(extent), out)) {
            return kVrErrMemory;
        }
        // The totals, which libUEMF leaves to its own file writer: the size counts the
        // metafile after the placeable header, in 16-bit words; the largest record is a
        // bitmap unless there is none (then the 5-word window records).
        uint8_t* standard = out.data() + start + kPlaceableBytes;
        const std::size_t words =
            (totals.bytes < kPlaceableBytes ? 0 : totals.bytes - kPlaceableBytes) / 2;
        Put16(standard + offsetof(U_WMRHEADER, Sizew), static_cast<uint16_t>(words));
        Put16(standard + offsetof(U_WMRHEADER, Sizew) + 2, static_cast<uint16_t>(words >> 16));
        Put16(standard + offsetof(U_WMRHEADER, nObjects), 0);
        const std::size_t largest = totals.largestBitmapRecordBytes / 2;
        Put32(standard + offsetof(U_WMRHEADER, maxSize),
              static_cast<uint32_t>(largest > 5 ? largest : 5));
        return 0;
    }

    std::size_t RecordHeadBytes() const override { return kStretchDibHeadBytes; }

    void RecordHead(const BitmapRecordShape& r, uint8_t* out) const override {
        const uint32_t words =
            static_cast<uint32_t>((kStretchDibHeadBytes + r.infoBytes + r.pixelBytes) / 2);
        Put32(out, words);
        Put16(out + 4, kStretchDibFunction);
        Put32(out + 6, kSrcCopy);
        Put16(out + 10, kDibRgbColours);
        // Source height, width, y, x; then the destination's; last to first as the format has it.
        const int16_t values[8] = {
            Coordinate(r.rows),  Coordinate(r.width), 0, 0, Coordinate(r.rows),
            Coordinate(r.width), Coordinate(r.y),     0};
        std::memcpy(out + 12, values, sizeof values);
    }

    int16_t Tail(ByteBuilder& out) const override {
        return AppendRecord(U_WMREOF_set(), out) ? 0 : kVrErrMemory;
    }
};

}  // namespace

const MetafileLayout& WindowsMetafileLayout() {
    static const WindowsLayout layout;
    return layout;
}

}  // namespace vrgdi32

// The Enhanced Metafile layout (see metafile_layout.h). The header and the end record are
// made by libUEMF; the stretch-DIB record's fixed part is filled here, as libUEMF would, so
// that its pixels can follow straight from the band without another copy.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <uemf.h>

#include "writer/metafile_layout.h"
#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
// The reference device: ten inches square at the picture's own resolution.
constexpr int32_t kReferenceMillimetres = 254;

static_assert(sizeof(U_EMRSTRETCHDIBITS) == 80);
static_assert(offsetof(U_EMRSTRETCHDIBITS, offBmiSrc) == 48);
static_assert(offsetof(U_EMRSTRETCHDIBITS, cDest) == 72);

// Appends one record made by libUEMF and frees it; false when it is null or does not fit.
bool AppendRecord(char* record, ByteBuilder& out) {
    if (record == nullptr) return false;
    const uint32_t bytes = reinterpret_cast<const U_EMR*>(record)->nSize;
    const bool appended = out.Append(record, bytes);
    std::free(record);
    return appended;
}

void Put32(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

class EnhancedLayout final : public MetafileLayout {
  public:
    int16_t Head(const PictureShape& shape, const MetafileTotals& totals,
                 ByteBuilder& out) const override {
        const int32_t width = static_cast<int32_t>(shape.width);
        const int32_t height = static_cast<int32_t>(shape.height);
        const U_RECTL bounds{0, 0, width - 1, height - 1};
        const U_RECTL frame{0, 0, shape.frameWidthHundredthsMm - 1,
                            shape.frameHeightHundredthsMm - 1};
        const auto devicePixels =
            static_cast<int32_t>(std::min<int64_t>(int64_t{shape.unitsPerInch} * 10, INT32_MAX));
        const U_SIZEL device{devicePixels, devicePixels};
        const U_SIZEL millimetres{kReferenceMillimetres, kReferenceMillimetres};
        const std::size_t start = out.size();
        if (!AppendRecord(
                U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, device, millimetres, 0), out)) {
            return kVrErrMemory;
        }
        // The totals, which libUEMF leaves to its own file writer. Records: the header, the
        // bitmaps and the end.
        uint8_t* header = out.data() + start;
        Put32(header + offsetof(U_EMRHEADER, nBytes), static_cast<uint32_t>(totals.bytes));
        Put32(header + offsetof(U_EMRHEADER, nRecords), totals.bitmapRecords + 2);
        const uint16_t handles = 1;  // handle 0 is reserved; no objects are created
        std::memcpy(header + offsetof(U_EMRHEADER, nHandles), &handles, sizeof handles);
        return 0;
    }

    std::size_t RecordHeadBytes() const override { return sizeof(U_EMRSTRETCHDIBITS); }

    void RecordHead(const BitmapRecordShape& r, uint8_t* out) const override {
        const auto y = static_cast<int32_t>(r.y);
        const auto w = static_cast<int32_t>(r.width);
        const auto rows = static_cast<int32_t>(r.rows);
        U_EMRSTRETCHDIBITS head{};  // Src (0, 0), iUsageSrc DIB_RGB_COLORS: zeros
        head.emr.iType = U_EMR_STRETCHDIBITS;
        head.emr.nSize = static_cast<uint32_t>(sizeof head) + r.infoBytes + r.pixelBytes;
        head.rclBounds = U_RECTL{0, y, w - 1, y + rows - 1};
        head.Dest = U_POINTL{0, y};
        head.cSrc = U_POINTL{w, rows};
        head.offBmiSrc = sizeof head;
        head.cbBmiSrc = r.infoBytes;
        head.offBitsSrc = static_cast<uint32_t>(sizeof head) + r.infoBytes;
        head.cbBitsSrc = r.pixelBytes;
        head.dwRop = kSrcCopy;
        head.cDest = U_POINTL{w, rows};
        std::memcpy(out, &head, sizeof head);
    }

    int16_t Tail(ByteBuilder& out) const override {
        EMFTRACK track{};
        return AppendRecord(U_EMREOF_set(0, nullptr, &track), out) ? 0 : kVrErrMemory;
    }
};

}  // namespace

const MetafileLayout& EnhancedMetafileLayout() {
    static const EnhancedLayout layout;
    return layout;
}

}  // namespace vrgdi32

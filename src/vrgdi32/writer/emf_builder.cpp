// Enhanced Metafile bytes from a recorded picture, records made by libUEMF: a header
// whose bounds are the bitmap in pixels and whose frame comes from the units, one
// EMR_STRETCHDIBITS per band, and EMR_EOF.
#include <cstdlib>
#include <cstring>

#include <uemf.h>

#include "writer/metafile_builder.h"
#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint32_t kDibRgbColours = 0;
// The reference device: ten inches square at the picture's own resolution.
constexpr int32_t kReferenceMillimetres = 254;

// Appends one record made by libUEMF and frees it; false when it is null or does not fit.
bool AppendRecord(char* record, ByteBuilder& out, uint32_t& records) {
    if (record == nullptr) return false;
    const uint32_t bytes = reinterpret_cast<const U_EMR*>(record)->nSize;
    const bool appended = out.Append(record, bytes);
    std::free(record);
    if (appended) ++records;
    return appended;
}

void Put32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

int16_t BuildEnhancedMetafile(const Picture& picture, ByteBuilder& out) {
    const int32_t width = static_cast<int32_t>(picture.width());
    const int32_t height = static_cast<int32_t>(picture.height());
    const U_RECTL bounds{0, 0, width - 1, height - 1};
    const U_RECTL frame{0, 0, picture.frameWidthHundredthsMm() - 1,
                        picture.frameHeightHundredthsMm() - 1};
    int64_t devicePixels = int64_t{picture.unitsPerInch()} * 10;
    if (devicePixels > INT32_MAX) devicePixels = INT32_MAX;
    const U_SIZEL device{static_cast<int32_t>(devicePixels), static_cast<int32_t>(devicePixels)};
    const U_SIZEL millimetres{kReferenceMillimetres, kReferenceMillimetres};

    uint32_t records = 0;
    if (!AppendRecord(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, device, millimetres, 0),
                      out, records)) {
        return kVrErrMemory;
    }
    for (const RecordedBand& band : picture.bands()) {
        const int32_t x = static_cast<int32_t>(band.x);
        const int32_t y = static_cast<int32_t>(band.y);
        const int32_t w = static_cast<int32_t>(band.width);
        const int32_t rows = static_cast<int32_t>(band.rows);
        auto* info = reinterpret_cast<PU_BITMAPINFO>(band.dib.data());
        auto* pixels = reinterpret_cast<char*>(band.dib.data() + band.infoBytes);
        char* record = U_EMRSTRETCHDIBITS_set(U_RECTL{x, y, x + w - 1, y + rows - 1}, U_POINTL{x, y},
                                              U_POINTL{w, rows}, U_POINTL{0, 0}, U_POINTL{w, rows},
                                              kDibRgbColours, kSrcCopy, info, band.pixelBytes, pixels);
        if (!AppendRecord(record, out, records)) return kVrErrMemory;
    }
    EMFTRACK track{};
    if (!AppendRecord(U_EMREOF_set(0, nullptr, &track), out, records)) return kVrErrMemory;

    // The header's totals are known only now (libUEMF leaves them to its file writer).
    Put32(out.data() + offsetof(U_EMRHEADER, nBytes), static_cast<uint32_t>(out.size()));
    Put32(out.data() + offsetof(U_EMRHEADER, nRecords), records);
    const uint16_t handles = 1;  // handle 0 is reserved; no objects are created
    std::memcpy(out.data() + offsetof(U_EMRHEADER, nHandles), &handles, sizeof handles);
    return 0;
}

}  // namespace vrgdi32

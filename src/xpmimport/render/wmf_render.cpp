// Walking a Windows Metafile: the window in force at the first bitmap record (or at the end)
// becomes the canvas, on the output rectangle that a placeable header gives it, and each
// bitmap record (META_STRETCHDIB, META_DIBSTRETCHBLT) goes to the target through the mapping
// then in force.
#include <algorithm>
#include <cmath>
#include <vector>

#include "xpmimport/render/byte_reader.h"
#include "xpmimport/render/metafile_canvas.h"

namespace xpmimport {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kRecordHeaderSize = 6;  // size in 16-bit words (u32), function (u16)
constexpr double kDeviceDpi = 96;

enum : uint16_t {
    kMetaEof = 0x0000,
    kMetaSaveDc = 0x001E,
    kMetaSetMapMode = 0x0103,
    kMetaRestoreDc = 0x0127,
    kMetaSetWindowOrg = 0x020B,
    kMetaSetWindowExt = 0x020C,
    kMetaSetViewportOrg = 0x020D,
    kMetaSetViewportExt = 0x020E,
    kMetaDibStretchBlt = 0x0B41,
    kMetaStretchDib = 0x0F43,
};

[[nodiscard]] bool Fail(std::string* error, const std::string& why) {
    *error = "windows metafile: " + why;
    return false;
}

// Reads a bitmap record's parameters (after the 6-byte record header). META_STRETCHDIB has
// a colour-usage word that META_DIBSTRETCHBLT lacks; both list their values last to first.
[[nodiscard]] bool ReadBitmapRecord(uint16_t function, std::span<const uint8_t> record,
                                    BitmapDraw* draw, std::string* error) {
    const size_t usage = function == kMetaStretchDib ? 2 : 0;
    const size_t at = kRecordHeaderSize + 4 + usage;  // after the raster operation (and usage)
    if (!Holds(record, 0, at + 16)) {
        *error = "bitmap record too short";
        return false;
    }
    if (usage != 0 && U16At(record, kRecordHeaderSize + 4) != 0) {
        *error = "bitmap colours given as palette indices (DIB_PAL_COLORS) not handled";
        return false;
    }
    draw->rasterOp = U32At(record, kRecordHeaderSize);
    draw->srcHeight = I16At(record, at), draw->srcWidth = I16At(record, at + 2);
    draw->srcY = I16At(record, at + 4), draw->srcX = I16At(record, at + 6);
    draw->destHeight = I16At(record, at + 8), draw->destWidth = I16At(record, at + 10);
    draw->destY = I16At(record, at + 12), draw->destX = I16At(record, at + 14);
    std::span<const uint8_t> dib = record.subspan(at + 16);
    if (!Holds(dib, 0, 40)) {
        *error = "bitmap record without a bitmap header";
        return false;
    }
    // The bits follow the header and its colour table.
    uint64_t headerSize = U32At(dib, 0);
    uint16_t bitCount = U16At(dib, 14);
    uint64_t colors = U32At(dib, 32);
    if (colors == 0 && bitCount <= 8) colors = uint64_t{1} << bitCount;
    if (bitCount > 8) colors = 0;
    uint64_t infoSize = headerSize + colors * 4;
    if (!Holds(dib, 0, infoSize)) {
        *error = "bitmap header runs past its record";
        return false;
    }
    draw->info = dib.subspan(0, infoSize);
    draw->bits = dib.subspan(infoSize);
    return true;
}

// Hands the canvas that the window of `framing` makes to target, with the origin to subtract.
[[nodiscard]] bool BeginCanvas(const PageTransform& framing, PictureTarget& target, double* originX,
                               double* originY, std::string* error) {
    if (!framing.windowExtSet) {
        *error = "no window and no placeable header: picture size unknown";
        return false;
    }
    if (!framing.usable()) {
        *error = "map mode " + std::to_string(framing.mapMode) +
                 " (or a zero window extent) not handled";
        return false;
    }
    DevicePoint a = framing.toDevice(framing.windowOrgX, framing.windowOrgY);
    DevicePoint b = framing.toDevice(framing.windowOrgX + framing.windowExtX,
                                     framing.windowOrgY + framing.windowExtY);
    *originX = std::min(a.x, b.x), *originY = std::min(a.y, b.y);
    const int64_t width = std::llround(std::fabs(b.x - a.x)),
                  height = std::llround(std::fabs(b.y - a.y));
    return CanvasSizeAllowed(width, height, error) &&
           target.begin(static_cast<int32_t>(width), static_cast<int32_t>(height), error);
}

}  // namespace

// A malformed record anywhere refuses the metafile before any drawing fault does, so the
// first drawing fault waits until every record has been read.
bool WalkWindowsMetafile(MetafileSource& source, PictureTarget& target, std::string* error) {
    uint64_t offset = 0;
    PageTransform page;
    page.mapMode = kMapModeAnisotropic;  // how a player prepares its device for a metafile
    std::span<const uint8_t> bytes;
    if (source.holds(0, kPlaceableSize)) {
        if (!source.read(0, kPlaceableSize, &bytes)) return Fail(error, source.readError());
        if (U32At(bytes, 0) == kPlaceableKey) {
            int16_t left = I16At(bytes, 6), top = I16At(bytes, 8), right = I16At(bytes, 10),
                    bottom = I16At(bytes, 12);
            page.windowOrgX = left, page.windowOrgY = top;
            page.windowExtX = right - left, page.windowExtY = bottom - top;
            page.windowExtSet = true;
            // As a file reader places it: the box at its size on a 96-dpi device.
            const uint16_t inch = U16At(bytes, 14);
            if (inch != 0) {
                page.viewportExtX = std::round(std::fabs(page.windowExtX) * kDeviceDpi / inch);
                page.viewportExtY = std::round(std::fabs(page.windowExtY) * kDeviceDpi / inch);
                page.viewportExtSet = page.viewportExtX != 0 && page.viewportExtY != 0;
            }
            offset = kPlaceableSize;
        }
    }
    if (!source.holds(offset, 18)) return Fail(error, "no metafile header");
    if (!source.read(offset, 18, &bytes)) return Fail(error, source.readError());
    uint16_t kind = U16At(bytes, 0), headerWords = U16At(bytes, 2);
    if ((kind != 1 && kind != 2) || headerWords != 9) return Fail(error, "no metafile header");
    offset += 18;

    std::vector<PageTransform> saved;
    std::string why, drawFault;
    bool begun = false;
    double originX = 0, originY = 0;
    while (offset < source.size()) {
        std::span<const uint8_t> record;
        if (!source.holds(offset, kRecordHeaderSize))
            return Fail(error, "record cut short at byte " + std::to_string(offset));
        if (!source.read(offset, kRecordHeaderSize, &record))
            return Fail(error, source.readError());
        uint64_t size = uint64_t{U32At(record, 0)} * 2;
        uint16_t function = U16At(record, 4);
        if (size < kRecordHeaderSize || !source.holds(offset, size)) {
            return Fail(error, "record of " + std::to_string(size) + " bytes at byte " +
                                   std::to_string(offset));
        }
        if (!source.read(offset, size, &record)) return Fail(error, source.readError());
        offset += size;
        const bool hasPoint = size >= kRecordHeaderSize + 4;
        double y = hasPoint ? I16At(record, 6) : 0, x = hasPoint ? I16At(record, 8) : 0;
        switch (function) {
            case kMetaEof:
                offset = source.size();
                break;
            case kMetaSetMapMode:
                if (size < kRecordHeaderSize + 2) return Fail(error, "SetMapMode record too short");
                page.mapMode = U16At(record, 6);
                break;
            case kMetaSetWindowOrg:
            case kMetaSetWindowExt:
            case kMetaSetViewportOrg:
            case kMetaSetViewportExt:
                if (!hasPoint) return Fail(error, "coordinate record too short");
                if (function == kMetaSetWindowOrg) page.windowOrgX = x, page.windowOrgY = y;
                if (function == kMetaSetWindowExt)
                    page.windowExtX = x, page.windowExtY = y, page.windowExtSet = true;
                if (function == kMetaSetViewportOrg) page.viewportOrgX = x, page.viewportOrgY = y;
                if (function == kMetaSetViewportExt)
                    page.viewportExtX = x, page.viewportExtY = y, page.viewportExtSet = true;
                break;
            case kMetaSaveDc:
                saved.push_back(page);
                break;
            case kMetaRestoreDc: {
                int16_t relative = size >= kRecordHeaderSize + 2 ? I16At(record, 6) : -1;
                int64_t keep = relative < 0 ? static_cast<int64_t>(saved.size()) + relative
                                            : int64_t{relative} - 1;
                if (keep < 0 || keep >= static_cast<int64_t>(saved.size()))
                    return Fail(error, "RestoreDC to a state never saved");
                page = saved[static_cast<size_t>(keep)];
                saved.resize(static_cast<size_t>(keep));
                break;
            }
            case kMetaStretchDib:
            case kMetaDibStretchBlt: {
                BitmapDraw draw;
                DibPlacement placement;
                if (!ReadBitmapRecord(function, record, &draw, &why)) return Fail(error, why);
                if (!drawFault.empty()) break;
                bool drawn = true;
                if (!begun) {
                    begun = true;
                    drawn = BeginCanvas(page, target, &originX, &originY, &drawFault);
                }
                drawn = drawn &&
                        PlaceBitmapDraw(draw, page, originX, originY, &placement, &drawFault) &&
                        target.paint(draw, placement, &drawFault);
                if (!drawn && drawFault.empty()) drawFault = "bitmap not drawn";
                break;
            }
            default:
                break;
        }
    }
    if (!drawFault.empty()) return Fail(error, drawFault);
    if (!begun && !BeginCanvas(page, target, &originX, &originY, &why)) return Fail(error, why);
    return true;
}

}  // namespace xpmimport

// Walking an Enhanced Metafile: the header gives the canvas, the state records give the
// mapping, and each EMR_STRETCHDIBITS goes to the target.
#include <vector>

#include "xpmimport/render/byte_reader.h"
#include "xpmimport/render/metafile_canvas.h"

namespace xpmimport {
namespace {

enum : uint32_t {
    kEmrHeader = 1,
    kEmrSetWindowExtEx = 9,
    kEmrSetWindowOrgEx = 10,
    kEmrSetViewportExtEx = 11,
    kEmrSetViewportOrgEx = 12,
    kEmrEof = 14,
    kEmrSetMapMode = 17,
    kEmrSaveDc = 33,
    kEmrRestoreDc = 34,
    kEmrSetWorldTransform = 35,
    kEmrModifyWorldTransform = 36,
    kEmrStretchDiBits = 81,
};
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kHeaderMinSize = 88;
constexpr uint32_t kStretchDiBitsSize = 80;

[[nodiscard]] Xform ReadXform(std::span<const uint8_t> record, size_t at) {
    return {F32At(record, at),      F32At(record, at + 4),  F32At(record, at + 8),
            F32At(record, at + 12), F32At(record, at + 16), F32At(record, at + 20)};
}

// Applies one state record; false (with *error) when it is malformed.
[[nodiscard]] bool ApplyState(uint32_t type, std::span<const uint8_t> record, PageTransform& page,
                              std::vector<PageTransform>& saved, std::string* error) {
    auto needs = [&](uint32_t size) {
        if (record.size() >= size) return true;
        *error = "record " + std::to_string(type) + " too short";
        return false;
    };
    switch (type) {
        case kEmrSetMapMode:
            if (!needs(12)) return false;
            page.mapMode = U32At(record, 8);
            return true;
        case kEmrSetWindowExtEx:
        case kEmrSetWindowOrgEx:
        case kEmrSetViewportExtEx:
        case kEmrSetViewportOrgEx: {
            if (!needs(16)) return false;
            double x = I32At(record, 8), y = I32At(record, 12);
            if (type == kEmrSetWindowExtEx)
                page.windowExtX = x, page.windowExtY = y, page.windowExtSet = true;
            if (type == kEmrSetWindowOrgEx) page.windowOrgX = x, page.windowOrgY = y;
            if (type == kEmrSetViewportExtEx)
                page.viewportExtX = x, page.viewportExtY = y, page.viewportExtSet = true;
            if (type == kEmrSetViewportOrgEx) page.viewportOrgX = x, page.viewportOrgY = y;
            return true;
        }
        case kEmrSaveDc:
            saved.push_back(page);
            return true;
        case kEmrRestoreDc: {
            if (!needs(12)) return false;
            int32_t relative = I32At(record, 8);
            int64_t keep = relative < 0 ? static_cast<int64_t>(saved.size()) + relative
                                        : int64_t{relative} - 1;
            if (keep < 0 || keep >= static_cast<int64_t>(saved.size())) {
                *error = "RestoreDC to a state never saved";
                return false;
            }
            page = saved[static_cast<size_t>(keep)];
            saved.resize(static_cast<size_t>(keep));
            return true;
        }
        case kEmrSetWorldTransform:
            if (!needs(32)) return false;
            page.world = ReadXform(record, 8);
            return true;
        case kEmrModifyWorldTransform: {
            if (!needs(36)) return false;
            Xform given = ReadXform(record, 8);
            switch (U32At(record, 32)) {
                case 1:
                    page.world = Xform{};
                    return true;
                case 2:
                    page.world = Compose(given, page.world);
                    return true;
                case 3:
                    page.world = Compose(page.world, given);
                    return true;
                case 4:
                    page.world = given;
                    return true;
                default:
                    *error = "unknown world transform mode";
                    return false;
            }
        }
        default:
            return true;
    }
}

[[nodiscard]] bool ReadStretchDiBits(std::span<const uint8_t> record, BitmapDraw* draw,
                                     std::string* error) {
    if (record.size() < kStretchDiBitsSize) {
        *error = "EMR_STRETCHDIBITS record too short";
        return false;
    }
    uint32_t infoOffset = U32At(record, 48), infoSize = U32At(record, 52);
    uint32_t bitsOffset = U32At(record, 56), bitsSize = U32At(record, 60);
    if (!Holds(record, infoOffset, infoSize) || !Holds(record, bitsOffset, bitsSize)) {
        *error = "EMR_STRETCHDIBITS bitmap runs past its record";
        return false;
    }
    if (U32At(record, 64) != 0) {
        *error = "bitmap colours given as palette indices (DIB_PAL_COLORS) not handled";
        return false;
    }
    draw->destX = I32At(record, 24), draw->destY = I32At(record, 28);
    draw->srcX = I32At(record, 32), draw->srcY = I32At(record, 36);
    draw->srcWidth = I32At(record, 40), draw->srcHeight = I32At(record, 44);
    draw->rasterOp = U32At(record, 68);
    draw->destWidth = I32At(record, 72), draw->destHeight = I32At(record, 76);
    draw->info = record.subspan(infoOffset, infoSize);
    draw->bits = record.subspan(bitsOffset, bitsSize);
    return true;
}

[[nodiscard]] bool Fail(std::string* error, const std::string& why) {
    *error = "enhanced metafile: " + why;
    return false;
}

}  // namespace

bool WalkEnhancedMetafile(MetafileSource& source, PictureTarget& target, std::string* error) {
    std::span<const uint8_t> header;
    if (!source.holds(0, kHeaderMinSize)) return Fail(error, "no EMF header");
    if (!source.read(0, kHeaderMinSize, &header)) return Fail(error, source.readError());
    if (U32At(header, 0) != kEmrHeader || U32At(header, 40) != kEmfSignature)
        return Fail(error, "no EMF header");
    const int64_t left = I32At(header, 8), top = I32At(header, 12), right = I32At(header, 16),
                  bottom = I32At(header, 20);
    std::string why;
    // The bounds are inclusive; an empty picture has right < left or bottom < top.
    const int64_t width = right >= left ? right - left + 1 : 0,
                  height = bottom >= top ? bottom - top + 1 : 0;
    if (!CanvasSizeAllowed(width, height, &why) ||
        !target.begin(static_cast<int32_t>(width), static_cast<int32_t>(height), &why)) {
        return Fail(error, why);
    }
    PageTransform page;
    std::vector<PageTransform> saved;
    uint64_t offset = 0;
    while (offset < source.size()) {
        std::span<const uint8_t> record;
        if (!source.holds(offset, 8))
            return Fail(error, "record header cut short at byte " + std::to_string(offset));
        if (!source.read(offset, 8, &record)) return Fail(error, source.readError());
        uint32_t type = U32At(record, 0), size = U32At(record, 4);
        if (size < 8 || size % 4 != 0 || !source.holds(offset, size)) {
            return Fail(error, "record of " + std::to_string(size) + " bytes at byte " +
                                   std::to_string(offset));
        }
        if (!source.read(offset, size, &record)) return Fail(error, source.readError());
        offset += size;
        if (type == kEmrEof) break;
        if (type == kEmrStretchDiBits) {
            BitmapDraw draw;
            DibPlacement placement;
            if (!ReadStretchDiBits(record, &draw, &why) ||
                !PlaceBitmapDraw(draw, page, static_cast<double>(left), static_cast<double>(top),
                                 &placement, &why) ||
                !target.paint(draw, placement, &why)) {
                return Fail(error, why);
            }
            continue;
        }
        if (!ApplyState(type, record, page, saved, &why)) return Fail(error, why);
    }
    return true;
}

}  // namespace xpmimport

// Recording one picture (see picture.h).
#include "writer/picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr int16_t kFormatPaletteIndices = -8;
constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 31;

// Coordinates travel as 16-bit values that may have wrapped (a width of 40000 arrives as
// -25536), so extents are differences taken modulo 2^16.
uint32_t Extent16(int16_t from, int16_t to) {
    return static_cast<uint16_t>(static_cast<uint16_t>(to) - static_cast<uint16_t>(from));
}

uint32_t Unsigned16(int16_t value) {
    return static_cast<uint16_t>(value);
}

// The highest byte of count bytes. Whole blocks of a fixed length first, which the compiler
// turns into vector code; the loop over a band's pixels is otherwise a tenth of an import.
uint8_t Highest(const uint8_t* bytes, std::size_t count) {
    constexpr std::size_t kBlock = 64;
    uint8_t highest = 0;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        uint8_t block = 0;
        for (std::size_t k = 0; k < kBlock; ++k) block = std::max(block, bytes[i + k]);
        highest = std::max(highest, block);
    }
    for (; i < count; ++i) highest = std::max(highest, bytes[i]);
    return highest;
}

// Every value here is a positive size over a positive, finite unit: never negative, never NaN.
int32_t ClampToInt32(double value) {
    return static_cast<int32_t>(std::lround(std::min(value, double{INT32_MAX})));
}

}  // namespace

int16_t Picture::SetFrame(const FrameRect& frame) {
    frameSet_ = true;
    frameWidth_ = Extent16(frame.x1.value, frame.x2.value);
    frameHeight_ = Extent16(frame.y1.value, frame.y2.value);
    return WithinLimit(frameWidth_, frameHeight_) ? 0 : kVrErrTooManyPixels;
}

bool Picture::WithinLimit(uint32_t width, uint32_t height) const {
    return maxPixels_ == 0 || uint64_t{width} * height <= maxPixels_;
}

int16_t Picture::SetUnits(int16_t kind, double size) {
    // Kind 1 is the only kind: size is the length of one unit in millimetres.
    if (kind != 1 || !std::isfinite(size) || size <= 0.0) return kVrErrInvalidCall;
    unitMillimetres_ = size;
    return 0;
}

int16_t Picture::SetPalette(int16_t first, int16_t count, const PaletteEntry* entries) {
    // Both travel as 16-bit values; a count above 32767 arrives negative.
    const uint32_t start = Unsigned16(first);
    const uint32_t number = Unsigned16(count);
    if (number == 0) return 0;
    if (entries == nullptr) return kVrErrInvalidCall;
    // Only the first 256 palette entries can be used by 8-bit pixels; read no others. Each
    // entry's fourth byte stays the 0 the table starts with.
    for (uint32_t i = 0; i < number && start + i < 256; ++i) {
        uint8_t* quad = &colourTable_[(start + i) * 4];
        quad[0] = static_cast<uint8_t>(entries[i].blue);
        quad[1] = static_cast<uint8_t>(entries[i].green);
        quad[2] = static_cast<uint8_t>(entries[i].red);
    }
    paletteCount_ = std::max(paletteCount_, start + number);
    return 0;
}

int16_t Picture::BeginBitmap(const BandPlacement& placement, const BitmapSize& size,
                             int16_t format) {
    if (bitmapState_ != BitmapState::kNone) return kVrErrInvalidCall;
    if (format != kFormatPaletteIndices) return kVrErrInvalidCall;
    const uint32_t width = Unsigned16(size.width);
    const uint32_t height = Unsigned16(size.rows);
    // The whole-image placement runs from the top-left corner P1 to P2, y pointing up.
    if (Extent16(placement.p1x.value, placement.p2x.value) != width ||
        Extent16(placement.p2y.value, placement.p1y.value) != height) {
        return kVrErrInvalidCall;
    }
    if (!WithinLimit(width, height)) return kVrErrTooManyPixels;
    if (uint64_t{width} * height > kMaxBitmapPixels) return kVrErrMemory;
    bitmapState_ = BitmapState::kBegun;
    originX_ = placement.p1x.value;
    originY_ = placement.p1y.value;
    width_ = width;
    height_ = height;
    return 0;
}

int16_t Picture::WriteBand(const BandPlacement& placement, const BitmapSize& size, int16_t format,
                           const uint8_t* rows, PlacedBand* placed) {
    if (bitmapState_ != BitmapState::kBegun) return kVrErrInvalidCall;
    if (format != kFormatPaletteIndices || rows == nullptr) return kVrErrInvalidCall;
    const uint32_t width = Unsigned16(size.width);
    const uint32_t count = Unsigned16(size.rows);
    if (width == 0 || width != width_ || count == 0) return kVrErrInvalidCall;
    if (Extent16(placement.p1x.value, placement.p2x.value) != width ||
        Extent16(placement.p2y.value, placement.p1y.value) != count) {
        return kVrErrInvalidCall;
    }
    const uint32_t x = Extent16(originX_, placement.p1x.value);
    const uint32_t y = Extent16(placement.p1y.value, originY_);
    if (x != 0 || y + count > height_ || rowsWritten_ + count > height_) return kVrErrInvalidCall;

    // Every pixel must find its colour in the table, which runs to the highest index used
    // (entries never set stay black). The search stops at 255: a full palette costs nothing.
    const uint32_t stride = (width + 3) / 4 * 4;
    auto highest = static_cast<uint8_t>(std::clamp<uint32_t>(paletteCount_, 1, 256) - 1);
    for (uint32_t r = 0; r < count && highest != 255; ++r)
        highest = std::max(highest, Highest(rows + static_cast<std::size_t>(r) * stride, width));
    placed->y = y;
    placed->rows = count;
    placed->ink.colourTable = colourTable_.data();
    placed->ink.colours = highest + 1u;
    placed->ink.pixelsPerMetre = static_cast<uint32_t>(ClampToInt32(1000.0 / unitMillimetres_));
    rowsWritten_ += count;
    return 0;
}

int16_t Picture::EndBitmap() {
    if (bitmapState_ != BitmapState::kBegun) return kVrErrInvalidCall;
    if (rowsWritten_ != height_) return kVrErrIncomplete;
    bitmapState_ = BitmapState::kEnded;
    return 0;
}

int32_t Picture::HundredthsMm(uint32_t units) const {
    return ClampToInt32(units * unitMillimetres_ * 100.0);
}

PictureShape Picture::shape() const {
    PictureShape shape;
    shape.width = width_;
    shape.height = height_;
    // Frame extents in 0.01 mm (the bitmap's extents when no frame was set).
    shape.frameWidthHundredthsMm = HundredthsMm(frameSet_ ? frameWidth_ : width_);
    shape.frameHeightHundredthsMm = HundredthsMm(frameSet_ ? frameHeight_ : height_);
    shape.unitsPerInch = unitsPerInch();
    return shape;
}

int32_t Picture::unitsPerInch() const {
    const int32_t perInch = ClampToInt32(25.4 / unitMillimetres_);
    return std::max(perInch, 1);
}

}  // namespace vrgdi32

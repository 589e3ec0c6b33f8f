// Recording one picture (see picture.h).
#include "writer/picture.h"

#include <cmath>
#include <cstring>
#include <new>

#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr int16_t kFormatPaletteIndices = -8;
constexpr uint32_t kDibHeaderBytes = 40;
constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 31;

// Coordinates travel as 16-bit values that may have wrapped (a width of 40000 arrives as
// -25536), so extents are differences taken modulo 2^16.
uint32_t Extent16(int16_t from, int16_t to) {
    return static_cast<uint16_t>(static_cast<uint16_t>(to) - static_cast<uint16_t>(from));
}

uint32_t Unsigned16(int16_t value) { return static_cast<uint16_t>(value); }

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

int32_t ClampToInt32(double value) {
    if (!(value > -2147483648.0)) return INT32_MIN;
    if (value > 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(std::lround(value));
}

}  // namespace

void Picture::SetFrame(const FrameRect& frame) {
    frameSet_ = true;
    frameWidth_ = Extent16(frame.x1.value, frame.x2.value);
    frameHeight_ = Extent16(frame.y1.value, frame.y2.value);
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
    // Only the first 256 palette entries can be used by 8-bit pixels; read no others.
    for (uint32_t i = 0; i < number && start + i < 256; ++i) {
        uint8_t* quad = &colourTable_[(start + i) * 4];
        quad[0] = static_cast<uint8_t>(entries[i].blue);
        quad[1] = static_cast<uint8_t>(entries[i].green);
        quad[2] = static_cast<uint8_t>(entries[i].red);
        quad[3] = 0;
    }
    if (start + number > paletteCount_) paletteCount_ = start + number;
    return 0;
}

int16_t Picture::BeginBitmap(const BandPlacement& placement, const BitmapSize& size, int16_t format) {
    if (bitmapState_ != BitmapState::kNone) return kVrErrInvalidCall;
    if (format != kFormatPaletteIndices) return kVrErrInvalidCall;
    const uint32_t width = Unsigned16(size.width);
    const uint32_t height = Unsigned16(size.rows);
    // The whole-image placement runs from the top-left corner P1 to P2, y pointing up.
    if (Extent16(placement.p1x.value, placement.p2x.value) != width ||
        Extent16(placement.p2y.value, placement.p1y.value) != height) {
        return kVrErrInvalidCall;
    }
    if (uint64_t{width} * height > kMaxBitmapPixels) return kVrErrMemory;
    bitmapState_ = BitmapState::kBegun;
    originX_ = placement.p1x.value;
    originY_ = placement.p1y.value;
    width_ = width;
    height_ = height;
    return 0;
}

int16_t Picture::WriteBand(const BandPlacement& placement, const BitmapSize& size, int16_t format,
                           const uint8_t* rows) {
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

    const uint32_t stride = (width + 3) / 4 * 4;
    const uint32_t pixelBytes = stride * count;
    uint32_t highestIndex = 0;
    for (uint32_t r = 0; r < count; ++r) {
        const uint8_t* row = rows + static_cast<std::size_t>(r) * stride;
        for (uint32_t i = 0; i < width; ++i) {
            if (row[i] > highestIndex) highestIndex = row[i];
        }
    }
    // Every pixel must find its colour in the table; entries never set stay black.
    uint32_t colours = paletteCount_ < 256 ? paletteCount_ : 256;
    if (colours < highestIndex + 1) colours = highestIndex + 1;
    const uint32_t infoBytes = kDibHeaderBytes + 4 * colours;
    if (bytesRecorded_ + infoBytes + pixelBytes > kMaxMetafileBytes) return kVrErrMemory;

    RecordedBand band;
    if (!band.dib.Allocate(std::size_t{infoBytes} + pixelBytes)) return kVrErrMemory;
    uint8_t* info = band.dib.data();
    const uint32_t pixelsPerMetre = static_cast<uint32_t>(ClampToInt32(1000.0 / unitMillimetres_));
    Put32(info + 0, kDibHeaderBytes);
    Put32(info + 4, width);
    Put32(info + 8, count);  // positive height: the bottom row comes first
    Put16(info + 12, 1);
    Put16(info + 14, 8);
    Put32(info + 16, 0);  // BI_RGB
    Put32(info + 20, pixelBytes);
    Put32(info + 24, pixelsPerMetre);
    Put32(info + 28, pixelsPerMetre);
    Put32(info + 32, colours);
    Put32(info + 36, 0);
    std::memcpy(info + kDibHeaderBytes, colourTable_.data(), 4 * (colours < 256 ? colours : 256));
    uint8_t* pixels = info + infoBytes;
    for (uint32_t r = 0; r < count; ++r) {
        std::memcpy(pixels + static_cast<std::size_t>(count - 1 - r) * stride,
                    rows + static_cast<std::size_t>(r) * stride, width);
    }
    band.x = x;
    band.y = y;
    band.width = width;
    band.rows = count;
    band.infoBytes = infoBytes;
    band.pixelBytes = pixelBytes;
    bands_.push_back(std::move(band));
    rowsWritten_ += count;
    bytesRecorded_ += infoBytes + pixelBytes;
    return 0;
}

int16_t Picture::EndBitmap() {
    if (bitmapState_ != BitmapState::kBegun) return kVrErrInvalidCall;
    bitmapState_ = BitmapState::kEnded;
    return 0;
}

int32_t Picture::HundredthsMm(uint32_t units) const {
    return ClampToInt32(units * unitMillimetres_ * 100.0);
}

int32_t Picture::frameWidthHundredthsMm() const {
    return HundredthsMm(frameSet_ ? frameWidth_ : width_);
}

int32_t Picture::frameHeightHundredthsMm() const {
    return HundredthsMm(frameSet_ ? frameHeight_ : height_);
}

int32_t Picture::unitsPerInch() const {
    const int32_t perInch = ClampToInt32(25.4 / unitMillimetres_);
    return perInch < 1 ? 1 : perInch;
}

}  // namespace vrgdi32

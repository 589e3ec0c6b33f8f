// Decoding a DIB's layout and painting it, nearest pixel, into a canvas.
#include "xpmimport/render/dib_paint.h"

#include <algorithm>
#include <cstdlib>

#include "xpmimport/render/byte_reader.h"

namespace xpmimport {
namespace {

constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kBiRgb = 0;

struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;  // rows, positive
    bool bottomUp = false;
    uint16_t bitCount = 0;
    uint64_t stride = 0;
    std::span<const uint8_t> palette;  // RGBQUADs: blue, green, red, reserved
    uint32_t paletteCount = 0;
};

[[nodiscard]] bool ReadLayout(std::span<const uint8_t> info, std::span<const uint8_t> bits,
                              DibLayout* layout, std::string* error) {
    if (!Holds(info, 0, kInfoHeaderSize)) {
        *error = "bitmap header too short";
        return false;
    }
    uint32_t headerSize = U32At(info, 0);
    int32_t width = I32At(info, 4);
    int32_t height = I32At(info, 8);
    uint16_t planes = U16At(info, 12);
    uint16_t bitCount = U16At(info, 14);
    uint32_t compression = U32At(info, 16);
    uint32_t colorsUsed = U32At(info, 32);
    if (headerSize < kInfoHeaderSize || headerSize > info.size()) {
        *error = "bitmap header size " + std::to_string(headerSize) + " does not fit its record";
        return false;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1) {
        *error = "bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels, " + std::to_string(planes) + " planes";
        return false;
    }
    if (compression != kBiRgb) {
        *error = "compressed bitmap (kind " + std::to_string(compression) + ") not handled";
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        *error = "bitmap of " + std::to_string(bitCount) + " bits per pixel not handled";
        return false;
    }
    layout->width = width;
    layout->height = std::abs(height);
    layout->bottomUp = height > 0;
    layout->bitCount = bitCount;
    layout->stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    if (bitCount <= 8) {
        uint32_t most = 1u << bitCount;
        if (colorsUsed > most) {
            *error = "colour table of " + std::to_string(colorsUsed) + " entries for " +
                     std::to_string(bitCount) + " bits per pixel";
            return false;
        }
        layout->paletteCount = colorsUsed != 0 ? colorsUsed : most;
        if (!Holds(info, headerSize, uint64_t{layout->paletteCount} * 4)) {
            *error = "colour table runs past its record";
            return false;
        }
        layout->palette = info.subspan(headerSize, uint64_t{layout->paletteCount} * 4);
    }
    if (!Holds(bits, 0, layout->stride * static_cast<uint64_t>(layout->height))) {
        *error = "bitmap bits shorter than " + std::to_string(layout->height) + " rows of " +
                 std::to_string(layout->stride) + " bytes";
        return false;
    }
    return true;
}

// Colour of pixel x of a stored row; false when an index lies beyond the colour table.
[[nodiscard]] bool PixelColor(const DibLayout& dib, const uint8_t* row, int32_t x, uint8_t rgb[3],
                              uint32_t* badIndex) {
    uint32_t index = 0;
    switch (dib.bitCount) {
        case 24:
            rgb[0] = row[x * 3 + 2], rgb[1] = row[x * 3 + 1], rgb[2] = row[x * 3];
            return true;
        case 32:
            rgb[0] = row[x * 4 + 2], rgb[1] = row[x * 4 + 1], rgb[2] = row[x * 4];
            return true;
        case 8:
            index = row[x];
            break;
        case 4:
            index = (row[x / 2] >> ((x % 2) != 0 ? 0 : 4)) & 0x0F;
            break;
        default:
            index = (row[x / 8] >> (7 - x % 8)) & 0x01;
            break;
    }
    if (index >= dib.paletteCount) {
        *badIndex = index;
        return false;
    }
    const uint8_t* quad = dib.palette.data() + index * 4;
    rgb[0] = quad[2], rgb[1] = quad[1], rgb[2] = quad[0];
    return true;
}

}  // namespace

bool PaintedRows(const DibPlacement& placement, int32_t width, int32_t height, int32_t* top,
                 int32_t* bottom) {
    const int64_t left = std::max<int64_t>(std::min(placement.destX0, placement.destX1), 0);
    const int64_t right = std::min<int64_t>(std::max(placement.destX0, placement.destX1), width);
    *top = std::max<int32_t>(std::min(placement.destY0, placement.destY1), 0);
    *bottom = std::min<int32_t>(std::max(placement.destY0, placement.destY1), height);
    return left < right && *top < *bottom;
}

bool PaintDib(std::span<const uint8_t> info, std::span<const uint8_t> bits,
              const DibPlacement& placement, RgbImage& rows, int32_t firstRow, std::string* error) {
    DibLayout dib;
    if (!ReadLayout(info, bits, &dib, error)) return false;
    const DibPlacement& p = placement;
    if (p.srcWidth <= 0 || p.srcHeight <= 0 || p.srcX < 0 || p.srcY < 0 ||
        int64_t{p.srcX} + p.srcWidth > dib.width || int64_t{p.srcY} + p.srcHeight > dib.height) {
        *error = "source rectangle (" + std::to_string(p.srcX) + ", " + std::to_string(p.srcY) +
                 ", " + std::to_string(p.srcWidth) + " x " + std::to_string(p.srcHeight) +
                 ") outside a bitmap of " + std::to_string(dib.width) + " x " +
                 std::to_string(dib.height);
        return false;
    }
    const int64_t left = std::min(p.destX0, p.destX1), right = std::max(p.destX0, p.destX1);
    const int64_t top = std::min(p.destY0, p.destY1), bottom = std::max(p.destY0, p.destY1);
    const int64_t destWidth = right - left, destHeight = bottom - top;
    const bool mirrorX = p.destX1 < p.destX0, mirrorY = p.destY1 < p.destY0;
    // The source rectangle's top row as rows are seen, top first.
    const int64_t srcTop = dib.bottomUp ? int64_t{dib.height} - p.srcY - p.srcHeight : p.srcY;
    const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, rows.width);
    // Most records copy an 8-bit bitmap one to one: those rows skip the per-pixel scaling.
    const bool direct = dib.bitCount == 8 && !mirrorX && destWidth == p.srcWidth;
    uint32_t badIndex = 0;
    for (int64_t y = std::max<int64_t>(top, firstRow);
         y < std::min<int64_t>(bottom, int64_t{firstRow} + rows.height); ++y) {
        int64_t ry = y - top;
        if (mirrorY) ry = destHeight - 1 - ry;
        int64_t seenRow = srcTop + ry * p.srcHeight / destHeight;
        int64_t storedRow = dib.bottomUp ? dib.height - 1 - seenRow : seenRow;
        const uint8_t* row = bits.data() + static_cast<uint64_t>(storedRow) * dib.stride;
        uint8_t* out = rows.at(0, static_cast<int32_t>(y - firstRow));
        for (int64_t x = x0; x < x1; ++x) {
            bool known = true;
            if (direct) {
                badIndex = row[p.srcX + (x - left)];
                known = badIndex < dib.paletteCount;
                if (known) {
                    const uint8_t* quad = dib.palette.data() + badIndex * 4;
                    out[x * 3] = quad[2], out[x * 3 + 1] = quad[1], out[x * 3 + 2] = quad[0];
                }
            } else {
                int64_t rx = x - left;
                if (mirrorX) rx = destWidth - 1 - rx;
                int32_t sx = static_cast<int32_t>(p.srcX + rx * p.srcWidth / destWidth);
                known = PixelColor(dib, row, sx, out + x * 3, &badIndex);
            }
            if (!known) {
                *error = "pixel index " + std::to_string(badIndex) + " beyond a colour table of " +
                         std::to_string(dib.paletteCount) + " entries";
                return false;
            }
        }
    }
    return true;
}

}  // namespace xpmimport

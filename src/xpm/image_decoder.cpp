// The decode driver: picture frame, units and window, the colour definitions and palette,
// then the pixel rows as one 8-bit bitmap written in bands of at most 32768 pixels.
#include "xpm/image_decoder.h"

#include <bit>
#include <cassert>
#include <cstddef>

#include "xpmfilter/xpmfilter.h"
#include "common/scratch_memory.h"
#include "output/graphics_library.h"
#include "output/output_lifecycle.h"
#include "output/status.h"
#include "xpm/color_definitions.h"
#include "xpm/named_colors.h"
#include "xpm/pixel_rows.h"

namespace xpmfilter {
namespace {

constexpr int32_t kBandBytes = 32768;

// One ninety-sixth of an inch in millimetres, exactly this double (one unit in the last place
// below the nearest double to 25.4 / 96), as the library expects it.
constexpr double kUnitSize = std::bit_cast<double>(uint64_t{0x3FD0EEEEEEEEEEEE});
constexpr int16_t kUnitCode = 1;
constexpr int16_t kIndexedPixels = -8;  // one palette index per byte

CoordSlot Coord(int32_t value) {
    CoordSlot slot{};
    slot.value = static_cast<int16_t>(value);  // the library takes 16-bit coordinates
    return slot;
}

BandPlacement Placement(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    BandPlacement placement{};
    placement.p1x = Coord(x1);
    placement.p1y = Coord(y1);
    placement.p2x = Coord(x2);
    placement.p2y = Coord(y2);
    placement.p3x = Coord(x2);
    placement.p3y = Coord(y1);
    return placement;
}

BitmapSize Size(int32_t width, int32_t rows) {
    BitmapSize size{};
    size.width = static_cast<int16_t>(width);
    size.rows = static_cast<int16_t>(rows);
    return size;
}

// The band buffer: movable global memory, zero-filled, locked for the whole decode. A buffer
// of 0 bytes (no rows at all) is no failure even though it cannot be locked.
class BandBuffer {
  public:
    explicit BandBuffer(size_t bytes) : bytes_(bytes), handle_(GlobalAlloc(GHND, bytes)) {
        if (handle_ != nullptr && bytes_ != 0) data_ = static_cast<uint8_t*>(GlobalLock(handle_));
    }
    ~BandBuffer() {
        if (data_ != nullptr) GlobalUnlock(handle_);
        if (handle_ != nullptr) GlobalFree(handle_);
    }
    BandBuffer(const BandBuffer&) = delete;
    BandBuffer& operator=(const BandBuffer&) = delete;

    [[nodiscard]] bool usable() const { return bytes_ == 0 || data_ != nullptr; }
    [[nodiscard]] uint8_t* data() const { return data_; }

  private:
    size_t bytes_;
    HGLOBAL handle_;
    uint8_t* data_ = nullptr;
};

// Sets the picture's window to the frame's four coordinates.
void SetPictureWindow(ImportContext& import, const FrameRect& frame) {
    FrameRect window{};
    window.x1.value = frame.x1.value;
    window.y1.value = frame.y1.value;
    window.x2.value = frame.x2.value;
    window.y2.value = frame.y2.value;
    Gdi().SetWindow(import.writer, &window);
}

int32_t Fail(ImportContext& import, int32_t code) {
    ReportStatus(import, code);
    return code;
}

// Reads the rows band by band and writes each band below the previous one, the first band
// starting at the top (y = height).
int32_t WriteBands(ImportContext& import, StreamHandle stream, const XpmValues& values,
                   const ColorKeyEntry* table) {
    const int32_t width = values.width;
    const int32_t height = values.height;
    if (width < 1) return Fail(import, kXpmNoMemory);
    int32_t rowsPerBand = kBandBytes / width;
    if (rowsPerBand == 0) return Fail(import, kXpmNoMemory);
    const int32_t stride = (width + 3) / 4 * 4;  // width is at most 32768 here
    const int32_t fullBands = height / rowsPerBand;
    const int32_t lastRows = height % rowsPerBand;
    if (fullBands == 0) rowsPerBand = lastRows;
    // A negative height shorter than one band; a longer one simply yields no band.
    if (rowsPerBand < 0) return Fail(import, kXpmNoMemory);

    BandBuffer buffer(static_cast<size_t>(rowsPerBand) * static_cast<size_t>(stride));
    if (!buffer.usable()) return Fail(import, kXpmNoMemory);

    ColorKeyIndex codes(table, values.ncolors, values.charsPerPixel);
    const int64_t bandCount = int64_t{fullBands} + (lastRows != 0 ? 1 : 0);
    BandPlacement placement = Placement(0, height, width, height);
    for (int64_t band = 0; band < bandCount; ++band) {
        int32_t rows = lastRows != 0 && band == bandCount - 1 ? lastRows : rowsPerBand;
        int32_t result =
            ReadBandRows(import, stream, width, stride, rows, buffer.data(), values, codes);
        if (result != kXpmOk) return result;
        placement.p2y.value = static_cast<int16_t>(placement.p1y.value - rows);
        BitmapSize size = Size(width, rows);
        Gdi().BitmapWriteBand(import.writer, &placement, &size, kIndexedPixels, 1, buffer.data());
        placement.p1y.value = placement.p2y.value;
        placement.p3y.value = placement.p2y.value;
    }
    Gdi().BitmapEnd(import.writer);
    return kXpmOk;
}

}  // namespace

int32_t DecodeXpmImage(ImportContext& import, StreamHandle stream, XpmValues values) {
    // The driver refuses other files: a longer code would not fit the code readers.
    assert(values.charsPerPixel >= 0 && values.charsPerPixel <= kXpmMaxCharsPerPixel);
    ScratchArray<ColorKeyEntry> keys(values.ncolors < 0 ? SIZE_MAX
                                                        : static_cast<size_t>(values.ncolors));
    if (!keys) return Fail(import, kXpmNoMemory);

    FrameRect frame{Coord(0), Coord(0), Coord(values.width), Coord(values.height)};
    Gdi().SetFrame(import.writer, &frame);
    Gdi().SetUnits(import.writer, kUnitCode, kUnitSize);
    SetPictureWindow(import, frame);
    (void)StartDrawing(import);

    int32_t result =
        ReadColorDefinitions(import, stream, values, keys.get(), NamedColorTable, kNamedColorCount);
    if (result != kXpmOk) return result;

    BandPlacement whole = Placement(0, values.height, values.width, 0);
    BitmapSize size = Size(values.width, values.height);
    Gdi().BitmapBegin(import.writer, &whole, &size, kIndexedPixels, 0, 1, 3, 0);
    return WriteBands(import, stream, values, keys.get());
}

}  // namespace xpmfilter

// What the writer records of one picture: frame, units, palette, and the bitmap as bands,
// each band kept as a ready bottom-up 8-bit DIB with its place in device space (pixels,
// y down, the bitmap's top-left corner at 0, 0). Errors come back as writer codes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "local_buffer.h"
#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

struct RecordedBand {
    uint32_t x = 0;     // device position of the band's top-left pixel
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t rows = 0;
    LocalBuffer dib;          // BITMAPINFOHEADER, colour table, pixels
    uint32_t infoBytes = 0;   // header plus colour table
    uint32_t pixelBytes = 0;  // stride * rows
};

class Picture {
  public:
    static constexpr double kDefaultUnitMillimetres = 25.4 / 96.0;

    void SetFrame(const FrameRect& frame);
    // Returns 0 or a writer code.
    [[nodiscard]] int16_t SetUnits(int16_t kind, double size);
    [[nodiscard]] int16_t SetPalette(int16_t first, int16_t count, const PaletteEntry* entries);
    [[nodiscard]] int16_t BeginBitmap(const BandPlacement& placement, const BitmapSize& size,
                                      int16_t format);
    [[nodiscard]] int16_t WriteBand(const BandPlacement& placement, const BitmapSize& size,
                                    int16_t format, const uint8_t* rows);
    [[nodiscard]] int16_t EndBitmap();

    // A bitmap was begun and ended.
    [[nodiscard]] bool complete() const { return bitmapState_ == BitmapState::kEnded; }
    [[nodiscard]] uint32_t width() const { return width_; }
    [[nodiscard]] uint32_t height() const { return height_; }
    // Frame extents in 0.01 mm (the bitmap's extents when no frame was set).
    [[nodiscard]] int32_t frameWidthHundredthsMm() const;
    [[nodiscard]] int32_t frameHeightHundredthsMm() const;
    [[nodiscard]] int32_t unitsPerInch() const;
    [[nodiscard]] const std::vector<RecordedBand>& bands() const { return bands_; }

  private:
    enum class BitmapState { kNone, kBegun, kEnded };

    [[nodiscard]] int32_t HundredthsMm(uint32_t units) const;

    bool frameSet_ = false;
    uint32_t frameWidth_ = 0;
    uint32_t frameHeight_ = 0;
    double unitMillimetres_ = kDefaultUnitMillimetres;
    std::array<uint8_t, 256 * 4> colourTable_{};  // blue, green, red, 0 per entry
    uint32_t paletteCount_ = 0;

    BitmapState bitmapState_ = BitmapState::kNone;
    int16_t originX_ = 0;  // logical top-left corner of the bitmap (y up)
    int16_t originY_ = 0;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t rowsWritten_ = 0;
    std::size_t bytesRecorded_ = 0;
    std::vector<RecordedBand> bands_;
};

}  // namespace vrgdi32

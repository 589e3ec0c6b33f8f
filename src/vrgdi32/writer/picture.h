// What the writer knows of one picture: frame, units, palette, and the bitmap's geometry
// with the rows written so far. It checks every drawing call against the declared bitmap
// and tells where each band goes (device space: pixels, y down, the bitmap's top-left
// corner at 0, 0); the bands themselves go on to the metafile stream. Errors come back as
// writer codes.
#pragma once

#include <array>
#include <cstdint>

#include "vrgdi32/vrgdi32.h"
#include "writer/metafile_layout.h"
#include "writer/picture_stream.h"

namespace vrgdi32 {

// Where a checked band goes and how it is coloured.
struct PlacedBand {
    uint32_t y = 0;
    uint32_t rows = 0;
    BandInk ink;
};

class Picture {
  public:
    static constexpr double kDefaultUnitMillimetres = 25.4 / 96.0;

    // A picture of more pixels than maxPixels (0: no limit) is refused at SetFrame and at
    // BeginBitmap with kVrErrTooManyPixels: the host's limit, applied before anything is made.
    void LimitPixels(uint64_t maxPixels) { maxPixels_ = maxPixels; }
    // Returns 0 or a writer code.
    [[nodiscard]] int16_t SetFrame(const FrameRect& frame);
    // Returns 0 or a writer code.
    [[nodiscard]] int16_t SetUnits(int16_t kind, double size);
    [[nodiscard]] int16_t SetPalette(int16_t first, int16_t count, const PaletteEntry* entries);
    [[nodiscard]] int16_t BeginBitmap(const BandPlacement& placement, const BitmapSize& size,
                                      int16_t format);
    // Checks a band and counts its rows; on success *placed says where it goes.
    [[nodiscard]] int16_t WriteBand(const BandPlacement& placement, const BitmapSize& size,
                                    int16_t format, const uint8_t* rows, PlacedBand* placed);
    // Ends the bitmap: kVrErrIncomplete unless every declared row was written.
    [[nodiscard]] int16_t EndBitmap();

    // A bitmap was begun and ended with all its rows.
    [[nodiscard]] bool complete() const { return bitmapState_ == BitmapState::kEnded; }
    [[nodiscard]] uint32_t width() const { return width_; }
    [[nodiscard]] uint32_t height() const { return height_; }
    [[nodiscard]] int32_t unitsPerInch() const;
    [[nodiscard]] PictureShape shape() const;

  private:
    enum class BitmapState { kNone, kBegun, kEnded };

    [[nodiscard]] int32_t HundredthsMm(uint32_t units) const;
    [[nodiscard]] bool WithinLimit(uint32_t width, uint32_t height) const;

    uint64_t maxPixels_ = 0;
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
};

}  // namespace vrgdi32

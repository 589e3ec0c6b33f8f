// Hand-made metafiles for the renderer tests: each record written field by field, so a
// test states exactly what the renderer receives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace xpmimport_test {

using Bytes = std::vector<uint8_t>;

// A device-independent bitmap: BITMAPINFOHEADER, colour table, and the pixel bits.
struct TestDib {
    Bytes info;
    Bytes bits;
    int32_t width = 0;
    int32_t height = 0;  // rows (positive)
};

// rowsTopFirst: colour indices (bitCount 1, 4, 8) or, for 24, index into palette turned
// into the RGB value. bottomUp: store the last row first (positive biHeight).
[[nodiscard]] TestDib MakeDib(const std::vector<std::vector<uint8_t>>& rowsTopFirst,
                              const std::vector<std::array<uint8_t, 3>>& palette, uint16_t bitCount, bool bottomUp);

class EmfBuilder {
  public:
    // Header bounds, inclusive device units.
    EmfBuilder(int32_t left, int32_t top, int32_t right, int32_t bottom);
    EmfBuilder& mapMode(uint32_t mode);
    EmfBuilder& windowOrg(int32_t x, int32_t y) { return point(10, x, y); }
    EmfBuilder& windowExt(int32_t x, int32_t y) { return point(9, x, y); }
    EmfBuilder& viewportOrg(int32_t x, int32_t y) { return point(12, x, y); }
    EmfBuilder& viewportExt(int32_t x, int32_t y) { return point(11, x, y); }
    EmfBuilder& saveDc();
    EmfBuilder& restoreDc(int32_t relative);
    EmfBuilder& worldTransform(const std::array<float, 6>& m);
    EmfBuilder& stretchDib(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop = 0x00CC0020,
                           uint32_t usage = 0);
    EmfBuilder& stretchDibPart(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t srcX,
                               int32_t srcY, int32_t srcCx, int32_t srcCy, uint32_t rop = 0x00CC0020,
                               uint32_t usage = 0);
    // Appends EMR_EOF and fills in the header's byte and record counts.
    [[nodiscard]] Bytes finish();

  private:
    EmfBuilder& point(uint32_t type, int32_t x, int32_t y);
    Bytes bytes_;
    uint32_t records_ = 1;
};

class WmfBuilder {
  public:
    // placeable: start with the 22-byte placeable header with this box (left, top, right,
    // bottom); otherwise the plain 18-byte header only.
    explicit WmfBuilder(bool placeable, int16_t left = 0, int16_t top = 0, int16_t right = 0, int16_t bottom = 0);
    WmfBuilder& mapMode(int16_t mode);
    WmfBuilder& windowOrg(int16_t x, int16_t y) { return point(0x020B, x, y); }
    WmfBuilder& windowExt(int16_t x, int16_t y) { return point(0x020C, x, y); }
    WmfBuilder& stretchDib(const TestDib& dib, int16_t x, int16_t y, int16_t cx, int16_t cy);
    [[nodiscard]] Bytes finish();

  private:
    WmfBuilder& point(uint16_t function, int16_t x, int16_t y);
    Bytes bytes_;
    size_t headerAt_ = 0;
};

}  // namespace xpmimport_test

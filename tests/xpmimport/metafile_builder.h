// Hand-made metafiles for the renderer tests: each record written field by field, so a
// test states exactly what the renderer receives.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace xpmimport_test {

using Bytes = std::vector<uint8_t>;

inline void PutLittleEndian(Bytes& out, uint32_t v, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put16(Bytes& out, std::initializer_list<int32_t> values) {
    for (int32_t v : values) PutLittleEndian(out, static_cast<uint32_t>(v), 2);
}
inline void Put32(Bytes& out, std::initializer_list<int64_t> values) {
    for (int64_t v : values) PutLittleEndian(out, static_cast<uint32_t>(v), 4);
}
inline void Set32(Bytes& out, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A device-independent bitmap: BITMAPINFOHEADER, colour table, and the pixel bits.
struct TestDib {
    Bytes info;
    Bytes bits;
    int32_t width = 0;
    int32_t height = 0;  // rows (positive)
};

// rowsTopFirst: colour indices (bitCount 1, 4, 8) or, for 24, index into palette turned
// into the RGB value. bottomUp: store the last row first (positive biHeight).
[[nodiscard]] inline TestDib MakeDib(const std::vector<std::vector<uint8_t>>& rowsTopFirst,
                                     const std::vector<std::array<uint8_t, 3>>& palette, uint16_t bitCount, bool bottomUp) {
    TestDib dib;
    dib.height = static_cast<int32_t>(rowsTopFirst.size());
    dib.width = static_cast<int32_t>(rowsTopFirst[0].size());
    const bool indexed = bitCount <= 8;
    Put32(dib.info, {40, dib.width, bottomUp ? dib.height : -dib.height});
    Put16(dib.info, {1, bitCount});
    Put32(dib.info, {0 /* BI_RGB */, 0, 2835, 2835, indexed ? static_cast<int64_t>(palette.size()) : 0, 0});
    for (size_t i = 0; indexed && i < palette.size(); ++i) {
        dib.info.insert(dib.info.end(), {palette[i][2], palette[i][1], palette[i][0], 0});  // RGBQUAD
    }
    const size_t stride = (static_cast<size_t>(dib.width) * bitCount + 31) / 32 * 4;
    for (int32_t r = 0; r < dib.height; ++r) {
        const auto& row = rowsTopFirst[static_cast<size_t>(bottomUp ? dib.height - 1 - r : r)];
        Bytes stored(stride, 0);
        for (size_t x = 0; x < row.size(); ++x) {
            const uint8_t index = row[x];
            if (bitCount == 1) stored[x / 8] |= static_cast<uint8_t>((index & 1) << (7 - x % 8));
            if (bitCount == 4) stored[x / 2] |= static_cast<uint8_t>((index & 15) << (x % 2 == 0 ? 4 : 0));
            if (bitCount == 8) stored[x] = index;
            if (bitCount == 24) {
                std::copy(palette[index].rbegin(), palette[index].rend(), stored.begin() + static_cast<std::ptrdiff_t>(x * 3));
            }
        }
        dib.bits.insert(dib.bits.end(), stored.begin(), stored.end());
    }
    return dib;
}

class EmfBuilder {
  public:
    // Header bounds, inclusive device units.
    EmfBuilder(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        Put32(bytes_, {1, 88, left, top, right, bottom, 0, 0, 0, 0, 0x464D4520, 0x10000, 0, 0});  // byte/record counts: finish()
        Put16(bytes_, {1, 0});
        Put32(bytes_, {0, 0, 0, 1024, 768, 320, 240});
    }
    EmfBuilder& mapMode(uint32_t mode) { return record(17, {mode}); }
    EmfBuilder& windowOrg(int32_t x, int32_t y) { return record(10, {x, y}); }
    EmfBuilder& windowExt(int32_t x, int32_t y) { return record(9, {x, y}); }
    EmfBuilder& viewportExt(int32_t x, int32_t y) { return record(11, {x, y}); }
    EmfBuilder& saveDc() { return record(33, {}); }
    EmfBuilder& restoreDc(int32_t relative) { return record(34, {relative}); }
    EmfBuilder& worldTransform(const std::array<float, 6>& m) {
        uint32_t raw[6];
        std::memcpy(raw, m.data(), sizeof raw);
        return record(35, {raw[0], raw[1], raw[2], raw[3], raw[4], raw[5]});
    }
    EmfBuilder& stretchDib(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop = 0x00CC0020,
                           uint32_t usage = 0) {
        return stretchDibPart(dib, x, y, cx, cy, 0, 0, dib.width, dib.height, rop, usage);
    }
    EmfBuilder& stretchDibPart(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t srcX, int32_t srcY,
                               int32_t srcCx, int32_t srcCy, uint32_t rop = 0x00CC0020, uint32_t usage = 0) {
        const int64_t infoSize = static_cast<int64_t>(dib.info.size()), bitsSize = static_cast<int64_t>(dib.bits.size());
        Put32(bytes_, {81, 80 + infoSize + (bitsSize + 3) / 4 * 4, 0, 0, 0, 0, x, y, srcX, srcY, srcCx, srcCy, 80, infoSize,
                       80 + infoSize, bitsSize, usage, rop, cx, cy});
        bytes_.insert(bytes_.end(), dib.info.begin(), dib.info.end());
        bytes_.insert(bytes_.end(), dib.bits.begin(), dib.bits.end());
        bytes_.resize((bytes_.size() + 3) / 4 * 4, 0);
        ++records_;
        return *this;
    }
    // Appends EMR_EOF and fills in the header's byte and record counts.
    [[nodiscard]] Bytes finish() {
        record(14, {0, 16, 20});
        Set32(bytes_, 48, static_cast<uint32_t>(bytes_.size()));
        Set32(bytes_, 52, records_);
        return bytes_;
    }

  private:
    EmfBuilder& record(uint32_t type, std::initializer_list<int64_t> values) {
        Put32(bytes_, {type, 8 + 4 * static_cast<int64_t>(values.size())});
        for (int64_t v : values) Put32(bytes_, {v});
        ++records_;
        return *this;
    }
    Bytes bytes_;
    uint32_t records_ = 1;
};

class WmfBuilder {
  public:
    // placeable: start with the 22-byte placeable header with this box (left, top, right,
    // bottom); otherwise the plain 18-byte header only.
    explicit WmfBuilder(bool placeable, int16_t left = 0, int16_t top = 0, int16_t right = 0, int16_t bottom = 0) {
        if (placeable) {
            Put32(bytes_, {0x9AC6CDD7});
            Put16(bytes_, {0, left, top, right, bottom, 96, 0, 0, 0});
        }
        headerAt_ = bytes_.size();
        Put16(bytes_, {1, 9, 0x0300, 0, 0, 0, 0, 0, 0});
    }
    WmfBuilder& mapMode(int16_t mode) { return record(0x0103, {mode}); }
    WmfBuilder& windowOrg(int16_t x, int16_t y) { return record(0x020B, {y, x}); }
    WmfBuilder& windowExt(int16_t x, int16_t y) { return record(0x020C, {y, x}); }
    WmfBuilder& stretchDib(const TestDib& dib, int16_t x, int16_t y, int16_t cx, int16_t cy) {
        Bytes body;
        Put32(body, {0x00CC0020});
        Put16(body, {0, dib.height, dib.width, 0, 0, cy, cx, y, x});
        body.insert(body.end(), dib.info.begin(), dib.info.end());
        body.insert(body.end(), dib.bits.begin(), dib.bits.end());
        if (body.size() % 2 != 0) body.push_back(0);
        Put32(bytes_, {static_cast<int64_t>((body.size() + 6) / 2)});
        Put16(bytes_, {0x0F43});
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        return *this;
    }
    [[nodiscard]] Bytes finish() {
        record(0, {});
        Set32(bytes_, headerAt_ + 6, static_cast<uint32_t>((bytes_.size() - headerAt_) / 2));
        return bytes_;
    }

  private:
    WmfBuilder& record(uint16_t function, std::initializer_list<int16_t> values) {
        Put32(bytes_, {3 + static_cast<int64_t>(values.size())});
        Put16(bytes_, {function});
        for (int16_t v : values) Put16(bytes_, {v});
        return *this;
    }
    Bytes bytes_;
    size_t headerAt_ = 0;
};

}  // namespace xpmimport_test

// Writing hand-made EMF and WMF records.
#include "metafile_builder.h"

namespace xpmimport_test {
namespace {

void Put16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Set32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TestDib MakeDib(const std::vector<std::vector<uint8_t>>& rowsTopFirst, const std::vector<std::array<uint8_t, 3>>& palette,
                uint16_t bitCount, bool bottomUp) {
    TestDib dib;
    dib.height = static_cast<int32_t>(rowsTopFirst.size());
    dib.width = rowsTopFirst.empty() ? 0 : static_cast<int32_t>(rowsTopFirst[0].size());
    const bool indexed = bitCount <= 8;
    Put32(dib.info, 40);
    Put32(dib.info, static_cast<uint32_t>(dib.width));
    Put32(dib.info, static_cast<uint32_t>(bottomUp ? dib.height : -dib.height));
    Put16(dib.info, 1);
    Put16(dib.info, bitCount);
    Put32(dib.info, 0);  // BI_RGB
    Put32(dib.info, 0);
    Put32(dib.info, 2835), Put32(dib.info, 2835);
    Put32(dib.info, indexed ? static_cast<uint32_t>(palette.size()) : 0);
    Put32(dib.info, 0);
    if (indexed) {
        for (const auto& color : palette) {
            dib.info.push_back(color[2]), dib.info.push_back(color[1]), dib.info.push_back(color[0]), dib.info.push_back(0);
        }
    }
    const size_t stride = (static_cast<size_t>(dib.width) * bitCount + 31) / 32 * 4;
    for (int32_t r = 0; r < dib.height; ++r) {
        const auto& row = rowsTopFirst[static_cast<size_t>(bottomUp ? dib.height - 1 - r : r)];
        Bytes stored(stride, 0);
        for (size_t x = 0; x < row.size(); ++x) {
            uint8_t index = row[x];
            switch (bitCount) {
                case 1: stored[x / 8] |= static_cast<uint8_t>((index & 1) << (7 - x % 8)); break;
                case 4: stored[x / 2] |= static_cast<uint8_t>((index & 15) << (x % 2 == 0 ? 4 : 0)); break;
                case 8: stored[x] = index; break;
                default:
                    stored[x * 3] = palette[index][2], stored[x * 3 + 1] = palette[index][1], stored[x * 3 + 2] = palette[index][0];
                    break;
            }
        }
        dib.bits.insert(dib.bits.end(), stored.begin(), stored.end());
    }
    return dib;
}

EmfBuilder::EmfBuilder(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Put32(bytes_, 1), Put32(bytes_, 88);
    Put32(bytes_, static_cast<uint32_t>(left)), Put32(bytes_, static_cast<uint32_t>(top));
    Put32(bytes_, static_cast<uint32_t>(right)), Put32(bytes_, static_cast<uint32_t>(bottom));
    for (int i = 0; i < 4; ++i) Put32(bytes_, 0);  // frame
    Put32(bytes_, 0x464D4520), Put32(bytes_, 0x10000);
    Put32(bytes_, 0), Put32(bytes_, 0);  // bytes, records: set by finish()
    Put16(bytes_, 1), Put16(bytes_, 0);
    Put32(bytes_, 0), Put32(bytes_, 0), Put32(bytes_, 0);
    Put32(bytes_, 1024), Put32(bytes_, 768), Put32(bytes_, 320), Put32(bytes_, 240);
}

EmfBuilder& EmfBuilder::mapMode(uint32_t mode) {
    Put32(bytes_, 17), Put32(bytes_, 12), Put32(bytes_, mode);
    ++records_;
    return *this;
}

EmfBuilder& EmfBuilder::point(uint32_t type, int32_t x, int32_t y) {
    Put32(bytes_, type), Put32(bytes_, 16), Put32(bytes_, static_cast<uint32_t>(x)), Put32(bytes_, static_cast<uint32_t>(y));
    ++records_;
    return *this;
}

EmfBuilder& EmfBuilder::saveDc() {
    Put32(bytes_, 33), Put32(bytes_, 8);
    ++records_;
    return *this;
}

EmfBuilder& EmfBuilder::restoreDc(int32_t relative) {
    Put32(bytes_, 34), Put32(bytes_, 12), Put32(bytes_, static_cast<uint32_t>(relative));
    ++records_;
    return *this;
}

EmfBuilder& EmfBuilder::worldTransform(const std::array<float, 6>& m) {
    Put32(bytes_, 35), Put32(bytes_, 32);
    for (float value : m) {
        uint32_t raw;
        __builtin_memcpy(&raw, &value, 4);
        Put32(bytes_, raw);
    }
    ++records_;
    return *this;
}

EmfBuilder& EmfBuilder::stretchDib(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop,
                                   uint32_t usage) {
    return stretchDibPart(dib, x, y, cx, cy, 0, 0, dib.width, dib.height, rop, usage);
}

EmfBuilder& EmfBuilder::stretchDibPart(const TestDib& dib, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t srcX,
                                       int32_t srcY, int32_t srcCx, int32_t srcCy, uint32_t rop, uint32_t usage) {
    const uint32_t infoAt = 80, bitsAt = 80 + static_cast<uint32_t>(dib.info.size());
    const uint32_t size = bitsAt + static_cast<uint32_t>((dib.bits.size() + 3) / 4 * 4);
    Put32(bytes_, 81), Put32(bytes_, size);
    for (int i = 0; i < 4; ++i) Put32(bytes_, 0);  // bounds
    for (int32_t v : {x, y, srcX, srcY, srcCx, srcCy}) Put32(bytes_, static_cast<uint32_t>(v));
    Put32(bytes_, infoAt), Put32(bytes_, static_cast<uint32_t>(dib.info.size()));
    Put32(bytes_, bitsAt), Put32(bytes_, static_cast<uint32_t>(dib.bits.size()));
    Put32(bytes_, usage), Put32(bytes_, rop);
    Put32(bytes_, static_cast<uint32_t>(cx)), Put32(bytes_, static_cast<uint32_t>(cy));
    bytes_.insert(bytes_.end(), dib.info.begin(), dib.info.end());
    bytes_.insert(bytes_.end(), dib.bits.begin(), dib.bits.end());
    bytes_.resize((bytes_.size() + 3) / 4 * 4, 0);
    ++records_;
    return *this;
}

Bytes EmfBuilder::finish() {
    Put32(bytes_, 14), Put32(bytes_, 20), Put32(bytes_, 0), Put32(bytes_, 16), Put32(bytes_, 20);
    ++records_;
    Set32(bytes_, 48, static_cast<uint32_t>(bytes_.size()));
    Set32(bytes_, 52, records_);
    return bytes_;
}

WmfBuilder::WmfBuilder(bool placeable, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    if (placeable) {
        Put32(bytes_, 0x9AC6CDD7), Put16(bytes_, 0);
        for (int16_t v : {left, top, right, bottom}) Put16(bytes_, static_cast<uint16_t>(v));
        Put16(bytes_, 96), Put32(bytes_, 0), Put16(bytes_, 0);
    }
    headerAt_ = bytes_.size();
    Put16(bytes_, 1), Put16(bytes_, 9), Put16(bytes_, 0x0300);
    Put32(bytes_, 0), Put16(bytes_, 0), Put32(bytes_, 0), Put16(bytes_, 0);
}

WmfBuilder& WmfBuilder::mapMode(int16_t mode) {
    Put32(bytes_, 4), Put16(bytes_, 0x0103), Put16(bytes_, static_cast<uint16_t>(mode));
    return *this;
}

WmfBuilder& WmfBuilder::point(uint16_t function, int16_t x, int16_t y) {
    Put32(bytes_, 5), Put16(bytes_, function), Put16(bytes_, static_cast<uint16_t>(y)), Put16(bytes_, static_cast<uint16_t>(x));
    return *this;
}

WmfBuilder& WmfBuilder::stretchDib(const TestDib& dib, int16_t x, int16_t y, int16_t cx, int16_t cy) {
    Bytes record;
    Put32(record, 0x00CC0020), Put16(record, 0);
    for (int32_t v : {dib.height, dib.width, 0, 0, int32_t{cy}, int32_t{cx}, int32_t{y}, int32_t{x}}) {
        Put16(record, static_cast<uint16_t>(v));
    }
    record.insert(record.end(), dib.info.begin(), dib.info.end());
    record.insert(record.end(), dib.bits.begin(), dib.bits.end());
    if (record.size() % 2 != 0) record.push_back(0);
    Put32(bytes_, static_cast<uint32_t>((record.size() + 6) / 2)), Put16(bytes_, 0x0F43);
    bytes_.insert(bytes_.end(), record.begin(), record.end());
    return *this;
}

Bytes WmfBuilder::finish() {
    Put32(bytes_, 3), Put16(bytes_, 0);
    Set32(bytes_, headerAt_ + 6, static_cast<uint32_t>((bytes_.size() - headerAt_) / 2));
    return bytes_;
}

}  // namespace xpmimport_test

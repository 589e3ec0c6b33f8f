// The renderer behind PNG output and the end-to-end comparisons, on hand-made Enhanced
// Metafiles whose right picture is known: the mappings and placements that the filter's own
// metafiles do not vary (the end-to-end tests paint those, as EMF and as WMF).
#include <gtest/gtest.h>

#include <algorithm>

#include "xpmimport/metafile_render.h"

namespace xpmimport_test {
namespace {

using Record = std::vector<int64_t>;  // a record type, then its 32-bit fields
constexpr int64_t kRgb[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFFFFFF};  // R G B Y W
constexpr int64_t kEmrStretchDiBits = 81;

// EMR_STRETCHDIBITS of the source rectangle src of the picture R G B / Y R G to x, y, cx, cy.
[[nodiscard]] Record Stretch(int x, int y, int cx, int cy, std::array<int, 4> src = {0, 0, 3, 2}) {
    return {kEmrStretchDiBits, 0, 0, 0, 0, x, y, src[0], src[1], src[2], src[3], 80, 56, 80 + 56, 8, 0, 0xCC0020, cx, cy};
}

// An EMF of the bounds 0, 0, right, bottom (inclusive), each value in 4 little-endian bytes.
// EMR_STRETCHDIBITS records carry the picture as the filter writes its bitmaps: an 8-bit
// bottom-up DIB (header, colour table, two rows of 4 bytes).
[[nodiscard]] std::vector<uint8_t> Emf(int right, int bottom, std::initializer_list<Record> records) {
    Record values = {1, 88, 0, 0, right, bottom, 0, 0, 0, 0, 0x464D4520, 0x10000, 0, 0, 0, 0, 0, 0, 1024, 768, 320, 240};
    for (const Record& record : records) {
        const bool dib = record[0] == kEmrStretchDiBits;
        values.insert(values.end(), {record[0], 4 * static_cast<int64_t>(record.size() + 1) + (dib ? 64 : 0)});
        values.insert(values.end(), record.begin() + 1, record.end());
        if (dib) values.insert(values.end(), {40, 3, 2, 0x80001, 0, 0, 0, 0, 4, 0, kRgb[0], kRgb[1], kRgb[2], kRgb[3], 0x010003, 0x020100});
    }
    std::vector<uint8_t> bytes;
    for (int64_t v : values) for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return bytes;
}

// The picture as letters, rows separated by '/'.
[[nodiscard]] std::string Letters(const xpmimport::RgbImage& image) {
    std::string text;
    for (size_t i = 0; i < image.pixels.size(); i += 3) {
        const int64_t rgb = image.pixels[i] << 16 | image.pixels[i + 1] << 8 | image.pixels[i + 2];
        text += (i > 0 && i / 3 % size_t(image.width) == 0 ? "/" : "") + std::string(1, "RGBYW?"[std::find(kRgb, kRgb + 5, rgb) - kRgb]);
    }
    return text;
}

TEST(MetafileRenderTest, PaintsBitmapsWhereTheRecordsPlaceThem) {
    const struct {
        const char* name;
        std::vector<uint8_t> metafile;
        std::string want;  // rows of letters
    } cases[] = {
        {"as placed", Emf(2, 1, {Stretch(0, 0, 3, 2)}), "RGB/YRG"},
        {"stretched and mirrored", Emf(5, 1, {Stretch(6, 0, -6, 2)}), "BBGGRR/GGRRYY"},
        {"y-up window", Emf(2, 1, {{17, 8}, {10, 0, 2}, {9, 3, -2}, {11, 3, 2}, Stretch(0, 2, 3, -2)}), "RGB/YRG"},
        {"window moved, then restored", Emf(3, 1, {{33}, {10, -1, 0}, Stretch(0, 0, 3, 2), {34, -1}, Stretch(0, 0, 3, 2)}), "RGBB/YRGG"},
        {"clipped, parts of the source", Emf(0, 1, {Stretch(-1, 0, 3, 2), Stretch(0, 1, 1, 1, {0, 0, 1, 1})}), "G/Y"},
        {"bands down with a gap", Emf(2, 5, {Stretch(0, 0, 3, 2), Stretch(0, 4, 3, 2)}), "RGB/YRG/WWW/WWW/RGB/YRG"},
        {"bands up", Emf(2, 3, {Stretch(0, 2, 3, 2), Stretch(0, 0, 3, 2, {0, 0, 3, 1})}), "YRG/YRG/RGB/YRG"},
    };
    for (const auto& c : cases) {
        const xpmimport::RenderOutcome got = xpmimport::RenderEnhancedMetafile(c.metafile);
        EXPECT_EQ(got.ok ? Letters(got.image) : got.error, c.want) << c.name;
    }
}

}  // namespace
}  // namespace xpmimport_test

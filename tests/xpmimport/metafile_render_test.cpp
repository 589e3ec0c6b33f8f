// The renderer behind PNG output and the end-to-end comparisons, on hand-made metafiles whose
// right picture is known: the mappings, bit depths and band orders that the filter's own
// metafiles do not vary, painted on a whole canvas and row by row alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "xpmimport/metafile_render.h"

namespace xpmimport_test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kRgb[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFFFFFF};  // R G B Y W

void Put(Bytes& out, std::initializer_list<int64_t> values, int size = 4) {
    for (int64_t v : values) for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The picture R G B / Y R G as a device-independent bitmap of 4, 8 or 24 bits per pixel.
[[nodiscard]] Bytes Dib(int bits, bool bottomUp = true) {
    const uint8_t rows[2][3] = {{0, 1, 2}, {3, 0, 1}};
    Bytes dib;
    Put(dib, {40, 3, bottomUp ? 2 : -2}), Put(dib, {1, bits}, 2), Put(dib, {0, 0, 0, 0, bits < 24 ? 4 : 0, 0});
    if (bits < 24) Put(dib, {kRgb[0], kRgb[1], kRgb[2], kRgb[3]});  // RGBQUADs: blue, green, red, 0
    for (const uint8_t* p : {rows[bottomUp ? 1 : 0], rows[bottomUp ? 0 : 1]}) {
        Bytes row = bits == 8 ? Bytes{p[0], p[1], p[2]} : Bytes{uint8_t(p[0] << 4 | p[1]), uint8_t(p[2] << 4)};
        if (bits == 24) row.clear(), Put(row, {kRgb[p[0]], kRgb[p[1]], kRgb[p[2]]}, 3);
        row.resize(bits == 24 ? 12 : 4), dib.insert(dib.end(), row.begin(), row.end());
    }
    return dib;
}

// Records of an Enhanced Metafile: a type and 32-bit fields; EMR_STRETCHDIBITS of the source
// rectangle src of a DIB to x, y, cx, cy.
[[nodiscard]] Bytes Record(int64_t type, std::initializer_list<int64_t> fields) {
    Bytes record;
    Put(record, {type, 8 + 4 * static_cast<int64_t>(fields.size())}), Put(record, fields);
    return record;
}
[[nodiscard]] Bytes Stretch(const Bytes& dib, int x, int y, int cx, int cy, std::array<int, 4> src = {0, 0, 3, 2}) {
    const int64_t info = dib[14] == 24 ? 40 : 56, size = static_cast<int64_t>(dib.size());
    Bytes record;
    Put(record, {81, 80 + size, 0, 0, 0, 0, x, y, src[0], src[1], src[2], src[3], 80, info, 80 + info, size - info, 0, 0xCC0020, cx, cy});
    record.insert(record.end(), dib.begin(), dib.end());
    return record;
}
[[nodiscard]] Bytes Emf(int right, int bottom, std::initializer_list<Bytes> records) {
    Bytes emf;
    Put(emf, {1, 88, 0, 0, right, bottom, 0, 0, 0, 0, 0x464D4520, 0x10000, 0, 0, 0, 0, 0, 0, 1024, 768, 320, 240});
    for (const Bytes& record : records) emf.insert(emf.end(), record.begin(), record.end());
    return emf;
}

// A placeable Windows Metafile of the box 0, 0, right, bottom: META_SETMAPMODE, the window
// (origin, extent) when given, and a META_STRETCHDIB of the 8-bit DIB to x, y, cx, cy.
[[nodiscard]] Bytes Wmf(int right, int bottom, std::vector<int> window, int x, int y, int cx, int cy) {
    Bytes wmf, dib = Dib(8);
    Put(wmf, {0x9AC6CDD7}), Put(wmf, {0, 0, 0, right, bottom, 96, 0, 0, 0, 1, 9, 0x300, 0, 0, 0, 0, 0, 0, 4, 0, 0x103, 8}, 2);
    if (!window.empty()) Put(wmf, {5, 0, 0x20B, window[1], window[0], 5, 0, 0x20C, window[3], window[2]}, 2);
    Put(wmf, {(28 + static_cast<int64_t>(dib.size())) / 2}), Put(wmf, {0xF43, 0x20, 0xCC, 0, 2, 3, 0, 0, cy, cx, y, x}, 2);
    wmf.insert(wmf.end(), dib.begin(), dib.end());
    Put(wmf, {3, 0, 0}, 2);
    return wmf;
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

struct RowCollector final : xpmimport::RowSink {
    xpmimport::RgbImage image;
    bool begin(int32_t width, int32_t height, std::string*) override { return image.width = width, image.height = height, true; }
    bool row(const uint8_t* rgb, std::string*) override { return image.pixels.insert(image.pixels.end(), rgb, rgb + image.width * 3), true; }
    bool finish(std::string*) override { return true; }
};

TEST(MetafileRenderTest, PaintsBitmapsWhereTheRecordsPlaceThem) {
    const float shift[] = {1, 0, 0, 1, 1, 0};  // a world transform one unit to the right
    uint32_t m[6];
    std::memcpy(m, shift, sizeof m);
    const struct {
        const char* name;
        Bytes metafile;
        std::string want;  // rows of letters, or "!" and a word of the refusal
    } cases[] = {
        {"EMF, 8-bit", Emf(2, 1, {Stretch(Dib(8), 0, 0, 3, 2)}), "RGB/YRG"},
        {"EMF, 4-bit", Emf(2, 1, {Stretch(Dib(4), 0, 0, 3, 2)}), "RGB/YRG"},
        {"EMF, 24-bit, top-down", Emf(2, 1, {Stretch(Dib(24, false), 0, 0, 3, 2)}), "RGB/YRG"},
        {"EMF, stretched and mirrored", Emf(5, 1, {Stretch(Dib(8), 6, 0, -6, 2)}), "BBGGRR/GGRRYY"},
        {"EMF, y-up window", Emf(2, 1, {Record(17, {8}), Record(10, {0, 2}), Record(9, {3, -2}), Record(11, {3, 2}), Stretch(Dib(8), 0, 2, 3, -2)}), "RGB/YRG"},
        {"EMF, world transform", Emf(3, 1, {Record(35, {m[0], m[1], m[2], m[3], m[4], m[5]}), Stretch(Dib(8), 0, 0, 3, 2)}), "WRGB/WYRG"},
        {"EMF, RestoreDC undoes it", Emf(2, 1, {Record(33, {}), Record(35, {m[0], m[1], m[2], m[3], m[4], m[5]}), Record(34, {-1}),
                                               Stretch(Dib(8), 0, 0, 3, 2)}), "RGB/YRG"},
        {"EMF, middle column, clipped", Emf(0, 1, {Stretch(Dib(8), -1, 0, 3, 2, {0, 0, 3, 2}), Stretch(Dib(8), 0, 1, 1, 1, {0, 0, 1, 1})}), "G/Y"},
        {"EMF, bands down with a gap", Emf(2, 5, {Stretch(Dib(8), 0, 0, 3, 2), Stretch(Dib(8), 0, 4, 3, 2)}), "RGB/YRG/WWW/WWW/RGB/YRG"},
        {"EMF, bands up", Emf(2, 3, {Stretch(Dib(8), 0, 2, 3, 2), Stretch(Dib(4), 0, 0, 3, 2, {0, 0, 3, 1})}), "YRG/YRG/RGB/YRG"},
        {"EMF, unknown map mode", Emf(2, 1, {Record(17, {2}), Stretch(Dib(8), 0, 0, 3, 2)}), "!map mode"},
        {"EMF, RestoreDC never saved", Emf(2, 1, {Record(34, {-1})}), "!never saved"},
        {"WMF, window", Wmf(9, 9, {0, 0, 3, 2}, 0, 0, 3, 2), "RGB/YRG"},
        {"WMF, y-up window", Wmf(9, 9, {0, 2, 3, -2}, 0, 2, 3, -2), "RGB/YRG"},
        {"WMF, box only", Wmf(3, 2, {}, 0, 0, 3, 2), "RGB/YRG"},
    };
    for (const auto& c : cases) {
        const bool wmf = c.name[0] == 'W';
        const auto whole = wmf ? xpmimport::RenderWindowsMetafile(c.metafile) : xpmimport::RenderEnhancedMetafile(c.metafile);
        const std::string got = whole.ok ? Letters(whole.image) : "!" + whole.error;
        EXPECT_TRUE(c.want[0] == '!' ? !whole.ok && got.find(c.want.substr(1)) != std::string::npos : got == c.want)
            << c.name << ": got " << got << ", want " << c.want;
        xpmimport::MetafileSource source(c.metafile);
        RowCollector rows;
        const auto streamed = RenderMetafileRows(source, wmf ? xpmimport::MetafileKind::kWindows : xpmimport::MetafileKind::kEnhanced, rows);
        EXPECT_EQ(streamed.ok ? Letters(rows.image) : "!" + streamed.error, got) << c.name << ", row by row";
    }
}

}  // namespace
}  // namespace xpmimport_test

// The renderer behind PNG output and behind every pixel comparison of the end-to-end tests:
// hand-made metafiles whose right picture is known, placed every way the records allow.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "metafile_builder.h"
#include "xpmimport/metafile_render.h"

namespace xpmimport_test {
namespace {

using xpmimport::RenderEnhancedMetafile;
using xpmimport::RenderOutcome;
using xpmimport::RenderWindowsMetafile;

// Colours by letter, so expected pictures read as text: R G B Y are the palette, W is white.
const std::vector<std::array<uint8_t, 3>> kPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {255, 255, 255}};
const char kLetters[] = "RGBYW";
// The picture: R G B / Y R G.
const std::vector<std::vector<uint8_t>> kRows = {{0, 1, 2}, {3, 0, 1}};

[[nodiscard]] std::string AsLetters(const xpmimport::RgbImage& image) {
    std::string text;
    for (int32_t y = 0; y < image.height; ++y) {
        text += y > 0 ? "/" : "";
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            auto found = std::find(kPalette.begin(), kPalette.end(), std::array<uint8_t, 3>{p[0], p[1], p[2]});
            text += found == kPalette.end() ? '?' : kLetters[found - kPalette.begin()];
        }
    }
    return text;
}

TestDib Dib(bool bottomUp = false, uint16_t bits = 8) { return MakeDib(kRows, kPalette, bits, bottomUp); }


[[nodiscard]] RenderOutcome Render(const Bytes& metafile, bool windows) {
    return windows ? RenderWindowsMetafile(metafile) : RenderEnhancedMetafile(metafile);
}

// Keeps every row it is given, and checks that the calls come in order.
struct RowCollector final : xpmimport::RowSink {
    xpmimport::RgbImage image;
    int begins = 0, finishes = 0;
    bool begin(int32_t width, int32_t height, std::string*) override {
        ++begins;
        image.width = width, image.height = height;
        return true;
    }
    bool row(const uint8_t* rgb, std::string*) override {
        EXPECT_EQ(begins, 1);
        image.pixels.insert(image.pixels.end(), rgb, rgb + static_cast<size_t>(image.width) * 3);
        return true;
    }
    bool finish(std::string*) override { return ++finishes == 1 && image.pixels.size() == size_t{3} * image.width * image.height; }
};

// Row by row from memory and from a file: the same outcome as the whole canvas.
[[nodiscard]] std::vector<std::pair<xpmimport::RowsOutcome, xpmimport::RgbImage>> RenderRows(const Bytes& metafile) {
    std::vector<std::pair<xpmimport::RowsOutcome, xpmimport::RgbImage>> got;
    const int fd = memfd_create("metafile", MFD_CLOEXEC);
    EXPECT_EQ(write(fd, metafile.data(), metafile.size()), static_cast<ssize_t>(metafile.size()));
    for (bool fromFile : {false, true}) {
        xpmimport::MetafileSource source = fromFile ? xpmimport::MetafileSource(fd) : xpmimport::MetafileSource(metafile);
        RowCollector rows;
        xpmimport::RowsOutcome outcome = RenderMetafileRows(source, xpmimport::MetafileKindOf(metafile), rows);
        got.emplace_back(outcome, std::move(rows.image));
    }
    close(fd);
    return got;
}

struct Case {
    const char* name;
    Bytes metafile;
    bool windows;
    const char* want;  // rows of letters separated by '/', or a word of the refusal
};

TEST(MetafileRenderTest, PaintsBitmapsWhereTheRecordsPlaceThem) {
    const Case cases[] = {
        {"EMF, MM_TEXT, top-down DIB", EmfBuilder(0, 0, 2, 1).stretchDib(Dib(), 0, 0, 3, 2).finish(), false, "RGB/YRG"},
        {"EMF, 4-bit DIB", EmfBuilder(0, 0, 2, 1).stretchDib(Dib(true, 4), 0, 0, 3, 2).finish(), false, "RGB/YRG"},
        {"EMF, 24-bit DIB", EmfBuilder(0, 0, 2, 1).stretchDib(Dib(true, 24), 0, 0, 3, 2).finish(), false, "RGB/YRG"},
        {"EMF, 1-bit DIB",
         EmfBuilder(0, 0, 2, 1).stretchDib(MakeDib({{0, 1, 1}, {1, 0, 0}}, {kPalette[0], kPalette[1]}, 1, true), 0, 0, 3, 2).finish(), false,
         "RGG/GRR"},
        {"EMF, y-up window, drawn from its top corner",
         EmfBuilder(0, 0, 2, 1).mapMode(8).windowOrg(0, 2).windowExt(3, -2).viewportExt(3, 2)
             .stretchDib(Dib(true), 0, 2, 3, -2).finish(),
         false, "RGB/YRG"},
        {"EMF, y-up window, drawn from logical 0 upward (upside down)",
         EmfBuilder(0, 0, 2, 1).mapMode(8).windowOrg(0, 2).windowExt(3, -2).viewportExt(3, 2)
             .stretchDib(Dib(true), 0, 0, 3, 2).finish(),
         false, "YRG/RGB"},
        {"EMF, y-up window without a viewport", 
         EmfBuilder(0, 0, 2, 1).mapMode(8).windowOrg(0, 2).windowExt(3, -2).stretchDib(Dib(true), 0, 2, 3, -2).finish(),
         false, "RGB/YRG"},
        {"EMF, bounds not at the origin", EmfBuilder(10, 20, 12, 21).stretchDib(Dib(), 10, 20, 3, 2).finish(), false,
         "RGB/YRG"},
        {"EMF, stretched twice as large", EmfBuilder(0, 0, 5, 3).stretchDib(Dib(), 0, 0, 6, 4).finish(), false,
         "RRGGBB/RRGGBB/YYRRGG/YYRRGG"},
        {"EMF, negative width mirrors", EmfBuilder(0, 0, 2, 1).stretchDib(Dib(), 3, 0, -3, 2).finish(), false, "BGR/GRY"},
        {"EMF, world transform moves right",
         EmfBuilder(0, 0, 3, 1).worldTransform({1, 0, 0, 1, 1, 0}).stretchDib(Dib(), 0, 0, 3, 2).finish(), false,
         "WRGB/WYRG"},
        {"EMF, RestoreDC undoes the transform",
         EmfBuilder(0, 0, 2, 1).saveDc().worldTransform({1, 0, 0, 1, 5, 0}).restoreDc(-1)
             .stretchDib(Dib(), 0, 0, 3, 2).finish(),
         false, "RGB/YRG"},
        {"EMF, middle column of the source", EmfBuilder(0, 0, 0, 1).stretchDibPart(Dib(), 0, 0, 1, 2, 1, 0, 1, 2).finish(),
         false, "G/R"},
        {"EMF, bottom row of a bottom-up source (source y from the bottom)",
         EmfBuilder(0, 0, 2, 0).stretchDibPart(Dib(true), 0, 0, 3, 1, 0, 0, 3, 1).finish(), false, "YRG"},
        {"EMF, clipped at the canvas edges", EmfBuilder(0, 0, 1, 0).stretchDib(Dib(), -1, 0, 3, 2).finish(), false, "GB"},
        {"EMF, nothing drawn stays white", EmfBuilder(0, 0, 1, 0).finish(), false, "WW"},
        {"WMF, y-up window, drawn from its top corner",
         WmfBuilder(false).mapMode(8).windowOrg(0, 2).windowExt(3, -2).stretchDib(Dib(true), 0, 2, 3, -2).finish(), true,
         "RGB/YRG"},
        {"WMF, box only", WmfBuilder(true, 0, 0, 3, 2).stretchDib(Dib(true), 0, 0, 3, 2).finish(), true, "RGB/YRG"},
    };
    for (const Case& c : cases) {
        RenderOutcome got = Render(c.metafile, c.windows);
        ASSERT_TRUE(got.ok) << c.name << ": " << got.error;
        EXPECT_EQ(AsLetters(got.image), c.want) << c.name;
        for (const auto& [outcome, rows] : RenderRows(c.metafile)) {
            EXPECT_TRUE(outcome.ok && outcome.streamed) << c.name << ": " << outcome.error;
            EXPECT_EQ(AsLetters(rows), c.want) << c.name << ", row by row";
        }
    }
}

// Pictures in bands as the writer makes them (bottom-up 8-bit DIBs, placed upright), in
// and out of order: the rows go out while the records arrive when the bands run down the
// picture, holding no more rows than a band, and match the whole canvas in every case.
TEST(MetafileRenderTest, RowByRowMatchesTheWholeCanvas) {
    struct Band {
        int16_t top, rows;
    };
    auto banded = [](bool windows, int16_t width, int16_t height, std::vector<Band> bands) {
        const std::vector<std::array<uint8_t, 3>> palette = {{9, 8, 7}, {200, 100, 50}, {0, 0, 255}, {1, 2, 3}, {90, 0, 9}};
        auto dib = [&](const Band& band) {
            std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(band.rows), std::vector<uint8_t>(static_cast<size_t>(width)));
            for (size_t y = 0; y < rows.size(); ++y) {
                for (size_t x = 0; x < rows[y].size(); ++x) rows[y][x] = static_cast<uint8_t>((x * 7 + (band.top + y) * 13) % 5);
            }
            return MakeDib(rows, palette, 8, true);
        };
        if (windows) {
            WmfBuilder wmf(true, 0, 0, width, height);
            wmf.windowOrg(0, 0).windowExt(width, height);
            for (const Band& band : bands) wmf.stretchDib(dib(band), 0, band.top, width, band.rows);
            return wmf.finish();
        }
        EmfBuilder emf(0, 0, width - 1, height - 1);
        for (const Band& band : bands) emf.stretchDib(dib(band), 0, band.top, width, band.rows);
        return emf.finish();
    };
    const struct {
        const char* name;
        Bytes metafile;
        bool streamed;
        int32_t peakRows;
    } cases[] = {
        {"EMF, three bands and a short one", banded(false, 7, 10, {{0, 3}, {3, 3}, {6, 3}, {9, 1}}), true, 3},
        {"EMF, one pixel wide", banded(false, 1, 9, {{0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 1}}), true, 2},
        {"EMF, bands over 64 KiB each", banded(false, 300, 500, {{0, 250}, {250, 250}}), true, 250},
        {"EMF, a band missing leaves white rows", banded(false, 4, 9, {{0, 3}, {6, 3}}), true, 3},
        {"EMF, overlapping bands", banded(false, 5, 8, {{0, 4}, {2, 4}, {6, 2}}), true, 4},
        {"EMF, bands bottom to top", banded(false, 6, 9, {{6, 3}, {3, 3}, {0, 3}}), false, 9},
        {"EMF, one band out of order", banded(false, 3, 6, {{0, 2}, {4, 2}, {2, 2}}), false, 6},
        {"WMF, three bands", banded(true, 5, 8, {{0, 3}, {3, 3}, {6, 2}}), true, 3},
        {"WMF, one pixel wide", banded(true, 1, 5, {{0, 2}, {2, 2}, {4, 1}}), true, 2},
        {"WMF, bands bottom to top", banded(true, 4, 4, {{2, 2}, {0, 2}}), false, 4},
    };
    for (const auto& c : cases) {
        RenderOutcome whole = RenderEnhancedMetafile(c.metafile);
        if (xpmimport::MetafileKindOf(c.metafile) == xpmimport::MetafileKind::kWindows) whole = RenderWindowsMetafile(c.metafile);
        ASSERT_TRUE(whole.ok) << c.name << ": " << whole.error;
        for (const auto& [outcome, rows] : RenderRows(c.metafile)) {
            ASSERT_TRUE(outcome.ok) << c.name << ": " << outcome.error;
            EXPECT_EQ(outcome.streamed, c.streamed) << c.name;
            EXPECT_EQ(outcome.peakRows, c.peakRows) << c.name;
            EXPECT_EQ(rows.width, whole.image.width) << c.name;
            EXPECT_TRUE(rows.pixels == whole.image.pixels) << c.name;
        }
    }
}

TEST(MetafileRenderTest, RefusesWhatItCannotPaintFaithfully) {
    const Bytes good = EmfBuilder(0, 0, 2, 1).stretchDib(Dib(), 0, 0, 3, 2).finish();
    Bytes badSignature = good;
    badSignature[40] = 'X';
    const Case cases[] = {
        {"index beyond the colour table",
         EmfBuilder(0, 0, 1, 0).stretchDib(MakeDib({{0, 5}}, kPalette, 8, true), 0, 0, 2, 1).finish(), false, "beyond"},
        {"raster operation other than SRCCOPY",
         EmfBuilder(0, 0, 2, 1).stretchDib(Dib(), 0, 0, 3, 2, 0x00EE0086).finish(), false, "SRCCOPY"},
        {"colours as palette indices", EmfBuilder(0, 0, 2, 1).stretchDib(Dib(), 0, 0, 3, 2, 0x00CC0020, 1).finish(),
         false, "DIB_PAL_COLORS"},
        {"map mode MM_LOMETRIC", EmfBuilder(0, 0, 2, 1).mapMode(2).stretchDib(Dib(), 0, 0, 3, 2).finish(), false,
         "map mode"},
        {"RestoreDC without SaveDC", EmfBuilder(0, 0, 2, 1).restoreDc(-1).finish(), false, "never saved"},
        {"source rectangle outside the bitmap",
         EmfBuilder(0, 0, 2, 1).stretchDibPart(Dib(), 0, 0, 3, 2, 1, 0, 3, 2).finish(), false, "outside"},
        {"not an EMF", badSignature, false, "no EMF header"},
        {"header only, cut short", Bytes(good.begin(), good.begin() + 60), false, "no EMF header"},
        {"WMF without window or box", WmfBuilder(false).stretchDib(Dib(true), 0, 0, 3, 2).finish(), true,
         "size unknown"},
        {"not a WMF", Bytes(40, 0x55), true, "no metafile header"},
    };
    for (const Case& c : cases) {
        RenderOutcome got = Render(c.metafile, c.windows);
        EXPECT_FALSE(got.ok) << c.name << ": got a picture, want a refusal";
        EXPECT_NE(got.error.find(c.want), std::string::npos)
            << c.name << ": got error \"" << got.error << "\", want one mentioning \"" << c.want << "\"";
        if (xpmimport::MetafileKindOf(c.metafile) == xpmimport::MetafileKind::kUnknown) continue;
        for (const auto& [outcome, rows] : RenderRows(c.metafile)) {
            EXPECT_FALSE(outcome.ok || outcome.sinkFailed) << c.name << ", row by row";
            EXPECT_EQ(outcome.error, got.error) << c.name << ", row by row";
        }
    }
}

// Every cut and every damaged byte of a metafile ends in a picture or a refusal, never a
// read outside the input (run under AddressSanitizer in CI), row by row as on a canvas. The header's bounds are left
// alone: damaging them only asks for a larger canvas.
TEST(MetafileRenderTest, DamagedInputEndsCleanly) {
    struct Case {
        Bytes whole;
        bool windows;
        size_t boundsFrom, boundsTo;  // the header's bounds, left alone
    } cases[] = {
        {EmfBuilder(0, 0, 2, 1).mapMode(8).windowOrg(0, 2).windowExt(3, -2).viewportExt(3, 2)
             .stretchDib(Dib(true), 0, 2, 3, -2).finish(), false, 8, 24},
        {WmfBuilder(true, 0, 0, 3, 2).windowOrg(0, 0).windowExt(3, 2).stretchDib(Dib(true), 0, 0, 3, 2).finish(), true, 6, 14},
    };
    for (const Case& c : cases) {
        // Row by row, from memory and from a file, the same answer as the whole canvas.
        auto sameRowByRow = [&](const Bytes& metafile, const RenderOutcome& whole, size_t at) {
            const auto kind = xpmimport::MetafileKindOf(metafile);
            if (kind != (c.windows ? xpmimport::MetafileKind::kWindows : xpmimport::MetafileKind::kEnhanced)) return;
            for (const auto& [outcome, rows] : RenderRows(metafile)) {
                EXPECT_EQ(outcome.error, whole.error) << "byte " << at;
                EXPECT_TRUE(!outcome.ok || rows.pixels == whole.image.pixels) << "byte " << at;
            }
        };
        for (size_t at = 0; at < c.whole.size(); ++at) {
            Bytes part(c.whole.begin(), c.whole.begin() + static_cast<std::ptrdiff_t>(at));
            RenderOutcome cut = Render(part, c.windows);
            EXPECT_TRUE(!cut.ok || cut.image.pixels.size() <= size_t{3 * 2 * 3}) << "cut at " << at;
            sameRowByRow(part, cut, at);
            if (at >= c.boundsFrom && at < c.boundsTo) continue;
            Bytes damaged = c.whole;
            damaged[at] ^= 0xFF;
            RenderOutcome got = Render(damaged, c.windows);
            EXPECT_TRUE(got.ok || !got.error.empty()) << "byte " << at << " damaged: refusal without words";
            sameRowByRow(damaged, got, at);
        }
    }
}

}  // namespace
}  // namespace xpmimport_test

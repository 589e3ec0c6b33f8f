// The renderer behind PNG output and behind every pixel comparison of the end-to-end tests:
// hand-made metafiles whose right picture is known, placed every way the records allow.
#include <gtest/gtest.h>

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
    }
}

// Every cut and every damaged byte of a metafile ends in a picture or a refusal, never a
// read outside the input (run under AddressSanitizer in CI). The header's bounds are left
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
        for (size_t at = 0; at < c.whole.size(); ++at) {
            RenderOutcome cut = Render(Bytes(c.whole.begin(), c.whole.begin() + static_cast<std::ptrdiff_t>(at)), c.windows);
            EXPECT_TRUE(!cut.ok || cut.image.pixels.size() <= size_t{3 * 2 * 3}) << "cut at " << at;
            if (at >= c.boundsFrom && at < c.boundsTo) continue;
            Bytes damaged = c.whole;
            damaged[at] ^= 0xFF;
            RenderOutcome got = Render(damaged, c.windows);
            EXPECT_TRUE(got.ok || !got.error.empty()) << "byte " << at << " damaged: refusal without words";
        }
    }
}

}  // namespace
}  // namespace xpmimport_test

// End to end through the built module, loaded with dlopen as xpmimport loads it: every
// picture of a generated corpus is imported, its metafile painted back into pixels, and
// compared pixel for pixel with libXpm's reading of the same file.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "expected_picture.h"
#include "test_environment.h"
#include "xpm_corpus.h"
#include "xpmimport/file_info_query.h"
#include "xpmimport/filter_module.h"
#include "xpmimport/metafile_render.h"
#include "xpmimport/picture_import.h"

namespace xpmimport_test {
namespace {

using xpmimport::ImportedPicture;
using xpmimport::ImportPicture;

struct Rendered {
    ImportedPicture picture;
    std::string error;  // why there is no picture although the import succeeded
    xpmimport::RgbImage image;
};

class ModuleImportTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module_ = SharedFilter(&error);
        ASSERT_NE(module_, nullptr) << "the built filter module cannot be used: " << error;
        ASSERT_FALSE(X11Colors().empty()) << "/usr/share/X11/rgb.txt is needed (Debian x11-common)";
    }

    // Imports path (or standard input for "-") and paints the metafile.
    [[nodiscard]] Rendered ImportAndRender(const std::string& path, bool windowsMetafile = false) const {
        Rendered got;
        got.picture = ImportPicture(module_->exports(), path, windowsMetafile, nullptr);
        if (got.picture.code != 0) return got;
        if (!got.picture.metafile || got.picture.metafile->enhanced() == windowsMetafile) {
            got.error = "success without a picture of the kind asked for";
            return got;
        }
        std::vector<uint8_t> bytes = got.picture.metafile->bytes();
        auto outcome = windowsMetafile ? xpmimport::RenderWindowsMetafile(bytes) : xpmimport::RenderEnhancedMetafile(bytes);
        got.error = outcome.error;
        got.image = std::move(outcome.image);
        return got;
    }

    // "" when the import of path matches libXpm's picture; else the failure in words.
    [[nodiscard]] std::string CheckAgainstLibXpm(const std::string& path, const ExpectedPicture& expected,
                                                 bool windowsMetafile) const {
        if (!expected.importable) return "the oracle cannot give a picture: " + expected.why;
        Rendered got = ImportAndRender(path, windowsMetafile);
        if (got.picture.code != 0 || !got.error.empty()) {
            return "import result " + std::to_string(got.picture.code) + ", want 0; " + got.error;
        }
        const int32_t* b = got.picture.bounds;
        auto text = [](auto... v) { return ((std::to_string(v) + " ") + ...); };
        if (text(b[0], b[1], b[2], b[3], got.picture.unitsPerInch) != text(0, 0, expected.width, expected.height, 96)) {
            return "bounds and units per inch " + text(b[0], b[1], b[2], b[3], got.picture.unitsPerInch) + ", want " +
                   text(0, 0, expected.width, expected.height, 96);
        }
        return DescribeDifferences(got.image, expected);
    }

    [[nodiscard]] std::string Write(const std::string& name, const std::string& text) const {
        WriteFile(dir_.file(name), text);
        return dir_.file(name);
    }

    TempDir dir_;
    const xpmimport::FilterModule* module_ = nullptr;
};

// Sizes that need several bands (a band holds 32768 pixels at most), widths whose rows are
// padded to four bytes, 1 to 4 characters per pixel, 2 to 1000 colours, hex and named.
// Each is also asked for its size, which must be the size libXpm reads.
TEST_F(ModuleImportTest, CorpusMatchesLibXpmAsEmfAndWmf) {
    const XpmRecipe corpus[] = {
        {"1x1, 1 cpp, hex", 1, 1, 1, 2, ColorStyle::kHex, 1},
        {"16x16, 1 cpp, 2 hex colours", 16, 16, 1, 2, ColorStyle::kHex, 2},
        {"17x9, 1 cpp, named (odd width)", 17, 9, 1, 40, ColorStyle::kNamed, 3},
        {"101x7, 1 cpp, mixed (padded rows)", 101, 7, 1, 90, ColorStyle::kMixed, 4},
        {"5x3, 4 cpp, named", 5, 3, 4, 12, ColorStyle::kNamed, 5},
        {"33x21, 2 cpp, 200 named colours", 33, 21, 2, 200, ColorStyle::kNamed, 6},
        {"200x400, 3 cpp, 64 hex colours (several bands)", 200, 400, 3, 64, ColorStyle::kHex, 7},
        {"327x101, 2 cpp, mixed (two bands, 100 rows each)", 327, 101, 2, 150, ColorStyle::kMixed, 8},
        {"32768x3, 1 cpp (one row per band)", 32768, 3, 1, 4, ColorStyle::kHex, 9},
        {"31x250, 2 cpp, 256 hex colours", 31, 250, 2, 256, ColorStyle::kHex, 10},
        {"40x30, 2 cpp, 1000 hex colours (past one byte)", 40, 30, 2, 1000, ColorStyle::kHex, 11},
        {"3x1000, 4 cpp, 7 named colours (tall and thin)", 3, 1000, 4, 7, ColorStyle::kNamed, 12},
    };
    for (const XpmRecipe& recipe : corpus) {
        const std::string path = Write("picture.xpm", MakeXpm(recipe));
        const OracleImage oracle = DecodeWithLibXpm(path);
        const ExpectedPicture expected = ExpectedFromOracle(oracle);
        // A Windows Metafile holds coordinates in 16 signed bits: 32767 at most.
        for (bool windowsMetafile : {false, true}) {
            if (windowsMetafile && recipe.width > 32767) continue;
            EXPECT_EQ(CheckAgainstLibXpm(path, expected, windowsMetafile), "")
                << recipe.label << (windowsMetafile ? " (WMF)" : " (EMF)");
        }
        xpmimport::InfoOutcome info = xpmimport::QueryFileInfo(module_->exports(), path);
        ASSERT_TRUE(info.ok) << recipe.label << ": " << info.cause;
        EXPECT_EQ(info.width, oracle.width) << recipe.label << ": size query width";
        EXPECT_EQ(info.height, oracle.height) << recipe.label << ": size query height";
    }
}

// The intended differences from libXpm (expected_picture.cpp gives the reasons), first
// what X makes of each input, then what the filter makes of it; and the files it refuses
// (unknown colours, files that are not XPM and missing files are checked through xpmimport).
TEST_F(ModuleImportTest, ImportsGiveTheirCodesAndIntendedColours) {
    EXPECT_FALSE(ColorInX("None").has_value()) << "X gives \"None\" no colour (transparent)";
    EXPECT_EQ(ColorInX("white smoke"), (Rgb{245, 245, 245}));
    EXPECT_EQ(ColorInX("light goldenrod yellow"), (Rgb{250, 250, 210}));
    EXPECT_TRUE(ColorInX("DebianRed").has_value());
    EXPECT_TRUE(DecodeWithLibXpm(Write("x.xpm", MakeXpmFromParts(1, {"c sky blue", "c #000000"}, {{0, 1}}))).ok)
        << "libXpm reads two definitions, the first two words long";

    auto named = [](const std::string& name) { return MakeXpmFromParts(1, {"c " + name, "c #000000", "c #FFFFFF"}, {{0, 1, 2}}); };
    std::vector<std::string> many(300, "c #0000FF");
    many[0] = "c #102030", many[43] = "c #405060", many[256] = "c #A0B0C0", many[299] = "c #D0E0F0";
    const Rgb first{0x10, 0x20, 0x30}, fortyThird{0x40, 0x50, 0x60};
    const std::string head = "/* XPM */\nstatic char *p[] = {\n";
    struct Case {
        const char* name;
        std::string text;
        int32_t wantCode;
        std::vector<Rgb> wantPixels;  // from the left of the top row
    } cases[] = {
        {"None is black", MakeXpmFromParts(1, {"c None", "c #FF0000"}, {{0, 1}}), 0, {{0, 0, 0}}},
        {"definition k shows definition k mod 256", MakeXpmFromParts(2, many, {{0, 256, 43, 299}}), 0,
         {first, first, fortyThird, fortyThird}},
        {"white smoke", named("white smoke"), 0, {{255, 255, 255}}},
        {"light goldenrod yellow", named("light goldenrod yellow"), 0, {{238, 221, 130}}},
        {"WhiteSmoke", named("WhiteSmoke"), 0, {{245, 245, 245}}},
        {"dark slate gray", named("dark slate gray"), 0, {{47, 79, 79}}},
        {"DebianRed is refused", named("DebianRed"), -23, {}},
        {"two definitions, the first two words long", MakeXpmFromParts(1, {"c sky blue", "c #000000"}, {{0, 1}}), -1, {}},
        {"a third definition puts a key at an even count", named("sky blue"), 0, {}},
        {"pixel code without a definition", head + "\"2 1 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n\"ax\"\n};\n", -1, {}},
        {"rows missing", head + "\"2 3 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n\"ab\"\n};\n", -1, {}},
        {"width 0", head + "\"0 3 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n};\n", 27, {}},
        {"width 32769", head + "\"32769 1 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n};\n", 27, {}},
    };
    for (const Case& c : cases) {
        Rendered got = ImportAndRender(Write("case.xpm", c.text));
        ASSERT_EQ(got.picture.code, c.wantCode) << c.name;
        ASSERT_EQ(got.error, "") << c.name;
        for (size_t x = 0; x < c.wantPixels.size(); ++x) {
            Rgb p = PixelOf(got.image, static_cast<int32_t>(x), 0);
            EXPECT_EQ(p, c.wantPixels[x]) << c.name << ": pixel " << x << " got (" << int{p.r} << ", " << int{p.g} << ", "
                                          << int{p.b} << ")";
        }
    }
}

// Standard input goes through ImportCB and the read routine; a pipe (whose size is not
// known, unlike the file xpmimport's own tests redirect) gives the same picture.
TEST_F(ModuleImportTest, StandardInputFromAPipeGivesTheSamePicture) {
    const std::string text = MakeXpm({"70x600 from a pipe", 70, 600, 2, 120, ColorStyle::kMixed, 21});
    ExpectedPicture expected = ExpectedFromOracle(DecodeWithLibXpm(Write("stdin.xpm", text)));
    ASSERT_TRUE(expected.importable) << expected.why;
    const int savedStdin = dup(STDIN_FILENO);
    int pipeFds[2];
    ASSERT_GE(savedStdin, 0);
    ASSERT_EQ(pipe(pipeFds), 0);
    dup2(pipeFds[0], STDIN_FILENO);
    close(pipeFds[0]);
    std::thread feeder([&] {
        for (size_t done = 0; done < text.size();) {
            ssize_t wrote = write(pipeFds[1], text.data() + done, std::min<size_t>(4093, text.size() - done));
            if (wrote <= 0) break;
            done += static_cast<size_t>(wrote);
        }
        close(pipeFds[1]);
    });
    Rendered got = ImportAndRender("-");
    feeder.join();
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    ASSERT_EQ(got.picture.code, 0);
    ASSERT_EQ(got.error, "");
    EXPECT_EQ(DescribeDifferences(got.image, expected), "");
}

// The module keeps no state between calls: imports on several threads at once give each
// its own right picture.
TEST_F(ModuleImportTest, ConcurrentImportsGiveTheSamePictures) {
    constexpr int kThreads = 4;
    std::vector<std::string> paths;
    std::vector<ExpectedPicture> expected;
    for (int i = 0; i < kThreads; ++i) {
        XpmRecipe recipe = {"thread picture", 50 + 13 * i, 300 + 70 * i, 1 + i % 3, 20 + 20 * i,
                            i % 2 == 0 ? ColorStyle::kHex : ColorStyle::kNamed, static_cast<uint32_t>(100 + i)};
        paths.push_back(Write("thread" + std::to_string(i) + ".xpm", MakeXpm(recipe)));
        expected.push_back(ExpectedFromOracle(DecodeWithLibXpm(paths.back())));
    }
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread walks the pictures in its own order, so different pictures overlap.
            for (int round = 0; round < 3 && failures[t].empty(); ++round) {
                int which = (t + round) % kThreads;
                failures[t] = CheckAgainstLibXpm(paths[which], expected[which], round % 2 == 1);
                if (!failures[t].empty()) failures[t] = "picture " + std::to_string(which) + ": " + failures[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
}

TEST_F(ModuleImportTest, ProgressRisesToTheEnd) {
    const std::string path = Write("progress.xpm", MakeXpm({"progress", 64, 200, 1, 8, ColorStyle::kHex, 31}));
    std::vector<int> seen;
    ImportedPicture picture = ImportPicture(module_->exports(), path, false, [&](int percent) { seen.push_back(percent); });
    ASSERT_EQ(picture.code, 0);
    ASSERT_GE(seen.size(), size_t{200}) << "want a report per row";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "progress went backwards";
    EXPECT_EQ(seen.back(), 100);
}

}  // namespace
}  // namespace xpmimport_test

// End to end through the built module, loaded with dlopen as xpmimport loads it: every
// picture of a generated corpus is imported, its metafile painted back into pixels, and
// compared pixel for pixel with libXpm's reading of the same file.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "expected_picture.h"
#include "test_environment.h"
#include "xpm_corpus.h"
#include "xpm_oracle.h"
#include "xpmimport/file_info_query.h"
#include "xpmimport/filter_module.h"
#include "xpmimport/metafile_render.h"
#include "xpmimport/picture_import.h"

namespace xpmimport_test {
namespace {

using xpmimport::FilterExports;
using xpmimport::ImportedPicture;
using xpmimport::ImportPicture;
using xpmimport::RenderOutcome;

struct Rendered {
    int32_t code = 0;
    std::string error;  // rendering failure
    xpmimport::RgbImage image;
    int32_t bounds[4] = {};
    int32_t unitsPerInch = 0;
};

// Imports path (or standard input for "-") and paints the metafile.
[[nodiscard]] Rendered ImportAndRender(const FilterExports& filter, const std::string& path, bool windowsMetafile) {
    Rendered rendered;
    ImportedPicture picture = ImportPicture(filter, path, windowsMetafile, nullptr);
    rendered.code = picture.code;
    std::copy(std::begin(picture.bounds), std::end(picture.bounds), rendered.bounds);
    rendered.unitsPerInch = picture.unitsPerInch;
    if (picture.code != 0) return rendered;
    if (!picture.metafile) {
        rendered.error = "success without a picture";
        return rendered;
    }
    if (picture.metafile->enhanced() == windowsMetafile) {
        rendered.error = windowsMetafile ? "asked for WMF, got another kind" : "asked for EMF, got another kind";
        return rendered;
    }
    std::vector<uint8_t> bytes = picture.metafile->bytes();
    RenderOutcome outcome = windowsMetafile ? xpmimport::RenderWindowsMetafile(bytes) : xpmimport::RenderEnhancedMetafile(bytes);
    if (!outcome.ok) rendered.error = outcome.error;
    rendered.image = std::move(outcome.image);
    return rendered;
}

class ModuleImportTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module_ = SharedFilter(&error);
        ASSERT_NE(module_, nullptr) << "the built filter module cannot be used: " << error;
        ASSERT_FALSE(ColorDatabase::System().empty()) << "/usr/share/X11/rgb.txt is needed (Debian x11-common)";
    }
    [[nodiscard]] const FilterExports& filter() const { return module_->exports(); }

    // Writes the recipe's file and checks the import against libXpm; returns the failure
    // in words, or "".
    [[nodiscard]] std::string CheckAgainstLibXpm(const std::string& path, const std::string& label, bool windowsMetafile) {
        ExpectedPicture expected = ExpectedFromOracle(DecodeWithLibXpm(path));
        if (!expected.importable) return label + ": the oracle cannot give a picture: " + expected.why;
        Rendered got = ImportAndRender(filter(), path, windowsMetafile);
        const char* kind = windowsMetafile ? " (WMF)" : " (EMF)";
        if (got.code != 0) return label + kind + ": import result " + std::to_string(got.code) + ", want 0";
        if (!got.error.empty()) return label + kind + ": " + got.error;
        const int32_t wantBounds[4] = {0, 0, expected.width, expected.height};
        if (!std::equal(std::begin(wantBounds), std::end(wantBounds), got.bounds)) {
            return label + kind + ": bounds (" + std::to_string(got.bounds[0]) + ", " + std::to_string(got.bounds[1]) +
                   ", " + std::to_string(got.bounds[2]) + ", " + std::to_string(got.bounds[3]) + "), want (0, 0, " +
                   std::to_string(expected.width) + ", " + std::to_string(expected.height) + ")";
        }
        if (got.unitsPerInch != 96) return label + kind + ": units per inch " + std::to_string(got.unitsPerInch) + ", want 96";
        std::string differences = DescribeDifferences(got.image, expected);
        return differences.empty() ? "" : label + kind + ": " + differences;
    }

    TempDir dir_;
    const xpmimport::FilterModule* module_ = nullptr;
};

// Sizes that need several bands (a band holds 32768 pixels at most), widths whose rows are
// padded to four bytes, 1 to 4 characters per pixel, 2 to 1000 colours, hex and named.
const XpmRecipe kCorpus[] = {
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

TEST_F(ModuleImportTest, CorpusMatchesLibXpmAsEmfAndWmf) {
    for (const XpmRecipe& recipe : kCorpus) {
        const std::string path = dir_.file("picture.xpm");
        WriteFile(path, MakeXpm(recipe));
        for (bool windowsMetafile : {false, true}) {
            // A Windows Metafile holds coordinates in 16 signed bits: 32767 at most.
            if (windowsMetafile && recipe.width > 32767) continue;
            std::string failure = CheckAgainstLibXpm(path, recipe.label, windowsMetafile);
            EXPECT_EQ(failure, "");
        }
    }
}

TEST_F(ModuleImportTest, IntendedDifferencesFromLibXpmHold) {
    // 1: "None" is black.
    {
        const std::string path = dir_.file("none.xpm");
        WriteFile(path, MakeXpmFromParts(1, {"c None", "c #FF0000"}, {{0, 1}}));
        OracleImage oracle = DecodeWithLibXpm(path);
        ASSERT_TRUE(oracle.ok) << oracle.error;
        EXPECT_FALSE(ColorInX(oracle.colors[0]).has_value()) << "X gives \"None\" no colour (transparent)";
        Rendered got = ImportAndRender(filter(), path, false);
        ASSERT_EQ(got.code, 0);
        ASSERT_EQ(got.error, "");
        const uint8_t* none = got.image.at(0, 0);
        EXPECT_EQ((Rgb{none[0], none[1], none[2]}), (Rgb{0, 0, 0})) << "None: want black";
    }
    // 2: definition k shows the colour of definition k mod 256.
    {
        std::vector<std::string> colors;
        for (int i = 0; i < 300; ++i) colors.push_back(i < 256 ? "c #0000FF" : "c #FF00FF");
        colors[0] = "c #102030", colors[43] = "c #405060", colors[256] = "c #A0B0C0", colors[299] = "c #D0E0F0";
        const std::string path = dir_.file("many.xpm");
        WriteFile(path, MakeXpmFromParts(2, colors, {{0, 256, 43, 299}}));
        Rendered got = ImportAndRender(filter(), path, false);
        ASSERT_EQ(got.code, 0);
        ASSERT_EQ(got.error, "");
        const Rgb want[4] = {{0x10, 0x20, 0x30}, {0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}, {0x40, 0x50, 0x60}};
        for (int x = 0; x < 4; ++x) {
            const uint8_t* p = got.image.at(x, 0);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), want[x]) << "pixel " << x << " of definitions 0, 256, 43, 299";
        }
    }
    // 3: the shortest leading words that are a name win; the joined forms keep their own colours.
    {
        struct Name {
            const char* name;
            Rgb here;
            Rgb inX;
        } names[] = {
            {"white smoke", {255, 255, 255}, {245, 245, 245}},
            {"light goldenrod yellow", {238, 221, 130}, {250, 250, 210}},
            {"WhiteSmoke", {245, 245, 245}, {245, 245, 245}},
            {"dark slate gray", {47, 79, 79}, {47, 79, 79}},
        };
        for (const Name& n : names) {
            const std::string path = dir_.file("name.xpm");
            WriteFile(path, MakeXpmFromParts(1, {std::string("c ") + n.name, "c #000000", "c #FFFFFF"}, {{0, 1, 2}}));
            EXPECT_EQ(ColorInX(DecodeWithLibXpm(path).colors[0]), std::optional<Rgb>(n.inX)) << n.name << " in X";
            Rendered got = ImportAndRender(filter(), path, false);
            ASSERT_EQ(got.code, 0) << n.name;
            ASSERT_EQ(got.error, "") << n.name;
            const uint8_t* p = got.image.at(0, 0);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), n.here) << n.name << ": got (" << int{p[0]} << ", " << int{p[1]} << ", "
                                                       << int{p[2]} << ")";
        }
    }
    // 4: "DebianRed" is refused.
    {
        const std::string path = dir_.file("debian.xpm");
        WriteFile(path, MakeXpmFromParts(1, {"c DebianRed", "c #000000", "c #FFFFFF"}, {{0, 1, 2}}));
        EXPECT_TRUE(ColorInX("DebianRed").has_value());
        EXPECT_EQ(ImportAndRender(filter(), path, false).code, -23) << "DebianRed: want the import refused";
    }
    // 5: the colour-key check counts words from the first definition and must meet a "c" at
    // an even count; two definitions whose first has a two-word colour never give it one.
    {
        const std::string path = dir_.file("parity.xpm");
        WriteFile(path, MakeXpmFromParts(1, {"c sky blue", "c #000000"}, {{0, 1}}));
        ASSERT_TRUE(DecodeWithLibXpm(path).ok) << "libXpm reads it";
        EXPECT_EQ(ImportAndRender(filter(), path, false).code, -1) << "two definitions, the first two words long";
        WriteFile(path, MakeXpmFromParts(1, {"c sky blue", "c #000000", "c #FFFFFF"}, {{0, 1, 2}}));
        EXPECT_EQ(ImportAndRender(filter(), path, false).code, 0) << "a third definition puts a key at an even count";
    }
}

TEST_F(ModuleImportTest, RefusedFilesGiveTheirResultCodes) {
    struct Case {
        const char* name;
        std::string text;
        int32_t want;
    } cases[] = {
        {"not XPM", "P3\n2 2\n255\n", -23},
        {"unknown colour name", MakeXpmFromParts(1, {"c nosuchcolour", "c #000000"}, {{0, 1}}), -23},
        {"pixel code without a definition", "/* XPM */\nstatic char *p[] = {\n\"2 1 1 1\",\n\"a c #FF0000\",\n\"ab\"\n};\n", -1},
        {"rows missing", "/* XPM */\nstatic char *p[] = {\n\"2 3 1 1\",\n\"a c #FF0000\",\n\"aa\"\n};\n", -1},
        {"width 0", "/* XPM */\nstatic char *p[] = {\n\"0 3 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n};\n", 27},
        {"width 32769", "/* XPM */\nstatic char *p[] = {\n\"32769 1 2 1\",\n\"a c #FF0000\",\n\"b c #00FF00\",\n};\n", 27},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.file("bad.xpm");
        WriteFile(path, c.text);
        Rendered got = ImportAndRender(filter(), path, false);
        EXPECT_EQ(got.code, c.want) << c.name;
    }
    EXPECT_EQ(ImportAndRender(filter(), dir_.file("missing.xpm"), false).code, 7) << "missing file";
}

// Standard input goes through ImportCB and the read routine: from a file (whose size is
// known) and from a pipe (whose size is not), the picture is the same.
TEST_F(ModuleImportTest, StandardInputGivesTheSamePicture) {
    const XpmRecipe recipe = {"70x600 from standard input", 70, 600, 2, 120, ColorStyle::kMixed, 21};
    const std::string path = dir_.file("stdin.xpm");
    const std::string text = MakeXpm(recipe);
    WriteFile(path, text);
    ExpectedPicture expected = ExpectedFromOracle(DecodeWithLibXpm(path));
    ASSERT_TRUE(expected.importable) << expected.why;

    const int savedStdin = dup(STDIN_FILENO);
    ASSERT_GE(savedStdin, 0);
    // From a file.
    int fileFd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fileFd, 0);
    dup2(fileFd, STDIN_FILENO);
    close(fileFd);
    Rendered fromFile = ImportAndRender(filter(), "-", false);
    // From a pipe, fed by another thread.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    dup2(pipeFds[0], STDIN_FILENO);
    close(pipeFds[0]);
    std::thread feeder([&] {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t wrote = write(pipeFds[1], text.data() + done, std::min<size_t>(4093, text.size() - done));
            if (wrote <= 0) break;
            done += static_cast<size_t>(wrote);
        }
        close(pipeFds[1]);
    });
    Rendered fromPipe = ImportAndRender(filter(), "-", false);
    feeder.join();
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);

    for (const Rendered* got : {&fromFile, &fromPipe}) {
        const char* how = got == &fromFile ? "file on standard input" : "pipe on standard input";
        ASSERT_EQ(got->code, 0) << how;
        ASSERT_EQ(got->error, "") << how;
        EXPECT_EQ(DescribeDifferences(got->image, expected), "") << how;
    }
}

// The module keeps no state between calls: imports on several threads at once give each
// its own right picture.
TEST_F(ModuleImportTest, ConcurrentImportsGiveTheSamePictures) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3;
    std::vector<std::string> paths;
    std::vector<ExpectedPicture> expected;
    for (int i = 0; i < kThreads; ++i) {
        XpmRecipe recipe = {"thread picture", 50 + 13 * i, 300 + 70 * i, 1 + i % 3, 20 + 20 * i,
                            i % 2 == 0 ? ColorStyle::kHex : ColorStyle::kNamed, static_cast<uint32_t>(100 + i)};
        paths.push_back(dir_.file("thread" + std::to_string(i) + ".xpm"));
        WriteFile(paths.back(), MakeXpm(recipe));
        expected.push_back(ExpectedFromOracle(DecodeWithLibXpm(paths.back())));
        ASSERT_TRUE(expected.back().importable) << expected.back().why;
    }
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds && failures[t].empty(); ++round) {
                // Each thread walks the pictures in its own order, so different pictures overlap.
                int which = (t + round) % kThreads;
                Rendered got = ImportAndRender(filter(), paths[which], round % 2 == 1);
                if (got.code != 0 || !got.error.empty()) {
                    failures[t] = "picture " + std::to_string(which) + ": result " + std::to_string(got.code) + " " + got.error;
                } else {
                    failures[t] = DescribeDifferences(got.image, expected[which]);
                    if (!failures[t].empty()) failures[t] = "picture " + std::to_string(which) + ": " + failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
}

TEST_F(ModuleImportTest, ProgressRisesToTheEnd) {
    const std::string path = dir_.file("progress.xpm");
    WriteFile(path, MakeXpm({"progress", 64, 200, 1, 8, ColorStyle::kHex, 31}));
    std::vector<int> seen;
    ImportedPicture picture = ImportPicture(filter(), path, false, [&](int percent) { seen.push_back(percent); });
    ASSERT_EQ(picture.code, 0);
    ASSERT_FALSE(seen.empty()) << "no progress reported";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "progress went backwards";
    EXPECT_EQ(seen.back(), 100);
    EXPECT_GE(seen.size(), size_t{200}) << "want a report per row";
}

TEST_F(ModuleImportTest, FileInfoGivesTheSizeLibXpmReads) {
    for (const XpmRecipe& recipe : kCorpus) {
        const std::string path = dir_.file("info.xpm");
        WriteFile(path, MakeXpm(recipe));
        OracleImage oracle = DecodeWithLibXpm(path);
        xpmimport::InfoOutcome info = xpmimport::QueryFileInfo(filter(), path);
        ASSERT_TRUE(info.ok) << recipe.label << ": " << info.cause;
        EXPECT_EQ(info.width, oracle.width) << recipe.label;
        EXPECT_EQ(info.height, oracle.height) << recipe.label;
    }
    const std::string bad = dir_.file("bad.txt");
    WriteFile(bad, "no quoted values here\n");
    xpmimport::InfoOutcome info = xpmimport::QueryFileInfo(filter(), bad);
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.code, 17922) << "a file without a values string";
}

TEST_F(ModuleImportTest, OnlyTheXpmFilterIsAccepted) {
    const xpmimport::FilterIdentity& identity = module_->identity();
    EXPECT_EQ(identity.definitions, "XPM Format,0,.XPM");
    EXPECT_EQ(identity.version >> 24, 8u);
    std::string error;
    EXPECT_EQ(xpmimport::FilterModule::Load(BuildDir() + "/lib/libwinshim.so", &error), nullptr);
    EXPECT_NE(error.find("no export"), std::string::npos) << "a library that is not a filter: " << error;
    EXPECT_EQ(xpmimport::FilterModule::Load(dir_.file("absent.so"), &error), nullptr);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace xpmimport_test

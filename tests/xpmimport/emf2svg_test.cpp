// A third-party reader of our metafiles: emf2svg-conv (Debian emf2svg) converts an EMF made
// by xpmimport without complaint, and the bitmaps it embeds in the SVG add up to the
// picture: each as wide as the picture, their heights summing to its height.
#include <gtest/gtest.h>

#include "test_environment.h"
#include "xpm_corpus.h"

namespace xpmimport_test {
namespace {

constexpr const char* kEmf2Svg = "/usr/bin/emf2svg-conv";

[[nodiscard]] std::string DecodeBase64(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        size_t value = alphabet.find(c);
        if (c == '\0' || value == std::string::npos) continue;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        if ((bits += 6) >= 8) out += static_cast<char>((buffer >> (bits -= 8)) & 0xFF);
    }
    return out;
}

// The width and height of every PNG embedded as a data URI; a non-PNG entry gets 0 x 0.
[[nodiscard]] std::vector<std::pair<uint32_t, uint32_t>> EmbeddedPngSizes(const std::string& svg) {
    const std::string marker = "data:image/png;base64,";
    auto bigEndian32 = [](const std::string& bytes, size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
        return value;
    };
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    for (size_t at = svg.find(marker); at != std::string::npos; at = svg.find(marker, at + 1)) {
        size_t start = at + marker.size();
        std::string png = DecodeBase64(svg.substr(start, svg.find('"', start) - start));
        bool isPng = png.size() >= 24 && png.compare(1, 3, "PNG") == 0 && png.compare(12, 4, "IHDR") == 0;
        sizes.emplace_back(isPng ? bigEndian32(png, 16) : 0, isPng ? bigEndian32(png, 20) : 0);
    }
    return sizes;
}

TEST(Emf2SvgTest, ConvertsOurEmfWithTheRightImageSize) {
    if (!FileExists(kEmf2Svg)) GTEST_SKIP() << kEmf2Svg << " is not installed (Debian package emf2svg)";
    TempDir dir;
    const XpmRecipe recipes[] = {
        {"one band", 40, 30, 1, 20, ColorStyle::kHex, 61},
        {"several bands", 300, 400, 2, 120, ColorStyle::kMixed, 62},
    };
    for (const XpmRecipe& recipe : recipes) {
        const std::string xpm = dir.file("in.xpm"), emf = dir.file("out.emf"), svg = dir.file("out.svg");
        WriteFile(xpm, MakeXpm(recipe));
        ProcessResult imported = RunXpmimport({"-q", xpm, "-o", emf});
        ASSERT_EQ(imported.status, 0) << recipe.label << ": " << imported.err;
        ProcessResult converted = Subprocess(kEmf2Svg, {"-i", emf, "-o", svg}).wait(std::chrono::seconds(120));
        EXPECT_EQ(converted.status, 0) << recipe.label << ": emf2svg-conv failed: " << converted.err;
        EXPECT_EQ(converted.err + converted.out, "") << recipe.label << ": emf2svg-conv complained";
        auto sizes = EmbeddedPngSizes(ReadFile(svg));
        ASSERT_FALSE(sizes.empty()) << recipe.label << ": the SVG embeds no image";
        uint32_t totalHeight = 0;
        for (const auto& [width, height] : sizes) {
            EXPECT_EQ(width, static_cast<uint32_t>(recipe.width)) << recipe.label << ": embedded image width";
            totalHeight += height;
        }
        EXPECT_EQ(totalHeight, static_cast<uint32_t>(recipe.height)) << recipe.label << ": embedded image heights";
    }
}

}  // namespace
}  // namespace xpmimport_test

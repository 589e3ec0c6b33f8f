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
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value = c >= 'A' && c <= 'Z' ? c - 'A'
                    : c >= 'a' && c <= 'z' ? c - 'a' + 26
                    : c >= '0' && c <= '9' ? c - '0' + 52
                    : c == '+' ? 62
                    : c == '/' ? 63
                    : -1;
        if (value < 0) continue;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

[[nodiscard]] uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

struct EmbeddedImage {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The size of every PNG embedded as a data URI; a non-PNG entry gets size 0.
[[nodiscard]] std::vector<EmbeddedImage> EmbeddedPngs(const std::string& svg) {
    const std::string marker = "data:image/png;base64,";
    std::vector<EmbeddedImage> images;
    for (size_t at = svg.find(marker); at != std::string::npos; at = svg.find(marker, at + 1)) {
        size_t start = at + marker.size();
        size_t end = svg.find('"', start);
        std::string png = DecodeBase64(svg.substr(start, end - start));
        EmbeddedImage image;
        if (png.size() >= 24 && png.compare(1, 3, "PNG") == 0 && png.compare(12, 4, "IHDR") == 0) {
            image.width = BigEndian32(png, 16);
            image.height = BigEndian32(png, 20);
        }
        images.push_back(image);
    }
    return images;
}

TEST(Emf2SvgTest, ConvertsOurEmfWithTheRightImageSize) {
    if (!FileExists(kEmf2Svg)) GTEST_SKIP() << kEmf2Svg << " is not installed (Debian package emf2svg)";
    TempDir dir;
    struct Case {
        XpmRecipe recipe;
    } cases[] = {
        {{"one band", 40, 30, 1, 20, ColorStyle::kHex, 61}},
        {{"several bands", 300, 400, 2, 120, ColorStyle::kMixed, 62}},
    };
    for (const Case& c : cases) {
        const std::string xpm = dir.file("in.xpm"), emf = dir.file("out.emf"), svg = dir.file("out.svg");
        WriteFile(xpm, MakeXpm(c.recipe));
        ProcessResult imported = RunXpmimport({"-q", xpm, "-o", emf});
        ASSERT_EQ(imported.status, 0) << c.recipe.label << ": " << imported.err;
        Subprocess converter(kEmf2Svg, {"-i", emf, "-o", svg});
        ProcessResult converted = converter.wait(std::chrono::seconds(120));
        EXPECT_EQ(converted.status, 0) << c.recipe.label << ": emf2svg-conv failed: " << converted.err;
        EXPECT_EQ(converted.err, "") << c.recipe.label << ": emf2svg-conv complained";
        EXPECT_EQ(converted.out, "") << c.recipe.label << ": emf2svg-conv complained";
        std::vector<EmbeddedImage> images = EmbeddedPngs(ReadFile(svg));
        ASSERT_FALSE(images.empty()) << c.recipe.label << ": the SVG embeds no image";
        uint32_t totalHeight = 0;
        for (const EmbeddedImage& image : images) {
            EXPECT_EQ(image.width, static_cast<uint32_t>(c.recipe.width)) << c.recipe.label << ": embedded image width";
            totalHeight += image.height;
        }
        EXPECT_EQ(totalHeight, static_cast<uint32_t>(c.recipe.height)) << c.recipe.label << ": embedded image heights";
    }
}

}  // namespace
}  // namespace xpmimport_test
